#include "Theme.h"

#include <algorithm>
#include <cmath>

namespace backbeacon::Theme {

namespace {

ColorComponents mix(const ColorComponents& from, const ColorComponents& to, double s) {
    s = std::clamp(s, 0.0, 1.0);
    return {from.red + (to.red - from.red) * s, from.green + (to.green - from.green) * s,
            from.blue + (to.blue - from.blue) * s};
}

} // namespace

ColorComponents driftColorComponents(double fraction) {
    constexpr double kBreak = 0.7;
    if (std::isnan(fraction) || fraction >= 1.0) {
        return badRed;
    }
    if (fraction < 0) {
        return goodGreen;
    }
    if (fraction < kBreak) {
        return mix(goodGreen, warningYellow, fraction / kBreak);
    }
    return mix(warningYellow, badRed, (fraction - kBreak) / (1.0 - kBreak));
}

} // namespace backbeacon::Theme
