#include "ui/ViewRules.h"

#include "ManualClock.h"
#include "stats/LocalCalendar.h"

#include <gtest/gtest.h>

#include <limits>

using namespace backbeacon;
using backbeacon::testing::at;
using S = PostureState;

static constexpr double kInf = std::numeric_limits<double>::infinity();
static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
static const Instant kToday = at("2026-12-06T00:00:00Z");

// The headline reads drifting from past 60 % of the sensitivity; the other
// states' headlines are checked as the panel shows them.
TEST(ViewRules, HeadlinesFiguresAndDaysReadAsTheyShould) {
    const std::pair<QString, const char*> cases[] = {
        {headline(S::idle(), 0.9), "Monitoring paused"},
        {headline(S::waitingForAirPods(), 0), "Waiting for head tracker"},
        {headline(S::unavailable(), 0, HeadSource::camera), "Camera unavailable"},
        {headline(S::waitingForAirPods(), 0, HeadSource::camera), "Waiting for camera"},
        {headline(S::needsCalibration(), 0), "Set baseline"},
        {headline(S::capturing(), 0), "Saving baseline"},
        {headline(S::good(), 0.6000001), "Drifting forward"},
        {headline(S::good(), 0.6), "Aligned"},
        {headline(S::good(), kNaN), "Aligned"},
        {calibrationCaption(S::needsCalibration(), false), "Save Baseline"},
        {calibrationCaption(S::good(), true), "Save Baseline Again"},
        {calibrationCaption(S::capturing(), true), "Hold still"},
        {driftText(3.5, QString()), "4° leaning"},
        {driftText(-2.5, QStringLiteral("tilting right")), "-3° tilting right"},
        {sensitivityText(12.5), "13° score"}};
    for (const auto& [shown, expected] : cases) {
        EXPECT_EQ(shown, expected);
    }
    EXPECT_EQ((QStringList{formatDuration(0), formatDuration(59.99), formatDuration(60),
                           formatDuration(3599.9), formatDuration(3600), formatDuration(7199),
                           formatDuration(-5.7), formatDuration(kNaN)}),
              QStringList({"0s", "59s", "1m", "59m", "1h", "1h", "-5s", "0s"}));
    EXPECT_TRUE(formatDuration(kInf).endsWith(u'h'));
    EXPECT_EQ(sensitivitySentence(12.5),
              "Notify when your head drift signal rises more than 13° from the saved baseline.");
    EXPECT_EQ(roundedDegrees(kNaN) + roundedDegrees(-kInf), 0);
    EXPECT_GT(roundedDegrees(1e300), 0);
    // The gauge is clamped, and keeps its step under jitter but shows its ends:
    // the gauge and the shown value, the value to show.
    const std::tuple<double, double, double> gauges[] = {{0.04, 0, 0},      {0.33, 0.3, 0.3},
                                                         {0.36, 0.3, 0.35}, {0.0, 0.05, 0.0},
                                                         {1.0, 0.97, 1.0},  {0.97, 1.0, 0.95}};
    for (const auto& [gauge, shown, expected] : gauges) {
        EXPECT_NEAR(steadyGauge(gauge, shown), expected, 1e-12) << gauge << " over " << shown;
    }
    EXPECT_EQ((std::vector{gaugeFraction(1.5), gaugeFraction(0.25), gaugeFraction(-0.2),
                           gaugeFraction(kNaN)}),
              (std::vector{1.0, 0.25, 0.0, 0.0}));
    for (int status : {2, 3, 4}) {
        EXPECT_EQ(authorizationText(status), (AuthorizationText{"Allowed", Theme::goodGreen}));
    }
    EXPECT_EQ(authorizationText(1), (AuthorizationText{"Denied", Theme::badRed}));
    EXPECT_EQ(authorizationText(0), (AuthorizationText{"Not requested", std::nullopt}));
    EXPECT_EQ(authorizationText(5), (AuthorizationText{"Unknown", std::nullopt}));
    EXPECT_EQ(authorizationText(-1), authorizationText(5));
    // Days without signal are faded and say so; scores' colours and heights
    // are checked as the views draw them.
    DailyStats day{kToday};
    EXPECT_EQ(std::tuple(stripCellOpacity(day), historyBarOpacity(day), measuredText(day)),
              std::tuple(0.5, 0.25, QStringLiteral("No signal")));
    day.monitoredSeconds = 0.5;
    EXPECT_EQ(std::tuple(stripCellOpacity(day), historyBarOpacity(day), measuredText(day)),
              std::tuple(1.0, 1.0, QStringLiteral("Measured 0s")));
    // The week's total is scored like one day dated today.
    const DailyStats onlyToday{kToday, 1000, 100, 2, 1};
    EXPECT_EQ(sevenDayTotal({onlyToday}, kToday).score(), onlyToday.score());
    const DailyStats total = sevenDayTotal({{kToday - 86400, 1000, 900, 7, 3}, onlyToday}, kToday);
    EXPECT_EQ(total, (DailyStats{kToday, 2000, 1000, 9, 4}));
    // A corrupt counter saturates instead of overflowing.
    const DailyStats huge{kToday, 0, 0, std::numeric_limits<std::int64_t>::max(), 0};
    EXPECT_EQ(sevenDayTotal({huge, huge}, kToday).slouches, huge.slouches);
    const LocalCalendar utc(QTimeZone::utc()), tokyo(QTimeZone("Asia/Tokyo"));
    const QLocale en(QLocale::English, QLocale::UnitedStates),
        de(QLocale::German, QLocale::Germany);
    // Tokyo's Thursday starts while it is still Wednesday in UTC.
    const DailyStats sunday{kToday}, thursday{at("2026-12-10T00:00:00+09:00")};
    EXPECT_EQ((QStringList{dayRowDate(sunday, utc, en), dayRowDate(sunday, utc, de),
                           narrowWeekday(sunday, utc, en), narrowWeekday(thursday, tokyo, en),
                           narrowWeekday(thursday, tokyo, de)}),
              QStringList({"Dec 6, 2026", "6. Dez. 2026", "S", "T", "D"}));
    // A snooze lies ahead until its very end.
    EXPECT_TRUE(snoozeLiesAhead(kToday + 1, kToday));
    EXPECT_FALSE(snoozeLiesAhead(kToday, kToday) || snoozeLiesAhead(std::nullopt, kToday));
}
