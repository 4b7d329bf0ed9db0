#pragma once

#include <functional>
#include <optional>

namespace backbeacon {

// One head orientation in radians: pitch positive looking down (toward bad
// posture), roll positive tilting toward the right shoulder.
struct MotionSample {
    double pitch = 0;
    double roll = 0;
};

// Where head-motion samples come from: the opentrack UDP receiver in the app,
// a scripted source in tests.
class MotionManager {
public:
    // A sample, or nothing for a delivery that lost the stream (a disconnect).
    using Handler = std::function<void(const std::optional<MotionSample>&)>;

    virtual ~MotionManager() = default;
    virtual bool isDeviceMotionAvailable() const = 0;
    virtual bool isDeviceMotionActive() const = 0;
    // Starts delivery to `handler`, one call at a time on the main thread.
    virtual void startDeviceMotionUpdates(Handler handler) = 0;
};

} // namespace backbeacon
