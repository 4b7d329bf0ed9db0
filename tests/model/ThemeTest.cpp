#include "model/Theme.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace backbeacon {
namespace {

void expectColor(const ColorComponents& actual, double red, double green, double blue) {
    EXPECT_NEAR(actual.red, red, 1e-9);
    EXPECT_NEAR(actual.green, green, 1e-9);
    EXPECT_NEAR(actual.blue, blue, 1e-9);
    EXPECT_EQ(actual.opacity, 1.0);
}

TEST(DriftColorTest, RampRunsThroughTheThreeColours) {
    expectColor(Theme::driftColorComponents(0), 0.36, 0.58, 0.64);
    expectColor(Theme::driftColorComponents(0.35), 0.62, 0.60, 0.485);
    // The breakpoint belongs to the upper segment.
    expectColor(Theme::driftColorComponents(0.7), 0.88, 0.62, 0.33);
    expectColor(Theme::driftColorComponents(0.85), 0.83, 0.40, 0.245);
    expectColor(Theme::driftColorComponents(0.999), 0.78 + 0.10 * 0.001 / 0.3,
                0.18 + 0.44 * 0.001 / 0.3, 0.16 + 0.17 * 0.001 / 0.3);
}

TEST(DriftColorTest, OutOfRangeFractionsTakeTheEnds) {
    expectColor(Theme::driftColorComponents(1.0), 0.78, 0.18, 0.16);
    expectColor(Theme::driftColorComponents(5), 0.78, 0.18, 0.16);
    expectColor(Theme::driftColorComponents(std::numeric_limits<double>::infinity()), 0.78, 0.18,
                0.16);
    expectColor(Theme::driftColorComponents(std::nan("")), 0.78, 0.18, 0.16);
    expectColor(Theme::driftColorComponents(-0.2), 0.36, 0.58, 0.64);
    expectColor(Theme::driftColorComponents(-std::numeric_limits<double>::infinity()), 0.36, 0.58,
                0.64);
}

TEST(DriftColorTest, NeverLeavesTheBoxOfItsEndColours) {
    for (int i = 0; i <= 1000; ++i) {
        const ColorComponents c = Theme::driftColorComponents(i / 1000.0);
        EXPECT_GE(c.red, 0.36 - 1e-12);
        EXPECT_LE(c.red, 0.88 + 1e-12);
        EXPECT_GE(c.green, 0.18 - 1e-12);
        EXPECT_LE(c.green, 0.62 + 1e-12);
        EXPECT_GE(c.blue, 0.16 - 1e-12);
        EXPECT_LE(c.blue, 0.64 + 1e-12);
    }
}

} // namespace
} // namespace backbeacon
