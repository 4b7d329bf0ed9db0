#include "stats/InsightCardSaver.h"

#include "FakeStatsStorage.h"
#include "Files.h"
#include "VirtualTime.h"
#include "model/RecordJson.h"
#include "stats/StatisticsStore.h"

#include <gtest/gtest.h>

#include <memory>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

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

    // Opens the store on a file holding `past` days and builds the saver.
    void open(const char* zone, const char* now, const std::vector<DailyStats>& past = {}) {
        time.jumpClock(at(now));
        calendar.setTimeZone(QTimeZone(zone));
        storage.loaded = {StatsStorage::Loaded::Outcome::read,
                          *json::encode(std::span<const DailyStats>(past))};
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

// The card is made at the click, of the last 7 days; the dialog opens 120 ms
// after the last click, and what was made then replaces the chosen file.
TEST_F(InsightCardSaverTest, RendersAtTheClickAsksAfterThePauseAndWritesThoseBytes) {
    std::vector<DailyStats> past;
    for (int i = 9; i >= 1; --i) {
        past.push_back({at("2026-12-06T00:00:00+01:00") - 86'400.0 * i, 100.0 * i, 0, i, 0});
    }
    open("Europe/Berlin", "2026-12-06T15:00:00+01:00", past);
    answer = folder.filePath("card.png");
    writeAll(*answer, "an older card");

    saver->saveInsightCard();
    time.advance(0.05);
    bytes = QByteArray("card of the moment");
    saver->saveInsightCard(); // a second click while the first waits replaces it
    ASSERT_EQ(rendered.size(), 2u);
    EXPECT_EQ(rendered[1], store->recentDays(7));
    EXPECT_EQ(rendered[1].size(), 7u);
    bytes = QByteArray("a later card");
    store->recordSlouch(); // after the click: not on the saved card

    time.advance(0.119);
    EXPECT_TRUE(requests.empty()) << "the panel gets 120 ms to close first";
    time.advance(0.002);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0],
              (SaveRequest{"Save Insight Card", "backbeacon-2026-12-06.png", "image/png", true}));
    EXPECT_EQ(readAll(*answer), "card of the moment");
    EXPECT_EQ(entries(folder.path()), QStringList{"card.png"}) << "no temporary file left";
    time.advance(10);
    EXPECT_EQ(requests.size(), 1u) << "one dialog per request";
    EXPECT_EQ(rendered.size(), 2u);
}

// The record of a day is dated at its local midnight, which east of UTC is
// still the previous day in UTC: the name must carry the local day.
TEST_F(InsightCardSaverTest, ProposedNameCarriesTheLocalDayOfTodaysRecord) {
    const std::pair<const char*, const char*> cases[] = {
        {"Pacific/Auckland", "2026-12-06T08:00:00+13:00"},
        {"Asia/Tokyo", "2026-12-06T00:30:00+09:00"},
        {"UTC", "2026-12-06T23:59:00Z"},
        {"America/Los_Angeles", "2026-12-06T23:30:00-08:00"}};
    for (const auto& [zone, now] : cases) {
        open(zone, now);
        EXPECT_EQ(saver->proposedFileName(), "backbeacon-2026-12-06.png") << zone;
    }
}

// Nothing is reported to the user: each of these ends without a file and
// without a second dialog.
TEST_F(InsightCardSaverTest, CancelWriteErrorsAndNoCardEndQuietly) {
    open("Europe/Berlin", "2026-12-06T15:00:00+01:00");
    // Cancelled, or a dialog that returns no path; a click while it is open is
    // ignored rather than stacking a dialog.
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
    EXPECT_TRUE(entries(folder.path()).isEmpty());

    // A write that fails (the "folder" is a file): nothing written, nothing thrown.
    writeAll(folder.filePath("plain"), "not a folder");
    answer = folder.filePath("plain/card.png");
    click();
    EXPECT_EQ(entries(folder.path()), QStringList{"plain"});
    EXPECT_EQ(readAll(folder.filePath("plain")), "not a folder");

    bytes.reset(); // no card, no dialog
    click();
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_EQ(rendered.size(), 4u);
}
