#pragma once

#include "ManualClock.h"
#include "model/Timer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace backbeacon::testing {

// A wall clock, the monotonic clock and the timers that run on the latter.
// Time moves only through advance(), which moves both clocks together and
// fires every timer that falls due on the way, in order, with the clocks set
// to each firing's moment. jumpClock() moves the wall clock alone, as a user
// setting it does.
class VirtualTime final : public TimerFactory {
public:
    // Until the wall clock is jumped both clocks read the same seconds, so
    // sums of steps come out bit for bit alike on either.
    explicit VirtualTime(Instant start = Instant::fromUnixSeconds(1'780'000'000.0))
        : m_clock(start), m_monotonic(start.referenceSeconds()) {}

    ManualClock& clock() { return m_clock; }
    Instant now() const { return m_clock.now(); }

    std::unique_ptr<Timer> createTimer() override {
        auto timer = std::make_unique<VirtualTimer>(*this);
        m_timers.push_back(timer.get());
        return timer;
    }
    double monotonicSeconds() const override { return m_monotonic; }

    // Moves time forward by `seconds`, firing timers as they fall due.
    void advance(double seconds) {
        const double end = m_monotonic + seconds;
        const Instant wallEnd = m_clock.now() + seconds;
        for (;;) {
            VirtualTimer* next = nullptr;
            for (VirtualTimer* timer : m_timers) {
                if (timer->m_active && timer->m_due <= end &&
                    (!next || timer->m_due < next->m_due)) {
                    next = timer;
                }
            }
            if (!next) {
                break;
            }
            moveTo(next->m_due, Instant::fromReferenceSeconds(next->m_due + wallAhead()));
            next->m_due = next->m_due + next->m_interval;
            auto tick = next->m_tick; // the tick may restart or destroy its timer
            tick();
        }
        moveTo(end, wallEnd);
    }

    // Sets the wall clock without firing anything, as when the user changes it.
    void jumpClock(Instant to) { m_clock.set(to); }

    std::size_t activeTimers() const {
        return static_cast<std::size_t>(
            std::count_if(m_timers.begin(), m_timers.end(), [](auto* t) { return t->m_active; }));
    }

private:
    // How far the wall clock was set ahead of the monotonic one; 0 until a jump.
    double wallAhead() const { return m_clock.now().referenceSeconds() - m_monotonic; }
    // Both clocks forward, never back.
    void moveTo(double monotonic, Instant wall) {
        m_monotonic = std::max(m_monotonic, monotonic);
        m_clock.set(std::max(m_clock.now(), wall));
    }

    class VirtualTimer final : public Timer {
    public:
        explicit VirtualTimer(VirtualTime& time) : m_time(time) {}
        ~VirtualTimer() override { std::erase(m_time.m_timers, this); }

        void start(double intervalSeconds, std::function<void()> tick) override {
            // A zero interval would never let virtual time move on.
            m_interval = std::max(intervalSeconds, 0.001);
            m_tick = std::move(tick);
            m_due = m_time.m_monotonic + m_interval;
            m_active = true;
        }
        void stop() override { m_active = false; }
        bool isActive() const override { return m_active; }

        VirtualTime& m_time;
        std::function<void()> m_tick;
        double m_interval = 0;
        double m_due = 0;
        bool m_active = false;
    };

    ManualClock m_clock;
    double m_monotonic;
    std::vector<VirtualTimer*> m_timers;
};

} // namespace backbeacon::testing
