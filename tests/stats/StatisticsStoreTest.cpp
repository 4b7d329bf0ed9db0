#include "stats/StatisticsStore.h"

#include "FakeStatsStorage.h"
#include "ManualClock.h"
#include "model/RecordJson.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace backbeacon;
using backbeacon::testing::FakeStatsStorage;
using backbeacon::testing::ManualClock;

namespace {

// Counts the emissions of one signal.
struct SignalCount {
    template <typename Signal> SignalCount(StatisticsStore* store, Signal signal) {
        QObject::connect(store, signal, [this] { ++n; });
    }
    int count() const { return n; }
    int n = 0;
};

Instant at(const char* text) {
    const QDateTime dt = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    EXPECT_TRUE(dt.isValid()) << text;
    return Instant::fromUnixSeconds(static_cast<double>(dt.toMSecsSinceEpoch()) / 1000.0);
}

DailyStats day(const char* start, double monitored = 100, double slouched = 10,
               std::int64_t slouches = 1, std::int64_t fixes = 1) {
    return DailyStats{at(start), monitored, slouched, slouches, fixes};
}

std::string fileOf(const std::vector<DailyStats>& days) {
    return *json::encode(std::span<const DailyStats>(days));
}

std::vector<DailyStats> decoded(const std::string& bytes) {
    auto days = json::decodeDailyStatsArray(bytes);
    EXPECT_TRUE(days) << bytes;
    return days.value_or(std::vector<DailyStats>{});
}

// `count` consecutive days ending the day before 2024-06-15 (Berlin).
std::vector<DailyStats> pastDays(int count) {
    std::vector<DailyStats> days;
    QDate date = QDate(2024, 6, 15).addDays(-count);
    for (int i = 0; i < count; ++i, date = date.addDays(1)) {
        const auto start = date.startOfDay(QTimeZone("Europe/Berlin")).toMSecsSinceEpoch();
        days.push_back(DailyStats{Instant::fromUnixSeconds(static_cast<double>(start) / 1000.0),
                                  100.0 + i, 5.0, i, i});
    }
    return days;
}

class StatisticsStoreTest : public ::testing::Test {
protected:
    ManualClock clock{at("2024-06-15T10:00:00+02:00")};
    LocalCalendar calendar{QTimeZone("Europe/Berlin")};
    FakeStatsStorage storage;
    std::unique_ptr<StatisticsStore> store;

    StatisticsStore& open() {
        store = std::make_unique<StatisticsStore>(storage, clock, calendar);
        return *store;
    }
    StatisticsStore& openWith(const std::string& bytes) {
        storage = FakeStatsStorage::holding(bytes);
        return open();
    }
    std::vector<DailyStats> written() const { return decoded(storage.attempts.back().bytes); }
};

} // namespace

// Loading

TEST_F(StatisticsStoreTest, NoFileStartsFreshAndWritesNothing) {
    auto& s = open();
    EXPECT_EQ(s.today(), DailyStats::freshDay(at("2024-06-15T00:00:00+02:00")));
    EXPECT_TRUE(s.history().empty());
    EXPECT_EQ(storage.writes(), 0u);
}

TEST_F(StatisticsStoreTest, LastRecordDatedTodayContinues) {
    const auto past = pastDays(2);
    const auto todays = day("2024-06-15T00:00:00+02:00", 50, 20, 2, 1);
    auto& s = openWith(fileOf({past[0], past[1], todays}));
    EXPECT_EQ(s.today(), todays);
    EXPECT_EQ(s.history(), past);
    s.addMonitored(2);
    s.recordSlouch();
    EXPECT_EQ(s.today().monitoredSeconds, 52);
    EXPECT_EQ(s.today().slouches, 3);
    EXPECT_EQ(written().size(), 3u);
    EXPECT_EQ(storage.attempts.front().keepCurrentAside, false);
}

TEST_F(StatisticsStoreTest, LastRecordDatedYesterdayBecomesHistory) {
    const auto past = pastDays(2);
    auto& s = openWith(fileOf(past));
    EXPECT_EQ(s.today(), DailyStats::freshDay(at("2024-06-15T00:00:00+02:00")));
    EXPECT_EQ(s.history(), past);
    EXPECT_EQ(storage.writes(), 0u);
    s.addMonitored(1);
    const auto file = written();
    ASSERT_EQ(file.size(), 3u);
    EXPECT_EQ(file[1], past[1]);
    EXPECT_EQ(file[2].date, at("2024-06-15T00:00:00+02:00"));
    EXPECT_EQ(file[2].monitoredSeconds, 1);
}

TEST_F(StatisticsStoreTest, LoadedHistoryIsNotTrimmed) {
    auto& s = openWith(fileOf(pastDays(120)));
    EXPECT_EQ(s.history().size(), 120u);
    s.recordSlouch();
    EXPECT_EQ(s.history().size(), 120u);
    EXPECT_EQ(written().size(), 121u);
}

TEST_F(StatisticsStoreTest, UndecodableFileStartsEmptyAndIsKeptAsideAtTheFirstSave) {
    const std::string good = fileOf(pastDays(3));
    const std::vector<std::string> bad = {
        "",
        "[",
        good.substr(0, good.size() / 2), // truncated
        "{}",
        "null",
        "\xff\xfe garbage \x01",
        // one record lacking a key among good ones
        R"([{"date":1,"monitoredSeconds":1,"slouchedSeconds":1,"slouches":1,"fixes":1},)"
        R"({"date":2,"monitoredSeconds":1,"slouchedSeconds":1,"slouches":1}])",
        // one with a value of the wrong kind
        R"([{"date":1,"monitoredSeconds":1,"slouchedSeconds":1,"slouches":1,"fixes":1},)"
        R"({"date":2,"monitoredSeconds":"1","slouchedSeconds":1,"slouches":1,"fixes":1}])",
        R"([{"date":2,"monitoredSeconds":1,"slouchedSeconds":1,"slouches":1.5,"fixes":1}])",
        // an integer beyond the 64-bit range
        R"([{"date":2,"monitoredSeconds":1,"slouchedSeconds":1,"slouches":9223372036854775808,)"
        R"("fixes":1}])",
        R"([{"date":2,"monitoredSeconds":1e999,"slouchedSeconds":1,"slouches":1,"fixes":1}])",
    };
    for (const std::string& bytes : bad) {
        SCOPED_TRACE(bytes);
        auto& s = openWith(bytes);
        EXPECT_EQ(s.today(), DailyStats::freshDay(at("2024-06-15T00:00:00+02:00")));
        EXPECT_TRUE(s.history().empty());
        EXPECT_EQ(storage.writes(), 0u);
        s.recordSlouch();
        ASSERT_EQ(storage.writes(), 1u);
        EXPECT_TRUE(storage.attempts[0].keepCurrentAside);
        EXPECT_EQ(storage.keptAside, bytes);
        s.recordFix();
        EXPECT_FALSE(storage.attempts[1].keepCurrentAside) << "only the first save keeps it";
        EXPECT_EQ(storage.keptAside, bytes);
    }
}

TEST_F(StatisticsStoreTest, KeepingAsideWaitsForTheFirstSuccessfulSave) {
    auto& s = openWith("[corrupt");
    storage.failWrites = true;
    s.recordSlouch();
    storage.failWrites = false;
    s.recordSlouch();
    ASSERT_EQ(storage.writes(), 2u);
    EXPECT_TRUE(storage.attempts[1].keepCurrentAside);
    EXPECT_EQ(storage.keptAside, "[corrupt");
}

TEST_F(StatisticsStoreTest, UnreadableFileIsKeptAsideToo) {
    storage.loaded = {StatsStorage::Loaded::Outcome::unreadable, {}};
    auto& s = open();
    EXPECT_TRUE(s.history().empty());
    s.addMonitored(1);
    ASSERT_EQ(storage.writes(), 1u);
    EXPECT_TRUE(storage.attempts[0].keepCurrentAside);
}

TEST_F(StatisticsStoreTest, ExtraKeysAndAnEmptyArrayAreFine) {
    auto& s = openWith(
        R"([{"date":1,"monitoredSeconds":1,"slouchedSeconds":1,"slouches":1,"fixes":1,"x":[]}])");
    EXPECT_EQ(s.history().size(), 1u);
    auto& empty = openWith("[]");
    EXPECT_TRUE(empty.history().empty());
    empty.recordSlouch();
    EXPECT_FALSE(storage.attempts[0].keepCurrentAside);
}

TEST_F(StatisticsStoreTest, HugeCountersStayAtTheTopInsteadOfOverflowing) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    auto& s = openWith(fileOf({day("2024-06-15T00:00:00+02:00", 10, 1, kMax, kMax)}));
    SignalCount changed(&s, &StatisticsStore::todayChanged);
    s.recordSlouch();
    s.recordFix();
    EXPECT_EQ(s.today().slouches, kMax);
    EXPECT_EQ(s.today().fixes, kMax);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(storage.writes(), 2u) << "still saved at once";
}

// Throttle and immediate saves

TEST_F(StatisticsStoreTest, ThrottledSavesAtMostOncePerFiveSeconds) {
    auto& s = open();
    s.addMonitored(1); // the first save is due at once
    EXPECT_EQ(storage.writes(), 1u);
    clock.advance(1);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 1u);
    clock.advance(3.999);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 1u);
    clock.advance(0.001); // exactly 5 seconds after the last save
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u);
    EXPECT_EQ(written().back().monitoredSeconds, 4);
}

TEST_F(StatisticsStoreTest, SlouchedTimeWaitsForTheNextSave) {
    auto& s = open();
    s.addSlouched(2);
    EXPECT_EQ(storage.writes(), 0u);
    EXPECT_EQ(s.today().slouchedSeconds, 2);
    s.addMonitored(2);
    EXPECT_EQ(written().back().slouchedSeconds, 2);
}

TEST_F(StatisticsStoreTest, TickValuesOutsideTheRangeAreIgnoredCompletely) {
    auto& s = open();
    s.addMonitored(4.999);
    EXPECT_DOUBLE_EQ(s.today().monitoredSeconds, 4.999);
    const auto before = s.today();
    clock.set(at("2024-06-16T00:00:10+02:00")); // a new day: ignored values must not roll it
    for (double bad : {5.0, -0.1, std::nan(""), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        s.addMonitored(bad);
        s.addSlouched(bad);
    }
    EXPECT_EQ(s.today(), before);
    EXPECT_TRUE(s.history().empty());
    EXPECT_EQ(storage.writes(), 1u);
}

TEST_F(StatisticsStoreTest, SlouchAndFixSaveAtOnce) {
    auto& s = open();
    s.addMonitored(1);
    clock.advance(0.1);
    s.recordSlouch();
    clock.advance(0.1);
    s.recordFix();
    ASSERT_EQ(storage.writes(), 3u);
    EXPECT_EQ(written().back().slouches, 1);
    EXPECT_EQ(written().back().fixes, 1);
    clock.advance(0.1);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 3u) << "the immediate save also restarts the throttle";
}

TEST_F(StatisticsStoreTest, ClockSetBackDoesNotStopThrottledSaves) {
    auto& s = open();
    s.addMonitored(1);
    clock.advance(-3600);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u) << "a last save in the future counts as due";
    clock.advance(1);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u) << "and the throttle works again from the new time";
    s.recordSlouch();
    EXPECT_EQ(storage.writes(), 3u);
}

TEST_F(StatisticsStoreTest, FailedSaveKeepsStateAndWaitsForTheNextSlot) {
    auto& s = open();
    storage.failWrites = true;
    s.recordSlouch();
    EXPECT_EQ(storage.writes(), 1u);
    EXPECT_EQ(s.today().slouches, 1);
    clock.advance(1);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 1u) << "a failed write counts as a save for the throttle";
    clock.advance(4);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u);
    EXPECT_TRUE(storage.file.empty());
    storage.failWrites = false;
    s.recordFix();
    EXPECT_EQ(decoded(storage.file).back().slouches, 1);
    EXPECT_EQ(decoded(storage.file).back().monitoredSeconds, 2);
}

TEST_F(StatisticsStoreTest, SavePendingChangesWritesOnlyUnsavedChanges) {
    auto& s = open();
    s.savePendingChanges();
    EXPECT_EQ(storage.writes(), 0u) << "nothing changed since start";
    s.addMonitored(1);
    clock.advance(1);
    s.addMonitored(2);
    s.addSlouched(2);
    EXPECT_EQ(storage.writes(), 1u);
    s.savePendingChanges();
    ASSERT_EQ(storage.writes(), 2u);
    EXPECT_EQ(written().back().monitoredSeconds, 3);
    EXPECT_EQ(written().back().slouchedSeconds, 2);
    s.savePendingChanges();
    EXPECT_EQ(storage.writes(), 2u);

    storage.failWrites = true;
    s.recordSlouch();
    s.savePendingChanges(); // the failed save left changes pending
    EXPECT_EQ(storage.writes(), 4u);
}

// Day changes

TEST_F(StatisticsStoreTest, FirstOperationAfterMidnightClosesTheDay) {
    auto& s = open();
    clock.set(at("2024-06-15T23:59:59+02:00"));
    s.addMonitored(1);
    s.recordSlouch();
    const auto closed = s.today();
    const auto writesBefore = storage.writes();
    SignalCount historySpy(&s, &StatisticsStore::historyChanged);

    clock.set(at("2024-06-16T00:00:00+02:00"));
    s.recordSlouch();
    ASSERT_EQ(storage.writes(), writesBefore + 2) << "once for the new day, once for the slouch";
    const auto atRollover = decoded(storage.attempts[writesBefore].bytes);
    ASSERT_EQ(atRollover.size(), 2u);
    EXPECT_EQ(atRollover[0], closed);
    EXPECT_EQ(atRollover[1], DailyStats::freshDay(at("2024-06-16T00:00:00+02:00")));
    EXPECT_EQ(written().back().slouches, 1);
    EXPECT_EQ(historySpy.count(), 1);
    EXPECT_EQ(s.history(), std::vector<DailyStats>{closed});

    clock.set(at("2024-06-17T00:00:01+02:00"));
    s.addMonitored(2);
    EXPECT_EQ(storage.writes(), writesBefore + 3) << "the added time waits for the throttle";
    EXPECT_EQ(written().back().monitoredSeconds, 0);
    EXPECT_EQ(s.today().monitoredSeconds, 2);
}

TEST_F(StatisticsStoreTest, QuietDaysAreNotFilledIn) {
    auto& s = open();
    s.recordFix();
    clock.set(at("2024-06-20T08:00:00+02:00"));
    s.addMonitored(1);
    ASSERT_EQ(s.history().size(), 1u);
    EXPECT_EQ(s.history()[0].date, at("2024-06-15T00:00:00+02:00"));
    EXPECT_EQ(s.today().date, at("2024-06-20T00:00:00+02:00"));
}

TEST_F(StatisticsStoreTest, ClockSetBackIntoAnEarlierDayKeepsCountingIntoToday) {
    auto& s = open();
    s.addMonitored(1);
    clock.set(at("2024-06-14T22:00:00+02:00"));
    s.addMonitored(1);
    s.recordSlouch();
    EXPECT_TRUE(s.history().empty()) << "no second record for a day already closed";
    EXPECT_EQ(s.today().date, at("2024-06-15T00:00:00+02:00"));
    EXPECT_EQ(s.today().monitoredSeconds, 2);
    clock.set(at("2024-06-16T00:00:00+02:00"));
    s.addMonitored(1);
    EXPECT_EQ(s.history().size(), 1u);
}

TEST_F(StatisticsStoreTest, HistoryKeepsTheNewestNinetyDaysAtADayChange) {
    auto past = pastDays(90);
    past.push_back(day("2024-06-15T00:00:00+02:00", 1, 0, 0, 0));
    auto& s = openWith(fileOf(past));
    ASSERT_EQ(s.history().size(), 90u);
    clock.set(at("2024-06-16T09:00:00+02:00"));
    s.addMonitored(1);
    ASSERT_EQ(s.history().size(), 90u);
    EXPECT_EQ(s.history().front(), past[1]) << "the oldest one is gone";
    EXPECT_EQ(s.history().back(), past.back()) << "yesterday is last";
    EXPECT_EQ(written().size(), 91u);
}

TEST_F(StatisticsStoreTest, LongLoadedHistoryIsTrimmedAtTheNextDayChange) {
    auto& s = openWith(fileOf(pastDays(130)));
    clock.set(at("2024-06-16T09:00:00+02:00"));
    s.recordFix();
    ASSERT_EQ(s.history().size(), 90u);
    EXPECT_EQ(s.history().back().date, at("2024-06-15T00:00:00+02:00"));
}

TEST_F(StatisticsStoreTest, SwitchingTheTimeZoneIsNoticed) {
    auto& s = open(); // 10:00 in Berlin, 08:00 UTC
    s.addMonitored(1);
    calendar.setTimeZone(QTimeZone("Pacific/Kiritimati")); // 22:00 the same day there
    s.addMonitored(1);
    EXPECT_TRUE(s.history().empty());
    clock.advance(2.5 * 3600); // past midnight in Kiritimati, still the 15th in Berlin
    s.addMonitored(1);
    ASSERT_EQ(s.history().size(), 1u);
    EXPECT_EQ(s.today().date, at("2024-06-16T00:00:00+14:00"));
}

struct ZoneCase {
    const char* zone;
    const char* lastMoment;  // an instant in the day that ends
    const char* firstMoment; // the next operation, in the next day
    const char* nextStart;   // the start of that day
};

class StatisticsStoreRollover : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(StatisticsStoreRollover, NewRecordIsDatedAtTheLocalStartOfTheDay) {
    const ZoneCase& c = GetParam();
    ManualClock clock(at(c.lastMoment));
    LocalCalendar calendar{QTimeZone(c.zone)};
    FakeStatsStorage storage;
    StatisticsStore store(storage, clock, calendar);
    store.addMonitored(1);
    const Instant started = store.today().date;

    clock.set(at(c.nextStart) - 0.001);
    store.addMonitored(1);
    EXPECT_EQ(store.today().date, started) << "not yet";
    EXPECT_TRUE(store.history().empty());

    clock.set(at(c.firstMoment));
    store.addMonitored(1);
    ASSERT_EQ(store.history().size(), 1u);
    EXPECT_EQ(store.history()[0].date, started);
    EXPECT_EQ(store.history()[0].monitoredSeconds, 2);
    EXPECT_EQ(store.today().date, at(c.nextStart));
    EXPECT_EQ(store.today().monitoredSeconds, 1);
}

INSTANTIATE_TEST_SUITE_P(Zones, StatisticsStoreRollover,
                         ::testing::Values(
                             // a day of 23 hours, then one of 25
                             ZoneCase{"America/New_York", "2024-03-10T00:00:00-05:00",
                                      "2024-03-11T00:00:00-04:00", "2024-03-11T00:00:00-04:00"},
                             ZoneCase{"America/New_York", "2024-11-03T01:30:00-05:00",
                                      "2024-11-04T00:00:00-05:00", "2024-11-04T00:00:00-05:00"},
                             // 23.5 and 24.5 hours
                             ZoneCase{"Australia/Lord_Howe", "2024-10-06T00:00:00+10:30",
                                      "2024-10-07T00:00:30+11:00", "2024-10-07T00:00:00+11:00"},
                             ZoneCase{"Australia/Lord_Howe", "2024-04-07T01:45:00+10:30",
                                      "2024-04-08T00:00:00+10:30", "2024-04-08T00:00:00+10:30"},
                             // the next day has no midnight and starts at 01:00
                             ZoneCase{"America/Sao_Paulo", "2018-11-03T23:59:59-03:00",
                                      "2018-11-04T01:00:00-02:00", "2018-11-04T01:00:00-02:00"},
                             // the next day is skipped: after the 29th comes the 31st
                             ZoneCase{"Pacific/Apia", "2011-12-29T23:59:00-10:00",
                                      "2011-12-31T00:00:00+14:00", "2011-12-31T00:00:00+14:00"},
                             // midnight repeats: 25 hours, the repeated hour is still the old day
                             ZoneCase{"Asia/Beirut", "2022-10-29T23:30:00+02:00",
                                      "2022-10-30T00:00:00+02:00", "2022-10-30T00:00:00+02:00"},
                             ZoneCase{"UTC", "2024-02-28T12:00:00Z", "2024-02-29T00:00:00Z",
                                      "2024-02-29T00:00:00Z"}));

// Reading

TEST_F(StatisticsStoreTest, RecentDaysEndWithToday) {
    auto& few = openWith(fileOf(pastDays(3)));
    auto days = few.recentDays(7);
    ASSERT_EQ(days.size(), 4u);
    EXPECT_EQ(days.back(), few.today());
    EXPECT_EQ(days.front(), few.history().front());

    auto& many = openWith(fileOf(pastDays(20)));
    days = many.recentDays(7);
    ASSERT_EQ(days.size(), 7u);
    EXPECT_EQ(days.front(), many.history()[14]);
    EXPECT_EQ(days[5], many.history().back());
    EXPECT_EQ(days.back(), many.today());

    EXPECT_TRUE(many.recentDays(0).empty());
    EXPECT_TRUE(many.recentDays(-3).empty());
    EXPECT_EQ(many.recentDays(1), std::vector<DailyStats>{many.today()});
    EXPECT_EQ(many.recentDays(1000).size(), 21u);
}

TEST_F(StatisticsStoreTest, SignalsOnlyOnRealChanges) {
    auto& s = openWith(fileOf(pastDays(2)));
    SignalCount today(&s, &StatisticsStore::todayChanged);
    SignalCount history(&s, &StatisticsStore::historyChanged);
    s.addMonitored(0);
    s.addSlouched(0);
    s.addMonitored(5);
    EXPECT_EQ(today.count(), 0);
    s.addMonitored(1);
    s.addSlouched(1);
    s.recordSlouch();
    s.recordFix();
    EXPECT_EQ(today.count(), 4);
    EXPECT_EQ(history.count(), 0);
    clock.set(at("2024-06-16T07:00:00+02:00"));
    s.addMonitored(0); // rolls over, adds nothing
    EXPECT_EQ(history.count(), 1);
    EXPECT_EQ(today.count(), 5);
}
