#pragma once

#include "SoundPlayer.h"

#include <QThread>

#include <atomic>
#include <functional>

namespace backbeacon {

// Theme sounds through libcanberra. Opening the sound device or sound server
// can take long or fail, so that happens on a thread of its own: play() never
// waits, and a sound asked for while the last one is still being started is
// dropped rather than queued.
class CanberraSoundPlayer final : public SoundPlayer {
public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;

    void play(const QString& eventId) override;

    // Runs on the sound thread after each attempt, with whether it started;
    // for tests, which set it before the first play().
    void setAttemptHandler(std::function<void(bool started)> handler) {
        m_attempted = std::move(handler);
    }

private:
    class Worker;

    QThread m_thread;
    Worker* m_worker; // lives on m_thread
    std::atomic<bool> m_busy{false};
    std::function<void(bool started)> m_attempted;
};

} // namespace backbeacon
