#pragma once

#include "model/Clock.h"

namespace backbeacon::testing {

// A clock that only moves when a test moves it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Instant start = Instant::fromUnixSeconds(1'780'000'000.0))
        : m_now(start) {}

    Instant now() const override { return m_now; }
    void set(Instant instant) { m_now = instant; }
    void setUnix(double seconds) { m_now = Instant::fromUnixSeconds(seconds); }
    void advance(double seconds) { m_now = m_now + seconds; }

private:
    Instant m_now;
};

} // namespace backbeacon::testing
