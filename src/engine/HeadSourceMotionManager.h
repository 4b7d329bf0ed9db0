#pragma once

#include "MotionManager.h"

namespace backbeacon {

class CameraSupervisor;

// The app's head source: the loopback receiver, which every source feeds, and
// the camera tool run beside it when the user chose the camera. The source is
// unavailable while the receiver has no port or the camera cannot deliver.
class HeadSourceMotionManager final : public MotionManager {
public:
    HeadSourceMotionManager(MotionManager& receiver, CameraSupervisor& camera)
        : m_receiver(receiver), m_camera(camera) {}

    bool isDeviceMotionAvailable() const override;
    bool isDeviceMotionActive() const override { return m_receiver.isDeviceMotionActive(); }
    void startDeviceMotionUpdates(Handler handler) override;
    void setMaximumDelay(double seconds) override { m_receiver.setMaximumDelay(seconds); }
    void deliverPending() override { m_receiver.deliverPending(); }

private:
    MotionManager& m_receiver;
    CameraSupervisor& m_camera;
};

} // namespace backbeacon
