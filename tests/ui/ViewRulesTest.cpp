#include "ui/ViewRules.h"

#include "ManualClock.h"
#include "stats/LocalCalendar.h"

#include <gtest/gtest.h>

#include <limits>

using namespace backbeacon;
using backbeacon::testing::at;
using S = PostureState;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

TEST(ViewRules, HeadlineAndCaptionFollowTheState) {
    const std::pair<QString, const char*> cases[] = {
        {headline(S::bad(Instant()), 0), "Return to center"},
        {headline(S::snoozed(Instant()), 0), "Snoozed"},
        {headline(S::idle(), 0.9), "Monitoring paused"},
        {headline(S::unavailable(), 0), "Head tracker unavailable"},
        {headline(S::waitingForAirPods(), 0), "Waiting for head tracker"},
        {headline(S::unavailable(), 0, HeadSource::camera), "Camera unavailable"},
        {headline(S::waitingForAirPods(), 0, HeadSource::camera), "Waiting for camera"},
        {headline(S::good(), 0.7, HeadSource::camera), "Drifting forward"},
        {headline(S::needsCalibration(), 0), "Set baseline"},
        {headline(S::capturing(), 0), "Saving baseline"},
        {headline(S::good(), 0.6000001), "Drifting forward"},
        {headline(S::good(), 0.6), "Aligned"},
        {headline(S::good(), kNaN), "Aligned"},
        {calibrationCaption(S::needsCalibration(), false), "Save Baseline"},
        {calibrationCaption(S::good(), true), "Save Baseline Again"},
        {calibrationCaption(S::capturing(), true), "Hold still"}};
    for (const auto& [shown, expected] : cases) {
        EXPECT_EQ(shown, expected);
    }
}

TEST(ViewRules, FiguresRoundTruncateAndClampWithoutBreaking) {
    EXPECT_EQ(driftText(3.5, QString()), "4° leaning");
    EXPECT_EQ(driftText(-2.5, QStringLiteral("tilting right")), "-3° tilting right");
    EXPECT_EQ(roundedDegrees(kNaN) + roundedDegrees(-kInf), 0);
    EXPECT_GT(roundedDegrees(1e300), 0);
    EXPECT_EQ(sensitivitySentence(12.5),
              "Notify when your head drift signal rises more than 13° from the saved baseline.");
    EXPECT_EQ(sensitivityText(12.5), "13° score");
    EXPECT_EQ((std::vector{gaugeFraction(1.5), gaugeFraction(0.25), gaugeFraction(-0.2),
                           gaugeFraction(kNaN)}),
              (std::vector{1.0, 0.25, 0.0, 0.0}));
    // The gauge keeps its step under jitter; the ends show as they are.
    EXPECT_DOUBLE_EQ(steadyGauge(0.04, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(steadyGauge(0.33, 0.3), 0.3);
    EXPECT_DOUBLE_EQ(steadyGauge(0.36, 0.3), 0.35);
    EXPECT_DOUBLE_EQ(steadyGauge(0.0, 0.05), 0.0);
    EXPECT_DOUBLE_EQ(steadyGauge(1.0, 0.97), 1.0);
    EXPECT_DOUBLE_EQ(steadyGauge(0.97, 1.0), 0.95);
    const std::pair<double, const char*> durations[] = {
        {0, "0s"},    {59.99, "59s"}, {60, "1m"},    {3599.9, "59m"},
        {3600, "1h"}, {7199, "1h"},   {-5.7, "-5s"}, {kNaN, "0s"}};
    for (const auto& [seconds, text] : durations) {
        EXPECT_EQ(formatDuration(seconds), text) << seconds;
    }
    EXPECT_TRUE(formatDuration(kInf).endsWith(u'h'));
}

TEST(ViewRules, ScoresPickColourHeightAndFade) {
    const std::tuple<int, ColorComponents, ColorComponents, double> cases[] = {
        {80, Theme::accentBlue, Theme::goodGreen, 56},
        {79, Theme::mutedTeal, Theme::warningYellow, 55.3},
        {50, Theme::mutedTeal, Theme::warningYellow, 35},
        {49, Theme::badRed, Theme::badRed, 34.3},
        {11, Theme::badRed, Theme::badRed, 8}};
    for (const auto& [score, strip, window, height] : cases) {
        EXPECT_EQ(stripCellColor(score), strip) << score;
        EXPECT_EQ(scoreColor(score), window) << score;
        EXPECT_DOUBLE_EQ(historyBarHeight(score), height) << score;
    }
    DailyStats day{at("2026-12-06T00:00:00Z")};
    EXPECT_EQ(std::tuple(stripCellOpacity(day), historyBarOpacity(day), measuredText(day)),
              std::tuple(0.5, 0.25, QStringLiteral("No signal")));
    day.monitoredSeconds = 0.5;
    EXPECT_EQ(std::tuple(stripCellOpacity(day), historyBarOpacity(day), measuredText(day)),
              std::tuple(1.0, 1.0, QStringLiteral("Measured 0s")));
}

TEST(ViewRules, SevenDayTotalIsScoredLikeOneDayDatedToday) {
    const Instant today = at("2026-12-06T00:00:00Z");
    const DailyStats onlyToday{today, 1000, 100, 2, 1};
    EXPECT_EQ(sevenDayTotal({onlyToday}, today).score(), onlyToday.score());
    const DailyStats total = sevenDayTotal({{today - 86400, 1000, 900, 7, 3}, onlyToday}, today);
    EXPECT_EQ(total, (DailyStats{today, 2000, 1000, 9, 4}));
    EXPECT_EQ(total.score(), 50);
    // A corrupt counter saturates instead of overflowing.
    const DailyStats huge{today, 0, 0, std::numeric_limits<std::int64_t>::max(), 0};
    EXPECT_EQ(sevenDayTotal({huge, huge}, today).slouches, huge.slouches);
}

TEST(ViewRules, DatesAndWeekdaysFollowTheLocalDayAndLocale) {
    const LocalCalendar utc(QTimeZone::utc()), tokyo(QTimeZone("Asia/Tokyo"));
    const QLocale en(QLocale::English, QLocale::UnitedStates),
        de(QLocale::German, QLocale::Germany);
    const DailyStats sunday{at("2026-12-06T00:00:00Z")};
    // Tokyo's Thursday starts while it is still Wednesday in UTC.
    const DailyStats thursday{at("2026-12-10T00:00:00+09:00")};
    EXPECT_EQ(dayRowDate(sunday, utc, en), "Dec 6, 2026");
    EXPECT_EQ(dayRowDate(sunday, utc, de), "6. Dez. 2026");
    EXPECT_EQ(narrowWeekday(sunday, utc, en), "S");
    EXPECT_EQ(narrowWeekday(thursday, tokyo, en), "T");
    EXPECT_EQ(narrowWeekday(thursday, tokyo, de), "D");
}

TEST(ViewRules, AuthorizationAndSnoozeRows) {
    for (int status : {2, 3, 4}) {
        EXPECT_EQ(authorizationText(status), (AuthorizationText{"Allowed", Theme::goodGreen}));
    }
    EXPECT_EQ(authorizationText(1), (AuthorizationText{"Denied", Theme::badRed}));
    EXPECT_EQ(authorizationText(0), (AuthorizationText{"Not requested", std::nullopt}));
    EXPECT_EQ(authorizationText(5), authorizationText(-1));
    EXPECT_EQ(authorizationText(5), (AuthorizationText{"Unknown", std::nullopt}));
    const Instant now = at("2026-12-06T12:00:00Z");
    EXPECT_TRUE(snoozeLiesAhead(now + 1, now));
    EXPECT_FALSE(snoozeLiesAhead(now, now) || snoozeLiesAhead(std::nullopt, now));
}
