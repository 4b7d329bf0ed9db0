#include "model/Choices.h"
#include "model/DailyStats.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace backbeacon;

namespace {
int scoreOf(double monitored, double slouched) {
    DailyStats day;
    day.monitoredSeconds = monitored;
    day.slouchedSeconds = slouched;
    return day.score();
}
} // namespace

TEST(DailyStatsScore, TooLittleMonitoringCountsAsPerfect) {
    EXPECT_EQ(scoreOf(30, 30), 100);
    EXPECT_EQ(scoreOf(0, 0), 100);
    EXPECT_EQ(scoreOf(-10, 5), 100);
    EXPECT_EQ(scoreOf(std::nan(""), 5), 100);
}

TEST(DailyStatsScore, SharesAlignedTimeRoundingHalvesUp) {
    EXPECT_EQ(scoreOf(31, 31), 0);
    EXPECT_EQ(scoreOf(40, 50), 0); // more slouched than monitored: never negative
    EXPECT_EQ(scoreOf(100, 25), 75);
    EXPECT_EQ(scoreOf(60, 0), 100);
    EXPECT_EQ(scoreOf(1000, 5), 100); // 99.5 rounds up
    EXPECT_EQ(scoreOf(1000, 15), 99); // 98.5 rounds up
    EXPECT_EQ(scoreOf(1000, 994), 1); // 0.6
    EXPECT_EQ(scoreOf(60, -5), 100);  // negative slouched time
    EXPECT_EQ(scoreOf(60, std::nan("")), 100);
    EXPECT_EQ(scoreOf(60, std::numeric_limits<double>::infinity()), 0);
}

TEST(Choices, LabelsAndOrder) {
    QStringList delays;
    for (auto d : kAllAlertDelays) {
        delays << label(d);
    }
    EXPECT_EQ(delays.join(u'|'), "5 seconds|10 seconds|15 seconds|30 seconds|60 seconds");
    QStringList cooldowns;
    for (auto c : kAllNotificationCooldowns) {
        cooldowns << label(c);
    }
    EXPECT_EQ(cooldowns.join(u'|'), "1 minute|2 minutes|5 minutes|10 minutes|15 minutes");
}

TEST(Choices, ConstructionFromSecondsNeedsAnExactMatch) {
    EXPECT_EQ(alertDelayFromRawValue(15), AlertDelay::normal);
    EXPECT_EQ(alertDelayFromRawValue(5), AlertDelay::fast);
    EXPECT_EQ(alertDelayFromRawValue(60), AlertDelay::lazy);
    EXPECT_FALSE(alertDelayFromRawValue(20));
    EXPECT_FALSE(alertDelayFromRawValue(15.000001));
    EXPECT_FALSE(alertDelayFromRawValue(std::nan("")));
    EXPECT_EQ(notificationCooldownFromRawValue(300), NotificationCooldown::fiveMin);
    EXPECT_EQ(notificationCooldownFromRawValue(900), NotificationCooldown::fifteenMin);
    EXPECT_FALSE(notificationCooldownFromRawValue(59.9));
    for (auto c : kAllNotificationCooldowns) {
        EXPECT_EQ(notificationCooldownFromRawValue(rawValue(c)), c);
    }
}
