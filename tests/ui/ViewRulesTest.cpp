#include "ui/ViewRules.h"

#include "ManualClock.h"
#include "stats/LocalCalendar.h"

#include <gtest/gtest.h>

#include <limits>

using namespace backbeacon;
using backbeacon::testing::at;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

TEST(ViewRules, HeadlineAndCaptionFollowTheState) {
    using S = PostureState;
    EXPECT_EQ(headline(S::bad(Instant()), 0), "Return to center");
    EXPECT_EQ(headline(S::snoozed(Instant()), 0), "Snoozed");
    EXPECT_EQ(headline(S::idle(), 0.9), "Monitoring paused");
    EXPECT_EQ(headline(S::unavailable(), 0), "AirPods unavailable");
    EXPECT_EQ(headline(S::waitingForAirPods(), 0), "Waiting for AirPods");
    EXPECT_EQ(headline(S::needsCalibration(), 0), "Set baseline");
    EXPECT_EQ(headline(S::capturing(), 0), "Saving baseline");
    EXPECT_EQ(headline(S::good(), 0.6000001), "Drifting forward");
    EXPECT_EQ(headline(S::good(), 0.6), "Aligned");
    EXPECT_EQ(headline(S::good(), kNaN), "Aligned");

    EXPECT_EQ(calibrationCaption(S::needsCalibration(), false), "Save Baseline");
    EXPECT_EQ(calibrationCaption(S::good(), true), "Save Baseline Again");
    EXPECT_EQ(calibrationCaption(S::capturing(), true), "Hold still");
}

TEST(ViewRules, DegreesRoundHalvesAwayFromZeroAndSurviveBrokenFigures) {
    EXPECT_EQ(driftText(3.5, QString()), "4° leaning");
    EXPECT_EQ(driftText(2.5, QString()), "3° leaning");
    EXPECT_EQ(driftText(-2.5, QStringLiteral("tilting right")), "-3° tilting right");
    EXPECT_EQ(roundedDegrees(kNaN), 0);
    EXPECT_EQ(roundedDegrees(-kInf), 0);
    EXPECT_GT(roundedDegrees(1e300), 0); // clamped, not an undefined conversion
    EXPECT_EQ(sensitivityText(12.5), "13° score");
    EXPECT_EQ(sensitivitySentence(12.5),
              "Notify when your head drift signal rises more than 13° from the saved baseline.");
}

TEST(ViewRules, GaugeFillStaysWithinTheBar) {
    EXPECT_EQ(gaugeFraction(1.5), 1.0);
    EXPECT_EQ(gaugeFraction(0.25), 0.25);
    EXPECT_EQ(gaugeFraction(-0.2), 0.0);
    EXPECT_EQ(gaugeFraction(kNaN), 0.0);
}

TEST(ViewRules, ScoreColoursChangeAt80And50) {
    const struct {
        int score;
        ColorComponents strip, window;
    } cases[] = {
        {100, Theme::accentBlue, Theme::goodGreen},   {80, Theme::accentBlue, Theme::goodGreen},
        {79, Theme::mutedTeal, Theme::warningYellow}, {50, Theme::mutedTeal, Theme::warningYellow},
        {49, Theme::badRed, Theme::badRed},           {0, Theme::badRed, Theme::badRed}};
    for (const auto& c : cases) {
        EXPECT_EQ(stripCellColor(c.score), c.strip) << c.score;
        EXPECT_EQ(scoreColor(c.score), c.window) << c.score;
    }
}

TEST(ViewRules, DaysWithoutMonitoringFadeAndBarsKeepAFloor) {
    DailyStats unwatched{at("2026-12-06T00:00:00Z")};
    DailyStats watched = unwatched;
    watched.monitoredSeconds = 0.5;
    EXPECT_EQ(stripCellOpacity(unwatched), 0.5);
    EXPECT_EQ(historyBarOpacity(unwatched), 0.25);
    EXPECT_EQ(stripCellOpacity(watched), 1.0);
    EXPECT_EQ(historyBarOpacity(watched), 1.0);
    EXPECT_EQ(measuredText(unwatched), "No signal");
    EXPECT_EQ(measuredText(watched), "Measured 0s");

    EXPECT_DOUBLE_EQ(historyBarHeight(unwatched.score()), 70.0);
    EXPECT_DOUBLE_EQ(historyBarHeight(50), 35.0);
    EXPECT_DOUBLE_EQ(historyBarHeight(11), 8.0);
    EXPECT_DOUBLE_EQ(historyBarHeight(0), 8.0);
}

TEST(ViewRules, DurationsTruncateToTheirLargestWholeUnit) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0s"},    {59.99, "59s"}, {60, "1m"},    {3599.9, "59m"},
        {3600, "1h"}, {7199, "1h"},   {-5.7, "-5s"}, {kNaN, "0s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDuration(c.seconds), c.text) << c.seconds;
    }
    // Beyond any real figure: clamped before the conversion, still in hours.
    EXPECT_TRUE(formatDuration(1e300).endsWith(u'h'));
    EXPECT_TRUE(formatDuration(kInf).endsWith(u'h'));
}

TEST(ViewRules, SevenDayTotalIsScoredLikeOneDayDatedToday) {
    const Instant today = at("2026-12-06T00:00:00Z");
    DailyStats onlyToday{today, 1000, 100, 2, 1};
    const DailyStats alone = sevenDayTotal({onlyToday}, today);
    EXPECT_EQ(alone, onlyToday);
    EXPECT_EQ(alone.score(), onlyToday.score());

    const DailyStats earlier{today - 86400, 1000, 900, 7, 3};
    const DailyStats total = sevenDayTotal({earlier, onlyToday}, today);
    EXPECT_EQ(total, (DailyStats{today, 2000, 1000, 9, 4}));
    EXPECT_EQ(total.score(), 50);
    EXPECT_EQ(sevenDayTotal({}, today), DailyStats::freshDay(today));

    // A corrupt counter saturates instead of overflowing.
    const DailyStats huge{today, 0, 0, std::numeric_limits<std::int64_t>::max(), 0};
    EXPECT_EQ(sevenDayTotal({huge, huge}, today).slouches,
              std::numeric_limits<std::int64_t>::max());
}

TEST(ViewRules, DatesAndWeekdaysFollowTheLocalDayAndLocale) {
    const LocalCalendar utc(QTimeZone::utc());
    const LocalCalendar tokyo(QTimeZone("Asia/Tokyo"));
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const DailyStats sunday{at("2026-12-06T00:00:00Z")};
    // Tokyo's Thursday starts while it is still Wednesday in UTC.
    const DailyStats thursday{at("2026-12-10T00:00:00+09:00")};

    EXPECT_EQ(dayRowDate(sunday, utc, en), "Dec 6, 2026");
    EXPECT_EQ(narrowWeekday(sunday, utc, en), "S");
    EXPECT_EQ(dayRowDate(thursday, tokyo, en), "Dec 10, 2026");
    EXPECT_EQ(narrowWeekday(thursday, tokyo, en), "T");
    EXPECT_EQ(narrowWeekday(thursday, tokyo, de), "D");
    EXPECT_EQ(dayRowDate(sunday, utc, de), "6. Dez. 2026");
}

TEST(ViewRules, AuthorizationAndSnoozeRows) {
    const std::optional<ColorComponents> secondary;
    EXPECT_EQ(authorizationText(2), (AuthorizationText{"Allowed", Theme::goodGreen}));
    EXPECT_EQ(authorizationText(3), (AuthorizationText{"Allowed", Theme::goodGreen}));
    EXPECT_EQ(authorizationText(4), (AuthorizationText{"Allowed", Theme::goodGreen}));
    EXPECT_EQ(authorizationText(1), (AuthorizationText{"Denied", Theme::badRed}));
    EXPECT_EQ(authorizationText(0), (AuthorizationText{"Not requested", secondary}));
    EXPECT_EQ(authorizationText(5), (AuthorizationText{"Unknown", secondary}));
    EXPECT_EQ(authorizationText(-1), (AuthorizationText{"Unknown", secondary}));

    const Instant now = at("2026-12-06T12:00:00Z");
    EXPECT_TRUE(snoozeLiesAhead(now + 1, now));
    EXPECT_FALSE(snoozeLiesAhead(now, now));
    EXPECT_FALSE(snoozeLiesAhead(now - 1, now));
    EXPECT_FALSE(snoozeLiesAhead(std::nullopt, now));
}
