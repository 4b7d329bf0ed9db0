#include "stats/Insights.h"

#include <gtest/gtest.h>

#include <limits>

using namespace backbeacon;

namespace {

DailyStats day(double monitored, double slouched, std::int64_t slouches = 0,
               std::int64_t fixes = 0) {
    return DailyStats{Instant(), monitored, slouched, slouches, fixes};
}

// A day whose score is exactly `score` (1000 monitored seconds).
DailyStats scored(int score) {
    return day(1000, 10.0 * (100 - score));
}

Insights insights(std::vector<DailyStats> days) {
    return Insights(std::move(days), DailyStats{});
}

} // namespace

TEST(Insights, WithoutEarlierDaysThereIsNoTrend) {
    const DailyStats fresh{Instant::fromReferenceSeconds(1000), 0, 0, 0, 0};
    EXPECT_EQ(Insights({}, fresh).today(), fresh);
    for (const auto& days : {std::vector<DailyStats>{}, std::vector<DailyStats>{scored(40)}}) {
        const Insights i = insights(days);
        EXPECT_FALSE(i.previousAverage());
        EXPECT_EQ(i.deltaText(), "New");
        EXPECT_EQ(i.trendColor(), Theme::accentBlue);
        EXPECT_EQ(i.trendBody(), "Keep monitoring for a few days and this card will compare "
                                 "today against your baseline.");
    }
}

TEST(Insights, TrendAgainstThePreviousDaysAverage) {
    // The average of the days before today rounds halves up; short days count as 100.
    EXPECT_EQ(insights({scored(90), scored(91), scored(10)}).previousAverage(), 91);
    EXPECT_EQ(insights({day(20, 20), scored(0), scored(0)}).previousAverage(), 50);

    auto colour = [](int today) { return insights({scored(80), scored(today)}).trendColor(); };
    EXPECT_EQ(colour(85), Theme::accentBlue);
    EXPECT_EQ(colour(84), Theme::mutedTeal);
    EXPECT_EQ(colour(76), Theme::mutedTeal);
    EXPECT_EQ(colour(75), Theme::badOrange);

    const Insights below = insights({scored(91), scored(84)});
    EXPECT_EQ(below.trendBody(), "Today is 7 points below your recent average of 91%.");
    EXPECT_EQ(below.deltaText(), "-7 pts");
    const Insights above = insights({scored(70), scored(71)});
    EXPECT_EQ(above.trendBody(), "Today is 1 points above your recent average of 70%.");
    EXPECT_EQ(above.deltaText(), "+1 pts");
    const Insights even = insights({scored(88), scored(88)});
    EXPECT_EQ(even.trendBody(), "Today matches your recent average of 88%.");
    EXPECT_EQ(even.deltaText(), "Even");
}

TEST(Insights, RecoveryRate) {
    EXPECT_EQ(insights({day(100, 0, 0, 5)}).recoveryText(), "Clean");
    EXPECT_EQ(insights({day(100, 0, -2, 5)}).recoveryText(), "Clean");
    EXPECT_EQ(insights({day(100, 0, 2, 3)}).recoveryText(), "150%");
    EXPECT_EQ(insights({day(100, 0, 8, 1)}).recoveryText(), "13%"); // 12.5 rounds up
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(insights({day(100, 0, 1, huge)}).recoveryText(), "922337203685477580800%");
}

TEST(Insights, DriftLoadUsesTheUnroundedRate) {
    const struct {
        DailyStats today;
        const char* text;
        const char* caption;
        ColorComponents colour;
    } cases[] = {
        {day(0, 0, 4), "No data", "Start monitoring", Theme::accentBlue},
        {day(600, 0, 0), "0.0/h", "Low event load", Theme::accentBlue},
        {day(3600.0 / 0.97, 0, 1), "1.0/h", "Low event load", Theme::accentBlue},
        {day(3600, 0, 1), "1.0/h", "Moderate event load", Theme::warningYellow},
        {day(3000, 0, 2), "2.4/h", "Moderate event load", Theme::warningYellow},
        {day(3600, 0, 3), "3.0/h", "High event load", Theme::badOrange},
        {day(300, 0, 1), "12.0/h", "High event load", Theme::badOrange},
    };
    for (const auto& c : cases) {
        const Insights i = insights({c.today});
        EXPECT_EQ(i.driftLoadText(), c.text);
        EXPECT_EQ(i.driftLoadCaption(), c.caption) << c.text;
        EXPECT_EQ(i.driftLoadColor(), c.colour) << c.text;
    }
}

TEST(Insights, FooterPicksTheFirstMatchingRow) {
    EXPECT_EQ(insights({day(30, 29, 5, 0)}).footerInsight(),
              "More monitoring time will make these insights sharper.");
    EXPECT_EQ(insights({day(31, 4, 1, 0)}).footerInsight(), // score 87
              "Main insight: recoveries are behind drift events today.");
    EXPECT_EQ(insights({day(100, 50, 2, 2)}).footerInsight(),
              "Main insight: posture drift is present, but resets are keeping pace.");
    EXPECT_EQ(insights({day(1000, 100, 2, 0)}).footerInsight(), // exactly 90
              "Strong day: drift appeared, but it did not dominate the session.");
    EXPECT_EQ(insights({day(1000, 0, 0, 0)}).footerInsight(),
              "Strong day: no drift events and almost all time stayed aligned.");
}
