#include "HeadSourceMotionManager.h"

#include "CameraSupervisor.h"

namespace backbeacon {

bool HeadSourceMotionManager::isDeviceMotionAvailable() const {
    return m_receiver.isDeviceMotionAvailable() && !m_camera.blocksMotion();
}

void HeadSourceMotionManager::startDeviceMotionUpdates(Handler handler) {
    m_receiver.startDeviceMotionUpdates(std::move(handler));
    m_camera.setMonitoring(true);
}

} // namespace backbeacon
