#include "stats/LocalCalendar.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace backbeacon;

namespace {

LocalCalendar in(const char* zone) {
    const QTimeZone tz(zone);
    EXPECT_TRUE(tz.isValid()) << zone << " missing: is tzdata installed?";
    return LocalCalendar(tz);
}

// The instant shown as `text` (ISO 8601 with offset, or Z).
Instant at(const char* text) {
    const QDateTime dt = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    EXPECT_TRUE(dt.isValid()) << text;
    return Instant::fromUnixSeconds(static_cast<double>(dt.toMSecsSinceEpoch()) / 1000.0);
}

double hours(const LocalCalendar::Day& day) {
    return (day.nextStart - day.start) / 3600.0;
}

} // namespace

TEST(LocalCalendar, OrdinaryDayRunsFromMidnightToMidnight) {
    const auto calendar = in("Europe/Berlin");
    const auto day = calendar.dayContaining(at("2024-06-15T13:45:10+02:00"));
    EXPECT_EQ(day.start, at("2024-06-15T00:00:00+02:00"));
    EXPECT_EQ(day.nextStart, at("2024-06-16T00:00:00+02:00"));
    EXPECT_EQ(calendar.startOfDay(at("2024-06-15T00:00:00+02:00")), day.start);
    EXPECT_EQ(calendar.startOfDay(at("2024-06-15T00:00:00+02:00") - 0.001),
              at("2024-06-14T00:00:00+02:00"));
    EXPECT_EQ(calendar.startOfDay(at("2024-06-16T00:00:00+02:00") - 1e-6), day.start);
}

TEST(LocalCalendar, DaysOf23And25Hours) {
    const auto calendar = in("America/New_York");
    const auto spring = calendar.dayContaining(at("2024-03-10T12:00:00-04:00"));
    EXPECT_EQ(spring.start, at("2024-03-10T00:00:00-05:00"));
    EXPECT_DOUBLE_EQ(hours(spring), 23.0);
    const auto autumn = calendar.dayContaining(at("2024-11-03T12:00:00-05:00"));
    EXPECT_EQ(autumn.start, at("2024-11-03T00:00:00-04:00"));
    EXPECT_DOUBLE_EQ(hours(autumn), 25.0);
    // Both 01:30s of the repeated hour are the same day.
    EXPECT_TRUE(
        calendar.isSameDay(at("2024-11-03T01:30:00-04:00"), at("2024-11-03T01:30:00-05:00")));
}

TEST(LocalCalendar, HalfHourShiftsOnLordHowe) {
    const auto calendar = in("Australia/Lord_Howe");
    // Clocks go from 02:00 to 02:30 in October and from 02:00 back to 01:30 in April.
    EXPECT_DOUBLE_EQ(hours(calendar.dayContaining(at("2024-10-06T12:00:00+11:00"))), 23.5);
    EXPECT_DOUBLE_EQ(hours(calendar.dayContaining(at("2024-04-07T12:00:00+10:30"))), 24.5);
    EXPECT_EQ(calendar.startOfDay(at("2024-04-07T23:59:59+10:30")),
              at("2024-04-07T00:00:00+11:00"));
}

TEST(LocalCalendar, DayWithoutMidnightStartsAtOne) {
    // Sao Paulo skipped 2018-11-04 00:00-00:59: the day began at 01:00 (-02:00).
    const auto calendar = in("America/Sao_Paulo");
    const auto day = calendar.dayContaining(at("2018-11-04T10:00:00-02:00"));
    EXPECT_EQ(day.start, at("2018-11-04T01:00:00-02:00"));
    EXPECT_EQ(day.nextStart, at("2018-11-05T00:00:00-02:00"));
    EXPECT_DOUBLE_EQ(hours(day), 23.0);
    // The last second of the 3rd is still the 3rd, which lasted 24 hours.
    const auto before = calendar.dayContaining(at("2018-11-04T02:59:59Z"));
    EXPECT_EQ(before.start, at("2018-11-03T00:00:00-03:00"));
    EXPECT_EQ(before.nextStart, day.start);
}

TEST(LocalCalendar, SkippedDayOnApia) {
    // Samoa jumped from the end of 2011-12-29 (-10:00) to 2011-12-31 (+14:00).
    const auto calendar = in("Pacific/Apia");
    const auto dec29 = calendar.dayContaining(at("2011-12-29T23:59:59-10:00"));
    EXPECT_EQ(dec29.start, at("2011-12-29T00:00:00-10:00"));
    EXPECT_EQ(dec29.nextStart, at("2011-12-31T00:00:00+14:00"));
    EXPECT_DOUBLE_EQ(hours(dec29), 24.0);
    const auto dec31 = calendar.dayContaining(dec29.nextStart);
    EXPECT_EQ(dec31.start, dec29.nextStart);
    EXPECT_EQ(calendar.localDate(dec31.start), QDate(2011, 12, 31));
    // Asking for the missing date gives the next one that exists.
    EXPECT_EQ(calendar.startOfDate(QDate(2011, 12, 30)), dec31.start);
    EXPECT_FALSE(calendar.isSameDay(dec29.nextStart - 1, dec29.nextStart));
}

TEST(LocalCalendar, TwentyFiveHourDayWhenMidnightRepeats) {
    // Beirut fell back at midnight: 00:00 (+03:00) became 23:00 (+02:00) again.
    const auto calendar = in("Asia/Beirut");
    const auto day = calendar.dayContaining(at("2022-10-29T23:30:00+02:00"));
    EXPECT_EQ(day.start, at("2022-10-29T00:00:00+03:00"));
    EXPECT_EQ(day.nextStart, at("2022-10-30T00:00:00+02:00"));
    EXPECT_DOUBLE_EQ(hours(day), 25.0);
    EXPECT_TRUE(
        calendar.isSameDay(at("2022-10-29T23:30:00+03:00"), at("2022-10-29T23:30:00+02:00")));
}

TEST(LocalCalendar, DaysTileTimeWithoutGapsAcrossAYear) {
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

TEST(LocalCalendar, SwitchingZoneBumpsTheGeneration) {
    LocalCalendar calendar(QTimeZone("Europe/Berlin"));
    const auto before = calendar.generation();
    const Instant noonUtc = at("2024-06-15T12:00:00Z");
    EXPECT_EQ(calendar.startOfDay(noonUtc), at("2024-06-15T00:00:00+02:00"));
    calendar.setTimeZone(QTimeZone("Pacific/Kiritimati"));
    EXPECT_NE(calendar.generation(), before);
    EXPECT_EQ(calendar.startOfDay(noonUtc), at("2024-06-16T00:00:00+14:00"));
    calendar.setTimeZone(QTimeZone()); // invalid: the system zone
    EXPECT_EQ(calendar.timeZone(), QTimeZone::systemTimeZone());
}

TEST(LocalCalendar, DefaultsToTheSystemZone) {
    EXPECT_EQ(LocalCalendar().timeZone(), QTimeZone::systemTimeZone());
}

TEST(LocalCalendar, FarAwayInstantsAreClampedNotUndefined) {
    const auto calendar = in("Europe/Paris");
    const auto early = calendar.dayContaining(Instant::distantPast());
    EXPECT_LT(early.start, early.nextStart);
    const auto late = calendar.dayContaining(Instant::fromReferenceSeconds(1e300));
    EXPECT_LE(late.start, late.nextStart);
    EXPECT_FALSE(calendar.localDate(Instant::fromReferenceSeconds(-1e300)).isNull());
}
