#include "model/Choices.h"
#include "model/DailyStats.h"
#include "model/Theme.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace backbeacon;

TEST(DailyStats, ScoreIsTheAlignedShareRoundedHalfUpAndPerfectWhenTooShortToJudge) {
    const double nan = std::nan("");
    const struct {
        double monitored, slouched;
        int score;
    } cases[] = {{30, 30, 100},
                 {-10, 5, 100},
                 {nan, 5, 100},
                 {31, 31, 0},
                 {40, 50, 0},
                 {100, 25, 75},
                 {1000, 5, 100},
                 {1000, 15, 99},
                 {60, -5, 100},
                 {60, nan, 100},
                 {60, std::numeric_limits<double>::infinity(), 0}};
    for (const auto& c : cases) {
        EXPECT_EQ((DailyStats{{}, c.monitored, c.slouched}).score(), c.score)
            << c.monitored << " " << c.slouched;
    }
}

TEST(Choices, LabelsInOrderAndExactMatchesOnly) {
    QStringList labels;
    for (auto d : kAllAlertDelays) {
        labels << label(d);
    }
    for (auto c : kAllNotificationCooldowns) {
        labels << label(c);
        EXPECT_EQ(notificationCooldownFromRawValue(rawValue(c)), c);
    }
    EXPECT_EQ(labels.join(u'|'), "5 seconds|10 seconds|15 seconds|30 seconds|60 seconds|"
                                 "1 minute|2 minutes|5 minutes|10 minutes|15 minutes");
    EXPECT_EQ(alertDelayFromRawValue(60), AlertDelay::lazy);
    EXPECT_FALSE(alertDelayFromRawValue(20));
    EXPECT_FALSE(alertDelayFromRawValue(15.000001));
    EXPECT_FALSE(alertDelayFromRawValue(std::nan("")));
    EXPECT_FALSE(notificationCooldownFromRawValue(59.9));
}

TEST(DriftColor, RampRunsThroughTheThreeColoursAndTakesTheEndsOutsideIt) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double nearEnd = 0.001 / 0.3;
    const struct {
        double fraction, red, green, blue;
    } cases[] = {
        {0, 0.36, 0.58, 0.64},
        {0.35, 0.62, 0.60, 0.485},
        {0.7, 0.88, 0.62, 0.33}, // the breakpoint belongs to the upper segment
        {0.85, 0.83, 0.40, 0.245},
        {0.999, 0.78 + 0.10 * nearEnd, 0.18 + 0.44 * nearEnd, 0.16 + 0.17 * nearEnd},
        {1.0, 0.78, 0.18, 0.16},
        {5, 0.78, 0.18, 0.16},
        {inf, 0.78, 0.18, 0.16},
        {std::nan(""), 0.78, 0.18, 0.16},
        {-0.2, 0.36, 0.58, 0.64},
        {-inf, 0.36, 0.58, 0.64},
    };
    for (const auto& c : cases) {
        const ColorComponents got = Theme::driftColorComponents(c.fraction);
        EXPECT_NEAR(got.red, c.red, 1e-9) << c.fraction;
        EXPECT_NEAR(got.green, c.green, 1e-9) << c.fraction;
        EXPECT_NEAR(got.blue, c.blue, 1e-9) << c.fraction;
        EXPECT_EQ(got.opacity, 1.0) << c.fraction;
    }
}
