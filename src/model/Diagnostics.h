#pragma once

#include <cstdint>

namespace backbeacon {

// Local usage counters, kept only while the user allows it.
struct Diagnostics {
    std::int64_t launches = 0;
    std::int64_t calibrations = 0;
    std::int64_t alertsSent = 0;
    std::int64_t disconnects = 0;
    std::int64_t unexpectedQuits = 0;

    bool operator==(const Diagnostics&) const = default;
};

} // namespace backbeacon
