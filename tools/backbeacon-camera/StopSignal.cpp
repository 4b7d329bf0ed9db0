#include "backbeacon-camera/StopSignal.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>

namespace backbeacon::camera {

namespace {

constexpr auto kGrace = std::chrono::milliseconds(400);

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

StopSignal::StopSignal() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_watcher = std::thread([this] { watch(); });
}

StopSignal::~StopSignal() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
    m_watcher.join();
}

void StopSignal::watch() {
    const sigset_t set = stopSignals();
    const timespec poll{0, 100'000'000};
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_finished) {
                return;
            }
        }
        if (sigtimedwait(&set, nullptr, &poll) > 0) {
            break;
        }
    }
    std::unique_lock lock(m_mutex);
    m_requested = true;
    m_changed.notify_all();
    if (!m_changed.wait_for(lock, kGrace, [this] { return m_finished; })) {
        std::_Exit(0);
    }
}

bool StopSignal::requested() {
    std::lock_guard lock(m_mutex);
    return m_requested;
}

bool StopSignal::sleepFor(double seconds) {
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::duration<double>(seconds),
                               [this] { return m_requested; });
}

} // namespace backbeacon::camera
