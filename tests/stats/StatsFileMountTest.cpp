// Saves onto a real full disk and a real read-only folder (a small tmpfs in a
// mount namespace of this process's own; skipped without root).
#include "ManualClock.h"
#include "ScratchMount.h"
#include "model/RecordJson.h"
#include "stats/StatisticsStore.h"
#include "stats/StatsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

using namespace backbeacon;
using backbeacon::testing::ManualClock;
using backbeacon::testing::ScratchMount;

namespace {

std::string readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return file.readAll().toStdString();
}

std::vector<DailyStats> days(int count, double firstDay) {
    std::vector<DailyStats> list;
    for (int i = 0; i < count; ++i) {
        list.push_back(DailyStats{Instant::fromReferenceSeconds(firstDay + i * 86'400.0),
                                  3600.0 + i, 60.0, i, i});
    }
    return list;
}

std::string encoded(const std::vector<DailyStats>& list) {
    return *json::encode(std::span<const DailyStats>(list));
}

class MountedFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path();
        disk = std::make_unique<ScratchMount>(folder, 16);
        if (!disk->mounted()) {
            GTEST_SKIP() << disk->reason();
        }
    }

    void fillDisk() { ASSERT_TRUE(disk->fill(0)); }
    void freeDisk() { disk->release(); }
    void makeReadOnly() { ASSERT_TRUE(disk->makeReadOnly()) << std::strerror(errno); }

    QStringList entries() const {
        return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;
    QString folder;
    std::unique_ptr<ScratchMount> disk;
    // The files below are dated on these days; the clock stands on the last one.
    static constexpr double kFirstDay = 800'000'000.0;
};

} // namespace

TEST_F(MountedFolderTest, FullDiskKeepsTheOldFileWhole) {
    StatsFile file(folder);
    const std::string old = encoded(days(3, kFirstDay));
    ASSERT_TRUE(file.replace(old, false));
    fillDisk();

    EXPECT_FALSE(file.replace(encoded(days(91, kFirstDay)), false)) << "91 days do not fit";
    EXPECT_EQ(readAll(file.filePath()), old);
    EXPECT_EQ(entries(), (QStringList{"filler", "stats.json"})) << "no temporary left";

    freeDisk();
    EXPECT_TRUE(file.replace(encoded(days(91, kFirstDay)), false));
    EXPECT_EQ(json::decodeDailyStatsArray(readAll(file.filePath()))->size(), 91u);
}

TEST_F(MountedFolderTest, StoreOnAFullDiskKeepsCountingAndSavesOnceThereIsRoom) {
    StatsFile file(folder);
    const auto loaded = days(3, kFirstDay);
    const std::string old = encoded(loaded);
    ASSERT_TRUE(file.replace(old, false));
    ManualClock clock(loaded.back().date + 3600);
    LocalCalendar calendar(QTimeZone::utc());
    StatisticsStore store(file, clock, calendar);
    ASSERT_EQ(store.today(), loaded.back());

    fillDisk();
    store.recordSlouch();
    EXPECT_EQ(store.today().slouches, loaded.back().slouches + 1);
    EXPECT_EQ(readAll(file.filePath()), old);
    EXPECT_EQ(entries(), (QStringList{"filler", "stats.json"}));

    freeDisk();
    clock.advance(1);
    store.recordSlouch();
    const auto saved = json::decodeDailyStatsArray(readAll(file.filePath()));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->back().slouches, loaded.back().slouches + 2);
}

TEST_F(MountedFolderTest, UnreadableFileSurvivesAFullDisk) {
    StatsFile file(folder);
    ASSERT_TRUE(file.replace("{not statistics", false));
    ManualClock clock(Instant::fromReferenceSeconds(kFirstDay));
    LocalCalendar calendar(QTimeZone::utc());
    StatisticsStore store(file, clock, calendar);

    fillDisk();
    store.recordSlouch();
    EXPECT_EQ(readAll(file.filePath()), "{not statistics");
    EXPECT_EQ(entries(), (QStringList{"filler", "stats.json"}));

    freeDisk();
    store.recordSlouch();
    EXPECT_EQ(readAll(file.unreadablePath()), "{not statistics");
    const auto saved = json::decodeDailyStatsArray(readAll(file.filePath()));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->back().slouches, 2);
}

TEST_F(MountedFolderTest, ReadOnlyFolderLoadsAndFailsToSaveCleanly) {
    StatsFile file(folder);
    const auto loaded = days(3, kFirstDay);
    const std::string old = encoded(loaded);
    ASSERT_TRUE(file.replace(old, false));
    QFile leftover(folder + "/stats.json.00000000000000aa.tmp");
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    makeReadOnly();

    ManualClock clock(loaded.back().date + 3600);
    LocalCalendar calendar(QTimeZone::utc());
    StatisticsStore store(file, clock, calendar);
    EXPECT_EQ(store.today(), loaded.back());
    EXPECT_EQ(store.history().size(), 2u);

    store.recordFix();
    clock.advance(10);
    store.addMonitored(1);
    EXPECT_EQ(store.today().fixes, loaded.back().fixes + 1);
    EXPECT_EQ(readAll(file.filePath()), old);
    EXPECT_EQ(entries(), (QStringList{"stats.json", "stats.json.00000000000000aa.tmp"}));
}
