#include "stats/StatisticsStore.h"

#include "FakeStatsStorage.h"
#include "Files.h"
#include "ManualClock.h"
#include "VirtualTime.h"
#include "model/RecordJson.h"
#include "stats/InsightCardSaver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr auto kMax = std::numeric_limits<std::int64_t>::max();

std::string fileOf(const std::vector<DailyStats>& days) {
    return *json::encode(std::span<const DailyStats>(days));
}

std::vector<DailyStats> decoded(const std::string& bytes) {
    return json::decodeDailyStatsArray(bytes).value_or(std::vector<DailyStats>{});
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
    StatisticsStore& open(const std::optional<std::string>& bytes = std::nullopt) {
        storage = FakeStatsStorage();
        if (bytes) {
            storage.loaded = {StatsStorage::Loaded::Outcome::read, *bytes};
            storage.file = *bytes;
        }
        store = std::make_unique<StatisticsStore>(storage, clock, calendar);
        return *store;
    }
    std::vector<DailyStats> written() const { return decoded(storage.attempts.back().bytes); }

    ManualClock clock{at("2024-06-15T10:00:00+02:00")};
    LocalCalendar calendar{QTimeZone("Europe/Berlin")};
    FakeStatsStorage storage;
    std::unique_ptr<StatisticsStore> store;
    const Instant today = at("2024-06-15T00:00:00+02:00");
};

// Answers the dialog with a scripted path, running `during` while it is open.
class InsightCardSaverTest : public ::testing::Test, public SaveLocationChooser {
protected:
    std::optional<QString> chooseSaveLocation(const SaveRequest& request) override {
        requests.push_back(request);
        if (during) {
            during();
        }
        return answer;
    }
    void open(const char* zone, const char* now, const std::vector<DailyStats>& past = {}) {
        time.jumpClock(at(now));
        calendar.setTimeZone(QTimeZone(zone));
        storage.loaded = {StatsStorage::Loaded::Outcome::read, fileOf(past)};
        store = std::make_unique<StatisticsStore>(storage, time.clock(), calendar);
        saver = std::make_unique<InsightCardSaver>(*store, calendar, *this, time,
                                                   [this](const std::vector<DailyStats>& days) {
                                                       rendered.push_back(days);
                                                       return bytes;
                                                   });
    }
    void click() {
        saver->saveInsightCard();
        time.advance(1);
    }

    VirtualTime time;
    LocalCalendar calendar;
    FakeStatsStorage storage;
    std::unique_ptr<StatisticsStore> store;
    std::unique_ptr<InsightCardSaver> saver;
    std::optional<QByteArray> bytes = QByteArray("first card");
    std::vector<std::vector<DailyStats>> rendered;
    std::optional<QString> answer;
    std::function<void()> during;
    std::vector<SaveRequest> requests;
    QTemporaryDir folder;
};

} // namespace

TEST_F(StatisticsStoreTest, LoadContinuesTodaysRecordAndKeepsEarlierOnesAsHistory) {
    const auto past = pastDays(2);
    auto& s = open(fileOf({past[0], past[1], DailyStats{today, 50, 20, 2, 1}}));
    EXPECT_EQ(s.history(), past);
    EXPECT_EQ(storage.writes(), 0u) << "loading writes nothing";
    s.addMonitored(2);
    s.recordSlouch();
    EXPECT_EQ(written(), (std::vector{past[0], past[1], DailyStats{today, 52, 20, 3, 1}}));
    EXPECT_FALSE(storage.attempts.front().keepCurrentAside);
    open("[]").recordSlouch();
    EXPECT_FALSE(storage.attempts.front().keepCurrentAside) << "an empty file is a good one";

    open(fileOf({DailyStats{today, 10, 1, kMax, kMax}})).recordSlouch();
    store->recordFix();
    EXPECT_EQ(store->today(), (DailyStats{today, 10, 1, kMax, kMax})) << "counts stay at the top";
}

TEST_F(StatisticsStoreTest, UnusableFileStartsEmptyAndIsKeptAsideAtTheFirstSuccessfulSave) {
    const std::string good = fileOf(pastDays(3));
    // Empty, wrong shape, cut short, one bad record among good ones (all bad records: RecordJson).
    for (const std::string& bytes :
         {std::string(), std::string("{}"), good.substr(0, good.size() / 2),
          good.substr(0, good.size() - 1) + ",7]"}) {
        SCOPED_TRACE(bytes);
        auto& s = open(bytes);
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
    StatisticsStore(storage, clock, calendar).addMonitored(1);
    EXPECT_TRUE(storage.attempts.at(0).keepCurrentAside);
}

TEST_F(StatisticsStoreTest, ThrottledSavesSlouchesAtOnceFailuresRetriedAndClockSetBackSurvived) {
    auto& s = open();
    s.addSlouched(2);
    EXPECT_EQ(storage.writes(), 0u) << "slouched time waits for the next save";
    s.addMonitored(1); // the first save is due at once
    clock.advance(4.999);
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 1u);
    clock.advance(0.001);
    s.addMonitored(1);
    ASSERT_EQ(storage.writes(), 2u);
    EXPECT_EQ(written().back(), (DailyStats{today, 3, 2, 0, 0}));
    clock.advance(0.1);
    s.recordSlouch();
    s.recordFix();
    ASSERT_EQ(storage.writes(), 4u);
    EXPECT_EQ(written().back(), (DailyStats{today, 3, 2, 1, 1}));
    s.addMonitored(1);
    EXPECT_EQ(storage.writes(), 4u) << "an immediate save restarts the throttle";

    // A failed save keeps the figures, and savePendingChanges retries.
    auto& retrying = open();
    retrying.savePendingChanges();
    EXPECT_EQ(storage.writes(), 0u) << "nothing changed since start";
    storage.failWrites = true;
    retrying.recordSlouch();
    clock.advance(1);
    retrying.addMonitored(1);
    EXPECT_EQ(storage.writes(), 1u) << "a failed write counts as a save for the throttle";
    retrying.savePendingChanges();
    storage.failWrites = false;
    retrying.savePendingChanges();
    retrying.savePendingChanges();
    ASSERT_EQ(storage.writes(), 3u) << "the failed save left changes pending, the good one none";
    EXPECT_EQ(decoded(storage.file).back(), (DailyStats{today, 1, 0, 1, 0}));

    // The clock set back keeps saving and counting into today.
    auto& back = open();
    back.addMonitored(1);
    clock.set(at("2024-06-14T22:00:00+02:00")); // into a day already closed
    back.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u) << "a last save in the future counts as due";
    clock.advance(1);
    back.addMonitored(1);
    EXPECT_EQ(storage.writes(), 2u) << "and the throttle counts from the new time";
    EXPECT_TRUE(back.history().empty()) << "no second record for the earlier day";
    EXPECT_EQ(back.today(), (DailyStats{today, 3, 0, 0, 0}));
}

TEST_F(StatisticsStoreTest, TicksOutsideZeroToFiveSecondsAreIgnoredCompletely) {
    auto& s = open();
    s.addMonitored(4.999);
    clock.set(at("2024-06-16T00:00:10+02:00")); // ignored ticks must not even close the day
    for (double bad : {5.0, -0.1, std::nan(""), kInf, -kInf}) {
        s.addMonitored(bad);
        s.addSlouched(bad);
    }
    EXPECT_EQ(s.today(), (DailyStats{today, 4.999, 0, 0, 0}));
    EXPECT_TRUE(s.history().empty() && storage.writes() == 1);
}

TEST_F(StatisticsStoreTest, ANewDayClosesTheOldOneSavesAtOnceAndTrimsHistoryToNinetyDays) {
    auto& s = open();
    int todaySignals = 0;
    int historySignals = 0;
    QObject::connect(&s, &StatisticsStore::todayChanged, [&] { ++todaySignals; });
    QObject::connect(&s, &StatisticsStore::historyChanged, [&] { ++historySignals; });
    clock.set(at("2024-06-15T23:59:59+02:00"));
    s.addMonitored(0); // no change, no signal
    s.addMonitored(1);
    s.recordSlouch();
    const auto closed = s.today();
    const auto before = storage.writes();
    clock.set(at("2024-06-16T00:00:00+02:00"));
    s.recordFix();
    ASSERT_EQ(storage.writes(), before + 2) << "once for the new day, once for the fix";
    EXPECT_EQ(decoded(storage.attempts[before].bytes),
              (std::vector{closed, DailyStats::freshDay(at("2024-06-16T00:00:00+02:00"))}));
    EXPECT_EQ(std::pair(todaySignals, historySignals), std::pair(4, 1));
    clock.set(at("2024-06-20T08:00:00+02:00"));
    s.addMonitored(1);
    EXPECT_EQ(s.history().size(), 2u) << "quiet days in between get no record";

    // History is trimmed to ninety days, at a day change only.
    clock.set(at("2024-06-15T10:00:00+02:00"));
    auto past = pastDays(130);
    auto& trimmed = open(fileOf(past));
    trimmed.recordSlouch();
    EXPECT_EQ(written().size(), 131u) << "a long file is not trimmed on loading";
    clock.set(at("2024-06-16T09:00:00+02:00"));
    trimmed.addMonitored(1);
    ASSERT_EQ(trimmed.history().size(), 90u);
    EXPECT_EQ(trimmed.history().front(), past[41]) << "the newest days are kept";
    EXPECT_EQ(written().size(), 91u);
}

TEST_F(StatisticsStoreTest, SwitchingTheTimeZoneIsNoticedAndRecentDaysEndWithToday) {
    auto& s = open(fileOf(pastDays(20)));                  // 10:00 in Berlin, 08:00 UTC
    calendar.setTimeZone(QTimeZone("Pacific/Kiritimati")); // 22:00 the same day there
    s.addMonitored(1);
    clock.advance(2.5 * 3600); // past midnight in Kiritimati, still the 15th in Berlin
    s.addMonitored(1);
    EXPECT_EQ(s.today().date, at("2024-06-16T00:00:00+14:00"));
    const auto days = s.recentDays(7);
    EXPECT_EQ(std::tuple(days.size(), days.front(), days.back()),
              std::tuple(7u, s.history()[15], s.today()));
    EXPECT_TRUE(s.recentDays(0).empty() && s.recentDays(-3).empty());
}

// Each day runs from its first local instant to the next day's, and the store
// opens a new record exactly there.
TEST(LocalCalendar, DaysEndWhereTheNextStartsTheStoreRollsOverThereFarAwayInstantsToo) {
    const struct {
        const char *zone, *inside, *start, *nextStart;
    } cases[] = {
        // 23 and 25 hours
        {"America/New_York", "2024-03-10T12:00:00-04:00", "2024-03-10T00:00:00-05:00",
         "2024-03-11T00:00:00-04:00"},
        // Midnight was skipped: the 4th began at 01:00; the 3rd lasted to its end.
        {"America/Sao_Paulo", "2018-11-04T10:00:00-02:00", "2018-11-04T01:00:00-02:00",
         "2018-11-05T00:00:00-02:00"},
        {"America/Sao_Paulo", "2018-11-04T02:59:59Z", "2018-11-03T00:00:00-03:00",
         "2018-11-04T01:00:00-02:00"},
        // Samoa went from the end of the 29th (-10:00) to the 31st (+14:00).
        {"Pacific/Apia", "2011-12-29T23:59:59-10:00", "2011-12-29T00:00:00-10:00",
         "2011-12-31T00:00:00+14:00"},
        // Midnight repeated: the repeated hour still belongs to the old day.
        {"Asia/Beirut", "2022-10-29T23:30:00+02:00", "2022-10-29T00:00:00+03:00",
         "2022-10-30T00:00:00+02:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inside);
        ASSERT_TRUE(QTimeZone(c.zone).isValid()) << "is tzdata installed?";
        LocalCalendar calendar{QTimeZone(c.zone)};
        const auto day = calendar.dayContaining(at(c.inside));
        EXPECT_EQ(day, (LocalCalendar::Day{at(c.start), at(c.nextStart)}));
        EXPECT_EQ(calendar.dayContaining(day.start), day);
        EXPECT_EQ(calendar.dayContaining(day.start - 0.001).nextStart, day.start);

        ManualClock clock(at(c.inside));
        FakeStatsStorage storage;
        StatisticsStore store(storage, clock, calendar);
        store.addMonitored(1);
        clock.set(day.nextStart - 0.001);
        store.addMonitored(1);
        EXPECT_TRUE(store.history().empty()) << "not yet";
        clock.set(day.nextStart);
        store.addMonitored(1);
        EXPECT_EQ(store.history(), (std::vector{DailyStats{day.start, 2, 0, 0, 0}}));
        EXPECT_EQ(store.today(), (DailyStats{day.nextStart, 1, 0, 0, 0}));
    }
    EXPECT_EQ(LocalCalendar(QTimeZone("Pacific/Apia")).startOfDate(QDate(2011, 12, 30)),
              at("2011-12-31T00:00:00+14:00"))
        << "a missing date starts where the next one that exists does";
    EXPECT_TRUE(LocalCalendar(QTimeZone("America/New_York"))
                    .isSameDay(at("2024-11-03T01:30:00-04:00"), at("2024-11-03T01:30:00-05:00")));

    // An invalid zone is the system's; far-away instants still have a day.
    LocalCalendar calendar(QTimeZone("Europe/Berlin"));
    calendar.setTimeZone(QTimeZone());
    EXPECT_EQ(calendar.timeZone(), QTimeZone::systemTimeZone());
    const auto early = calendar.dayContaining(Instant::distantPast());
    const auto late = calendar.dayContaining(Instant::fromReferenceSeconds(1e300));
    EXPECT_TRUE(early.start < early.nextStart && late.start <= late.nextStart);
    EXPECT_FALSE(calendar.localDate(Instant::fromReferenceSeconds(-1e300)).isNull());
}

// The card is made at the click, of the last 7 days; the dialog opens 120 ms
// after the last click, and what was made then replaces the chosen file.
TEST_F(InsightCardSaverTest, RendersAtTheClickAsksAfterThePauseWritesThoseBytesOrEndsQuietly) {
    open("Europe/Berlin", "2024-06-15T15:00:00+02:00", pastDays(9));
    answer = folder.filePath("card.png");
    writeAll(*answer, "an older card");
    saver->saveInsightCard();
    time.advance(0.05);
    bytes = QByteArray("card of the moment");
    saver->saveInsightCard(); // a second click while the first waits replaces it
    EXPECT_EQ(rendered.at(1), store->recentDays(7));
    bytes = QByteArray("a later card");
    store->recordSlouch(); // after the click: not on the saved card
    time.advance(0.119);
    EXPECT_TRUE(requests.empty()) << "the panel gets 120 ms to close first";
    time.advance(10);
    EXPECT_EQ(requests, (std::vector<SaveRequest>{{"Save Insight Card", "backbeacon-2024-06-15.png",
                                                   "image/png", true}}));
    EXPECT_EQ(readAll(*answer), "card of the moment");
    EXPECT_EQ(entries(folder.path()), QStringList{"card.png"}) << "no temporary file left";
    open("Pacific/Auckland", "2026-12-06T08:00:00+13:00"); // still the 5th in UTC
    EXPECT_EQ(saver->proposedFileName(), "backbeacon-2026-12-06.png");

    // Cancel, write errors and no card each end quietly, without a file or a second dialog.
    requests.clear();
    answer.reset();
    // Cancelled, or no path; a click while the dialog is open does not stack another.
    during = [this] {
        if (requests.size() == 1) {
            click();
        }
    };
    click();
    during = nullptr;
    answer = QString();
    click();
    EXPECT_EQ(requests.size(), 2u);
    writeAll(folder.filePath("plain"), "not a folder");
    answer = folder.filePath("plain/card.png");
    click();
    EXPECT_EQ(entries(folder.path()), (QStringList{"card.png", "plain"}));
    bytes.reset(); // no card, no dialog
    click();
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_EQ(rendered.size(), 2u + 4u) << "two from the first clicks";
}
