#pragma once

#include "Instant.h"

namespace backbeacon {

// The one source of "now". Long-lived objects take a Clock so tests can move
// time by hand (tests/support/ManualClock.h).
class Clock {
public:
    virtual ~Clock() = default;
    virtual Instant now() const = 0;
};

class SystemClock final : public Clock {
public:
    Instant now() const override;
};

} // namespace backbeacon
