#include "Timer.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace backbeacon {

namespace {

class QtTimer final : public Timer {
public:
    QtTimer() {
        // Precise: a coarse timer may fire 5 % late, which the capture's
        // 60 ms polls and the 1 s freshness check would notice.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_tick) {
                m_tick();
            }
        });
    }

    void start(double intervalSeconds, std::function<void()> tick) override {
        m_tick = std::move(tick);
        const double ms = std::isfinite(intervalSeconds) ? std::round(intervalSeconds * 1000.0) : 0;
        m_timer.start(static_cast<int>(std::clamp(ms, 0.0, 2'000'000'000.0)));
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_tick;
};

} // namespace

std::unique_ptr<Timer> QtTimerFactory::createTimer() {
    return std::make_unique<QtTimer>();
}

double QtTimerFactory::monotonicSeconds() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace backbeacon
