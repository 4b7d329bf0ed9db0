#include "stats/LocalCalendar.h"

#include "ManualClock.h"

#include <gtest/gtest.h>

using namespace backbeacon;
using backbeacon::testing::at;

namespace {

LocalCalendar in(const char* zone) {
    const QTimeZone tz(zone);
    EXPECT_TRUE(tz.isValid()) << zone << " missing: is tzdata installed?";
    return LocalCalendar(tz);
}

double hours(const LocalCalendar::Day& day) {
    return (day.nextStart - day.start) / 3600.0;
}

} // namespace

TEST(LocalCalendar, DaysRunFromTheirFirstLocalInstantToTheNextDaysFirst) {
    const struct {
        const char* zone;
        const char* inside;
        const char* start;
        const char* nextStart;
    } cases[] = {
        // 23 and 25 hours
        {"America/New_York", "2024-03-10T12:00:00-04:00", "2024-03-10T00:00:00-05:00",
         "2024-03-11T00:00:00-04:00"},
        {"America/New_York", "2024-11-03T01:30:00-05:00", "2024-11-03T00:00:00-04:00",
         "2024-11-04T00:00:00-05:00"},
        // 23.5 hours (02:00 becomes 02:30) and 24.5 (02:00 back to 01:30)
        {"Australia/Lord_Howe", "2024-10-06T12:00:00+11:00", "2024-10-06T00:00:00+10:30",
         "2024-10-07T00:00:00+11:00"},
        {"Australia/Lord_Howe", "2024-04-07T23:59:59+10:30", "2024-04-07T00:00:00+11:00",
         "2024-04-08T00:00:00+10:30"},
        // Midnight was skipped: the 4th began at 01:00; the 3rd lasted to its end.
        {"America/Sao_Paulo", "2018-11-04T10:00:00-02:00", "2018-11-04T01:00:00-02:00",
         "2018-11-05T00:00:00-02:00"},
        {"America/Sao_Paulo", "2018-11-04T02:59:59Z", "2018-11-03T00:00:00-03:00",
         "2018-11-04T01:00:00-02:00"},
        // Samoa went from the end of the 29th (-10:00) to the 31st (+14:00).
        {"Pacific/Apia", "2011-12-29T23:59:59-10:00", "2011-12-29T00:00:00-10:00",
         "2011-12-31T00:00:00+14:00"},
        // Midnight repeated: 00:00 (+03:00) became 23:00 (+02:00) again.
        {"Asia/Beirut", "2022-10-29T23:30:00+02:00", "2022-10-29T00:00:00+03:00",
         "2022-10-30T00:00:00+02:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inside);
        const auto calendar = in(c.zone);
        const auto day = calendar.dayContaining(at(c.inside));
        EXPECT_EQ(day, (LocalCalendar::Day{at(c.start), at(c.nextStart)}));
        EXPECT_EQ(calendar.dayContaining(day.start), day);
        EXPECT_EQ(calendar.dayContaining(day.nextStart - 1e-6), day);
        EXPECT_EQ(calendar.dayContaining(day.start - 0.001).nextStart, day.start);
    }
    // The missing date starts where the next one that exists does.
    EXPECT_EQ(in("Pacific/Apia").startOfDate(QDate(2011, 12, 30)), at("2011-12-31T00:00:00+14:00"));
    // Both 01:30s of a repeated hour are the same day.
    EXPECT_TRUE(in("America/New_York")
                    .isSameDay(at("2024-11-03T01:30:00-04:00"), at("2024-11-03T01:30:00-05:00")));
}

TEST(LocalCalendar, DaysTileTimeWithoutGapsAcrossTheYears) {
    // Walking day by day through years full of transitions: every day begins
    // where the one before ended, and holds every instant in between.
    for (const char* zone : {"Australia/Lord_Howe", "America/Sao_Paulo", "Pacific/Apia",
                             "Asia/Beirut", "America/Havana", "Europe/London"}) {
        const auto calendar = in(zone);
        auto day = calendar.dayContaining(at("2011-01-01T12:00:00Z"));
        for (int i = 0; i < 3 * 366; ++i) {
            const auto next = calendar.dayContaining(day.nextStart);
            ASSERT_EQ(next.start, day.nextStart) << zone << " after " << i << " days";
            ASSERT_GE(hours(next), 22.0) << zone;
            ASSERT_LE(hours(next), 26.0) << zone;
            ASSERT_EQ(calendar.dayContaining(next.nextStart - 0.5), next) << zone;
            day = next;
        }
    }
}

TEST(LocalCalendar, NoZoneOrAnInvalidOneMeansTheSystemZone) {
    EXPECT_EQ(LocalCalendar().timeZone(), QTimeZone::systemTimeZone());
    LocalCalendar calendar(QTimeZone("Europe/Berlin"));
    calendar.setTimeZone(QTimeZone());
    EXPECT_EQ(calendar.timeZone(), QTimeZone::systemTimeZone());
}

TEST(LocalCalendar, FarAwayInstantsAreClampedNotUndefined) {
    const auto calendar = in("Europe/Paris");
    const auto early = calendar.dayContaining(Instant::distantPast());
    EXPECT_LT(early.start, early.nextStart);
    const auto late = calendar.dayContaining(Instant::fromReferenceSeconds(1e300));
    EXPECT_LE(late.start, late.nextStart);
    EXPECT_FALSE(calendar.localDate(Instant::fromReferenceSeconds(-1e300)).isNull());
}
