// Saves onto a real full disk and a real read-only folder (a small tmpfs in a
// mount namespace of this process's own; skipped without root).
#include "Files.h"
#include "ManualClock.h"
#include "ScratchMount.h"
#include "model/RecordJson.h"
#include "stats/StatisticsStore.h"
#include "stats/StatsFile.h"

#include <gtest/gtest.h>

#include <memory>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

class MountedFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        disk = std::make_unique<ScratchMount>(dir.path(), 16);
        if (!disk->mounted()) {
            GTEST_SKIP() << disk->reason();
        }
    }

    QTemporaryDir dir;
    std::unique_ptr<ScratchMount> disk;
    StatsFile file{dir.path()};
    ManualClock clock{Instant::fromReferenceSeconds(800'000'000.0)};
    LocalCalendar calendar{QTimeZone::utc()};
};

} // namespace

TEST_F(MountedFolderTest, FullDiskKeepsTheOldFileWholeAndTheStoreSavesOnceThereIsRoom) {
    ASSERT_TRUE(file.replace("{not statistics", false));
    StatisticsStore store(file, clock, calendar);
    ASSERT_TRUE(disk->fill(0));
    EXPECT_FALSE(file.replace("[]", false));
    store.recordSlouch();
    EXPECT_EQ(store.today().slouches, 1);
    EXPECT_EQ(readAll(file.filePath()), "{not statistics");
    EXPECT_EQ(entries(dir.path()), (QStringList{"filler", "stats.json"})) << "no temporary left";

    disk->release();
    store.recordSlouch();
    EXPECT_EQ(readAll(file.unreadablePath()), "{not statistics");
    const auto saved = json::decodeDailyStatsArray(readAll(file.filePath()));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->back().slouches, 2);
}

TEST_F(MountedFolderTest, ReadOnlyFolderLoadsAndFailsToSaveCleanly) {
    const DailyStats days[] = {{clock.now() - 86'400, 60, 0, 1, 1}, {clock.now(), 60, 0, 2, 2}};
    const std::string old = *json::encode(std::span<const DailyStats>(days));
    ASSERT_TRUE(file.replace(old, false));
    writeAll(dir.filePath("stats.json.00000000000000aa.tmp"), "");
    ASSERT_TRUE(disk->makeReadOnly());

    StatisticsStore store(file, clock, calendar);
    EXPECT_EQ(store.today(), days[1]);
    EXPECT_EQ(store.history(), std::vector{days[0]});
    store.recordFix();
    clock.advance(10);
    store.addMonitored(1);
    EXPECT_EQ(store.today().fixes, 3);
    EXPECT_EQ(readAll(file.filePath()), old);
    EXPECT_EQ(entries(dir.path()), (QStringList{"stats.json", "stats.json.00000000000000aa.tmp"}));
}
