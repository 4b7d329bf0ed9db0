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

// Answers the dialog with a scripted path and remembers what it was asked.
class ScriptedChooser final : public SaveLocationChooser {
public:
    std::optional<QString> chooseSaveLocation(const SaveRequest& request) override {
        requests.push_back(request);
        if (during) {
            during();
        }
        return answer;
    }
    std::optional<QString> answer;
    std::function<void()> during;
    std::vector<SaveRequest> requests;
};

class InsightCardSaverTest : public ::testing::Test {
protected:
    // Opens the store on a file holding `past` days and builds the saver.
    void open(const char* zone, Instant now, const std::vector<DailyStats>& past = {}) {
        time.jumpClock(now);
        calendar.setTimeZone(QTimeZone(zone));
        storage.loaded = {StatsStorage::Loaded::Outcome::read,
                          *json::encode(std::span<const DailyStats>(past))};
        store = std::make_unique<StatisticsStore>(storage, time.clock(), calendar);
        saver = std::make_unique<InsightCardSaver>(*store, calendar, chooser, time,
                                                   [this](const std::vector<DailyStats>& days) {
                                                       rendered.push_back(days);
                                                       return bytes;
                                                   });
    }

    VirtualTime time;
    LocalCalendar calendar;
    FakeStatsStorage storage;
    std::unique_ptr<StatisticsStore> store;
    ScriptedChooser chooser;
    std::unique_ptr<InsightCardSaver> saver;
    std::optional<QByteArray> bytes = QByteArray("card of the moment");
    std::vector<std::vector<DailyStats>> rendered;
    QTemporaryDir folder;
};

} // namespace

TEST_F(InsightCardSaverTest, RendersAtOnceAsksAfterThePauseAndWritesTheBytes) {
    std::vector<DailyStats> past;
    for (int i = 9; i >= 1; --i) {
        past.push_back({at("2026-12-06T00:00:00+01:00") - 86'400.0 * i, 100.0 * i, 0, i, 0});
    }
    open("Europe/Berlin", at("2026-12-06T15:00:00+01:00"), past);
    const QString path = folder.filePath("card.png");
    writeAll(path, "an older card");
    chooser.answer = path;

    saver->saveInsightCard();
    ASSERT_EQ(rendered.size(), 1u);
    EXPECT_EQ(rendered[0], store->recentDays(7));
    EXPECT_EQ(rendered[0].size(), 7u);
    bytes = QByteArray("a later card");
    store->recordSlouch(); // after the click: not on the saved card

    time.advance(0.119);
    EXPECT_TRUE(chooser.requests.empty()) << "the panel gets 120 ms to close first";
    time.advance(0.002);
    ASSERT_EQ(chooser.requests.size(), 1u);
    EXPECT_EQ(chooser.requests[0],
              (SaveRequest{"Save Insight Card", "backbeacon-2026-12-06.png", "image/png", true}));
    EXPECT_EQ(readAll(path), "card of the moment");
    EXPECT_EQ(rendered.size(), 1u);
    EXPECT_EQ(entries(folder.path()), QStringList{"card.png"}) << "no temporary file left";

    time.advance(10);
    EXPECT_EQ(chooser.requests.size(), 1u) << "one dialog per request";
}

// The record of a day is dated at its local midnight, which east of UTC is
// still the previous day in UTC: the name must carry the local day.
TEST_F(InsightCardSaverTest, ProposedNameCarriesTheLocalDayOfTodaysRecord) {
    struct Case {
        const char* zone;
        const char* now;
        const char* name;
    };
    for (const Case c :
         {Case{"Pacific/Auckland", "2026-12-06T08:00:00+13:00", "backbeacon-2026-12-06.png"},
          Case{"Asia/Tokyo", "2026-12-06T00:30:00+09:00", "backbeacon-2026-12-06.png"},
          Case{"UTC", "2026-12-06T23:59:00Z", "backbeacon-2026-12-06.png"},
          Case{"America/Los_Angeles", "2026-12-05T23:30:00-08:00", "backbeacon-2026-12-05.png"}}) {
        open(c.zone, at(c.now));
        EXPECT_EQ(saver->proposedFileName(), c.name) << c.zone;
    }
}

TEST_F(InsightCardSaverTest, CancelFailuresAndNoCardEndQuietly) {
    open("Europe/Berlin", at("2026-12-06T15:00:00+01:00"));

    // Cancelled, or a dialog that returns no path.
    for (const std::optional<QString>& answer :
         {std::optional<QString>(), std::optional(QString())}) {
        chooser.answer = answer;
        saver->saveInsightCard();
        time.advance(1);
    }
    EXPECT_EQ(chooser.requests.size(), 2u);
    EXPECT_TRUE(entries(folder.path()).isEmpty());

    // A write that fails (the "folder" is a file): nothing written, nothing thrown.
    writeAll(folder.filePath("plain"), "not a folder");
    chooser.answer = folder.filePath("plain/card.png");
    saver->saveInsightCard();
    time.advance(1);
    EXPECT_EQ(entries(folder.path()), QStringList{"plain"});
    EXPECT_EQ(readAll(folder.filePath("plain")), "not a folder");

    // No card, no dialog.
    bytes.reset();
    saver->saveInsightCard();
    time.advance(1);
    EXPECT_EQ(chooser.requests.size(), 3u);
    EXPECT_EQ(rendered.size(), 4u);
}

TEST_F(InsightCardSaverTest, OneDialogAtATime) {
    open("Europe/Berlin", at("2026-12-06T15:00:00+01:00"));
    const QString path = folder.filePath("card.png");
    chooser.answer = path;

    // A second click while the first waits: the newer card, one dialog.
    saver->saveInsightCard();
    time.advance(0.05);
    bytes = QByteArray("second");
    saver->saveInsightCard();
    time.advance(0.1);
    EXPECT_TRUE(chooser.requests.empty()) << "the pause starts again";
    time.advance(0.03);
    EXPECT_EQ(chooser.requests.size(), 1u);
    EXPECT_EQ(readAll(path), "second");

    // A click while the dialog is open is ignored rather than stacking a dialog.
    chooser.during = [&] {
        saver->saveInsightCard();
        time.advance(1);
    };
    saver->saveInsightCard();
    time.advance(1);
    EXPECT_EQ(chooser.requests.size(), 2u);
    EXPECT_EQ(rendered.size(), 3u);
}
