// Saves onto a real full disk and a real read-only folder. Needs root to mount a
// small tmpfs; it does so in a mount namespace of its own, so nothing outside
// this process sees the mounts.
#include "ManualClock.h"
#include "model/RecordJson.h"
#include "stats/StatisticsStore.h"
#include "stats/StatsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

using namespace backbeacon;
using backbeacon::testing::ManualClock;

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
    static void SetUpTestSuite() {
        if (::geteuid() != 0) {
            skipReason() = "mounting a tmpfs needs root (CI runs as root)";
        } else if (::unshare(CLONE_NEWNS) != 0) {
            skipReason() = std::string("no mount namespace: unshare: ") + std::strerror(errno);
        } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            skipReason() = std::string("cannot make / private: ") + std::strerror(errno);
        }
    }
    static std::string& skipReason() {
        static std::string reason;
        return reason;
    }

    void SetUp() override {
        if (!skipReason().empty()) {
            GTEST_SKIP() << skipReason();
        }
        ASSERT_TRUE(dir.isValid());
        folder = dir.path();
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=16k,mode=0755") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) {
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        }
    }

    // Takes up every free block of the tmpfs.
    void fillDisk() {
        const QByteArray path = QFile::encodeName(folder + "/filler");
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(512, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        ::close(fd);
    }
    void freeDisk() { ASSERT_TRUE(QFile::remove(folder + "/filler")); }

    void makeReadOnly() {
        ASSERT_EQ(::mount(nullptr, QFile::encodeName(folder).constData(), nullptr,
                          MS_REMOUNT | MS_RDONLY, nullptr),
                  0)
            << std::strerror(errno);
    }

    QStringList entries() const {
        return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;
    QString folder;
    bool mounted = false;
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
