#include "stats/StatisticsStore.h"

#include "FakeStatsStorage.h"
#include "ManualClock.h"
#include "model/RecordJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

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
    for (int i = count; i > 0; --i) {
        const QDateTime start =
            QDate(2024, 6, 15).addDays(-i).startOfDay(QTimeZone("Europe/Berlin"));
        days.push_back({Instant::fromUnixSeconds(static_cast<double>(start.toSecsSinceEpoch())),
                        100.0 + i, 5.0, i, i});
    }
    return days;
}

class StatisticsStoreTest : public ::testing::Test {
protected:
    StatisticsStore& open() {
        store = std::make_unique<StatisticsStore>(storage, clock, calendar);
        return *store;
    }
    StatisticsStore& openWith(const std::string& bytes) {
        storage = FakeStatsStorage();
        storage.loaded = {StatsStorage::Loaded::Outcome::read, bytes};
        storage.file = bytes;
        return open();
    }
    std::vector<DailyStats> written() const { return decoded(storage.attempts.back().bytes); }

    ManualClock clock{at("2024-06-15T10:00:00+02:00")};
    LocalCalendar calendar{QTimeZone("Europe/Berlin")};
    FakeStatsStorage storage;
    std::unique_ptr<StatisticsStore> store;
    const Instant today = at("2024-06-15T00:00:00+02:00");
};

} // namespace

TEST_F(StatisticsStoreTest, LoadContinuesTodaysRecordAndKeepsEarlierOnesAsHistory) {
    EXPECT_EQ(open().today(), DailyStats::freshDay(today));
    EXPECT_TRUE(store->history().empty());

    const auto past = pastDays(2);
    EXPECT_EQ(openWith(fileOf(past)).today(), DailyStats::freshDay(today));
    EXPECT_EQ(store->history(), past) << "yesterday's record is history";

    auto& s = openWith(fileOf({past[0], past[1], DailyStats{today, 50, 20, 2, 1}}));
    EXPECT_EQ(s.history(), past);
    EXPECT_EQ(storage.writes(), 0u) << "loading writes nothing";
    s.addMonitored(2);
    s.recordSlouch();
    EXPECT_EQ(written(), (std::vector{past[0], past[1], DailyStats{today, 52, 20, 3, 1}}));
    EXPECT_FALSE(storage.attempts.front().keepCurrentAside);

    openWith("[]").recordSlouch();
    EXPECT_FALSE(storage.attempts.front().keepCurrentAside) << "an empty file is a good one";

    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    auto& top = openWith(fileOf({DailyStats{today, 10, 1, kMax, kMax}}));
    top.recordSlouch();
    top.recordFix();
    EXPECT_EQ(top.today(), (DailyStats{today, 10, 1, kMax, kMax})) << "counts stay at the top";
    EXPECT_EQ(storage.writes(), 2u);
}

TEST_F(StatisticsStoreTest, UnusableFileStartsEmptyAndIsKeptAsideAtTheFirstSuccessfulSave) {
    const std::string good = fileOf(pastDays(3));
    const std::string record =
        R"({"date":2,"monitoredSeconds":1,"slouchedSeconds":1,"fixes":1,"slouches":)";
    const std::string bad[] = {"", "{}", good.substr(0, good.size() / 2),
                               // one bad record among good ones
                               good.substr(0, good.size() - 1) + "," + record + "1.5}]",
                               // a count one past the 64-bit range
                               "[" + record + "9223372036854775808}]"};
    for (const std::string& bytes : bad) {
        SCOPED_TRACE(bytes);
        auto& s = openWith(bytes);
        EXPECT_EQ(s.today(), DailyStats::freshDay(today));
        EXPECT_TRUE(s.history().empty());
        storage.failWrites = true;
        s.recordSlouch();
        storage.failWrites = false;
        s.recordSlouch();
        s.recordFix();
        ASSERT_EQ(storage.writes(), 3u);
        EXPECT_TRUE(storage.attempts[1].keepCurrentAside) << "still due after a failed save";
        EXPECT_FALSE(storage.attempts[2].keepCurrentAside) << "only once";
        EXPECT_EQ(storage.keptAside, bytes);
    }

    storage = FakeStatsStorage();
    storage.loaded.outcome = StatsStorage::Loaded::Outcome::unreadable;
    open().addMonitored(1);
    EXPECT_TRUE(storage.attempts.at(0).keepCurrentAside);
}

TEST_F(StatisticsStoreTest, SavesAtMostEveryFiveSecondsButSlouchesAndFixesAtOnce) {
    auto& s = open();
    s.addSlouched(2);
    EXPECT_EQ(storage.writes(), 0u) << "slouched time waits for the next save";
    s.addMonitored(1); // the first save is due at once
    clock.advance(1);
    s.addMonitored(1);
    clock.advance(3.999);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 1u);
    clock.advance(0.001); // 5 s after the last save
    s.addMonitored(1);
    ASSERT_EQ(storage.writes(), 2u);
    EXPECT_EQ(written().back(), (DailyStats{today, 4, 2, 0, 0}));

    clock.advance(0.1);
    s.recordSlouch();
    clock.advance(0.1);
    s.recordFix();
    ASSERT_EQ(storage.writes(), 4u);
    EXPECT_EQ(written().back(), (DailyStats{today, 4, 2, 1, 1}));
    clock.advance(0.1);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 4u) << "an immediate save restarts the throttle";
}

TEST_F(StatisticsStoreTest, TicksOutsideZeroToFiveSecondsAreIgnoredCompletely) {
    auto& s = open();
    s.addMonitored(4.999);
    EXPECT_EQ(s.today().monitoredSeconds, 4.999);
    const auto before = s.today();
    clock.set(at("2024-06-16T00:00:10+02:00")); // ignored ticks must not even close the day
    for (double bad : {5.0, -0.1, std::nan(""), kInf, -kInf}) {
        s.addMonitored(bad);
        s.addSlouched(bad);
    }
    EXPECT_EQ(s.today(), before);
    EXPECT_TRUE(s.history().empty());
    EXPECT_EQ(storage.writes(), 1u);
}

TEST_F(StatisticsStoreTest, FailedSaveKeepsTheFiguresAndSavePendingChangesRetries) {
    auto& s = open();
    s.savePendingChanges();
    EXPECT_EQ(storage.writes(), 0u) << "nothing changed since start";
    storage.failWrites = true;
    s.recordSlouch();
    clock.advance(1);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 1u) << "a failed write counts as a save for the throttle";
    s.addSlouched(1);
    s.savePendingChanges();
    EXPECT_EQ(storage.writes(), 2u) << "the failed save left changes pending";
    storage.failWrites = false;
    s.savePendingChanges();
    ASSERT_EQ(storage.writes(), 3u);
    EXPECT_EQ(decoded(storage.file).back(), (DailyStats{today, 1, 1, 1, 0}));
    s.savePendingChanges();
    EXPECT_EQ(storage.writes(), 3u);
}

TEST_F(StatisticsStoreTest, ClockSetBackKeepsSavingAndCountingIntoToday) {
    auto& s = open();
    s.addMonitored(1);
    clock.set(at("2024-06-14T22:00:00+02:00")); // into a day already closed
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u) << "a last save in the future counts as due";
    clock.advance(1);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u) << "and the throttle counts from the new time";
    EXPECT_TRUE(s.history().empty()) << "no second record for the earlier day";
    EXPECT_EQ(s.today(), (DailyStats{today, 3, 0, 0, 0}));
    clock.set(at("2024-06-16T00:00:00+02:00"));
    s.addMonitored(1);
    EXPECT_EQ(s.history().size(), 1u);
}

TEST_F(StatisticsStoreTest, FirstOperationOfANewDayClosesTheOldOneAndSavesAtOnce) {
    auto& s = open();
    int todaySignals = 0;
    int historySignals = 0;
    QObject::connect(&s, &StatisticsStore::todayChanged, [&] { ++todaySignals; });
    QObject::connect(&s, &StatisticsStore::historyChanged, [&] { ++historySignals; });
    clock.set(at("2024-06-15T23:59:59+02:00"));
    s.addMonitored(0);
    s.addSlouched(0);
    EXPECT_EQ(todaySignals, 0) << "only real changes are told";
    s.addMonitored(1);
    s.recordSlouch();
    const auto closed = s.today();
    const auto before = storage.writes();

    clock.set(at("2024-06-16T00:00:00+02:00"));
    s.recordFix();
    ASSERT_EQ(storage.writes(), before + 2) << "once for the new day, once for the fix";
    EXPECT_EQ(decoded(storage.attempts[before].bytes),
              (std::vector{closed, DailyStats::freshDay(at("2024-06-16T00:00:00+02:00"))}));
    EXPECT_EQ(s.history(), std::vector{closed});
    EXPECT_EQ(std::pair(todaySignals, historySignals), std::pair(4, 1));

    clock.set(at("2024-06-20T08:00:00+02:00"));
    s.addMonitored(1);
    EXPECT_EQ(s.history().size(), 2u) << "quiet days in between get no record";
    EXPECT_EQ(s.today().date, at("2024-06-20T00:00:00+02:00"));
}

TEST_F(StatisticsStoreTest, HistoryIsTrimmedToNinetyDaysAtADayChangeOnly) {
    auto past = pastDays(130);
    past.push_back(DailyStats{today, 1, 0, 0, 0});
    auto& s = openWith(fileOf(past));
    s.recordSlouch();
    EXPECT_EQ(s.history().size(), 130u) << "a long file is not trimmed on loading";
    EXPECT_EQ(written().size(), 131u);
    clock.set(at("2024-06-16T09:00:00+02:00"));
    s.addMonitored(1);
    ASSERT_EQ(s.history().size(), 90u);
    EXPECT_EQ(s.history().front(), past[41]) << "the newest days are kept";
    EXPECT_EQ(s.history().back().date, today);
    EXPECT_EQ(written().size(), 91u);
    clock.set(at("2024-06-17T09:00:00+02:00"));
    s.addMonitored(1);
    EXPECT_EQ(s.history().size(), 90u) << "91 is one too many";
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

TEST_F(StatisticsStoreTest, RecentDaysAreTheLatestHistoryFollowedByToday) {
    auto& s = openWith(fileOf(pastDays(20)));
    const auto days = s.recentDays(7);
    ASSERT_EQ(days.size(), 7u);
    EXPECT_EQ(days.front(), s.history()[14]);
    EXPECT_EQ(days.back(), s.today());
    EXPECT_TRUE(s.recentDays(0).empty());
    EXPECT_TRUE(s.recentDays(-3).empty());
    EXPECT_EQ(s.recentDays(1), std::vector{s.today()});
    EXPECT_EQ(s.recentDays(1000).size(), 21u);
}

TEST(StatisticsStoreRollover, NewRecordStartsWhereTheZonesNextDayStarts) {
    struct {
        const char* zone;
        const char* lastMoment; // in the day that ends
        const char* nextStart;
    } const cases[] = {
        {"America/New_York", "2024-03-10T00:00:00-05:00", "2024-03-11T00:00:00-04:00"}, // 23 h
        {"America/New_York", "2024-11-03T01:30:00-05:00", "2024-11-04T00:00:00-05:00"}, // 25 h
        {"Australia/Lord_Howe", "2024-10-06T00:00:00+10:30", "2024-10-07T00:00:00+11:00"},
        {"Australia/Lord_Howe", "2024-04-07T01:45:00+10:30", "2024-04-08T00:00:00+10:30"},
        // the next day has no midnight and starts at 01:00
        {"America/Sao_Paulo", "2018-11-03T23:59:59-03:00", "2018-11-04T01:00:00-02:00"},
        // the next day is skipped: after the 29th comes the 31st
        {"Pacific/Apia", "2011-12-29T23:59:00-10:00", "2011-12-31T00:00:00+14:00"},
        // midnight repeats: the repeated hour still belongs to the old day
        {"Asia/Beirut", "2022-10-29T23:30:00+02:00", "2022-10-30T00:00:00+02:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastMoment);
        ManualClock clock(at(c.lastMoment));
        LocalCalendar calendar{QTimeZone(c.zone)};
        FakeStatsStorage storage;
        StatisticsStore store(storage, clock, calendar);
        store.addMonitored(1);
        const Instant started = store.today().date;
        clock.set(at(c.nextStart) - 0.001);
        store.addMonitored(1);
        EXPECT_TRUE(store.history().empty()) << "not yet";
        clock.set(at(c.nextStart));
        store.addMonitored(1);
        EXPECT_EQ(store.history(), (std::vector{DailyStats{started, 2, 0, 0, 0}}));
        EXPECT_EQ(store.today(), (DailyStats{at(c.nextStart), 1, 0, 0, 0}));
    }
}
