#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace backbeacon::camera {

// SIGTERM and SIGINT as a stop request the run loop checks between frames. A
// loop that does not finish within half a second (stuck in a camera read or in
// loading the model) is ended with status 0 anyway; the kernel then releases
// the camera. Make it before any other thread, so all of them leave the
// signals to it.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool requested();
    // Waits this long; false when a stop was requested first.
    bool sleepFor(double seconds);

private:
    void watch();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_requested = false;
    bool m_finished = false;
    std::thread m_watcher;
};

} // namespace backbeacon::camera
