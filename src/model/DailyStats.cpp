#include "DailyStats.h"

#include <algorithm>
#include <cmath>

namespace backbeacon {

int DailyStats::score() const {
    // Written so NaN lands on 100 rather than in an undefined conversion.
    if (!(monitoredSeconds > 30.0)) {
        return 100;
    }
    const double aligned = 1.0 - slouchedSeconds / monitoredSeconds;
    if (aligned < 1.0) {
        return static_cast<int>(std::round(std::max(aligned, 0.0) * 100.0));
    }
    return 100;
}

} // namespace backbeacon
