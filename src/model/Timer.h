#pragma once

#include <functional>
#include <memory>

namespace backbeacon {

// A repeating main-thread timer. Long-lived objects create theirs through a
// TimerFactory so tests can run timing rules in virtual time
// (tests/support/VirtualTime.h).
class Timer {
public:
    virtual ~Timer() = default;
    // Calls `tick` every `intervalSeconds` until stopped or destroyed; starting
    // again replaces the interval and the callback.
    virtual void start(double intervalSeconds, std::function<void()> tick) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> createTimer() = 0;
    // Seconds on the monotonic clock the timers run on, from an arbitrary
    // start. Setting the wall clock does not move it, so durations measured
    // on it (a capture, a reconnect window) last as long as they should.
    virtual double monotonicSeconds() const = 0;
};

// Timers on the Qt event loop of the calling thread.
class QtTimerFactory final : public TimerFactory {
public:
    std::unique_ptr<Timer> createTimer() override;
    double monotonicSeconds() const override;
};

} // namespace backbeacon
