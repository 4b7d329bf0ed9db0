#pragma once

#include "Instant.h"

#include <cstdint>

namespace backbeacon {

// One local calendar day of posture statistics.
struct DailyStats {
    Instant date;                  // local start of the day counted
    double monitoredSeconds = 0.0; // time posture was watched
    double slouchedSeconds = 0.0;  // part of it spent out of line
    std::int64_t slouches = 0;     // out-of-line streaks that raised an alert
    std::int64_t fixes = 0;        // recoveries from such a streak

    static constexpr DailyStats freshDay(Instant dayStart) { return DailyStats{dayStart}; }

    // Share of monitored time spent aligned, 0...100. Days with 30 s or less of
    // monitoring count as 100: too little to judge.
    int score() const;

    bool operator==(const DailyStats&) const = default;
};

} // namespace backbeacon
