#pragma once

#include <functional>
#include <optional>

namespace backbeacon {

// One head orientation in radians: pitch positive looking down (toward bad
// posture), roll positive tilting toward the right shoulder.
struct MotionSample {
    double pitch = 0;
    double roll = 0;
    // Seconds between the sample's arrival and its delivery: a source that
    // reads in batches hands on older samples, and the engine dates each one
    // by its arrival so its results do not depend on the batching.
    double age = 0;
    // Another sample of the same reading follows at once: nothing can look at
    // the engine in between, so it may hold back what only an onlooker needs.
    bool batchContinues = false;
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

    // How long a sample may wait before it is delivered. A source that reads
    // in batches reads less often when the engine can wait (nobody looks and
    // no alert is near); one that delivers at once ignores it.
    virtual void setMaximumDelay(double seconds) { static_cast<void>(seconds); }
    // Delivers at once every sample that has arrived, for a reader about to
    // show the engine's results.
    virtual void deliverPending() {}
};

} // namespace backbeacon
