#include "stats/StatsFile.h"

#include "Files.h"
#include "ManualClock.h"
#include "ScratchMount.h"
#include "model/RecordJson.h"
#include "stats/StatisticsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>

using namespace backbeacon;
using namespace backbeacon::testing;
using Outcome = StatsStorage::Loaded::Outcome;

namespace {

// The real calls, logged one letter each: o(pen), r(ead), w(rite), f(sync), c(lose), m(ove).
// Those numbered in fail() (0-based from then on) fail with EIO; with `interrupt` every other
// read and write fails with EINTR; a write moves at most maxWrite bytes (0: stuck).
struct FaultyPosix final : Posix {
    std::vector<int> failAt;
    int calls = 0;
    std::string log;
    std::size_t maxWrite = SIZE_MAX;
    bool interrupt = false;

    void fail(std::vector<int> at = {}) { failAt = std::move(at), calls = 0, log.clear(); }
    bool fails(char kind, bool interruptible = false) {
        log += kind;
        const int call = calls++;
        const bool failing = std::ranges::find(failAt, call) != failAt.end();
        errno = failing ? EIO : EINTR;
        return failing || (interruptible && call % 2 == 0);
    }
    int open(const char* path, int flags, mode_t mode) override {
        return fails('o') ? -1 : Posix::open(path, flags, mode);
    }
    ssize_t read(int fd, void* buffer, size_t size) override {
        return fails('r', interrupt) ? -1 : Posix::read(fd, buffer, size);
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        return fails('w', interrupt) ? -1 : Posix::write(fd, data, std::min(size, maxWrite));
    }
    int fsync(int fd) override { return fails('f') ? -1 : Posix::fsync(fd); }
    int close(int fd) override { // like Linux: gone even when close fails
        const int result = Posix::close(fd);
        return fails('c') ? -1 : result;
    }
    int rename(const char* from, const char* to) override {
        return fails('m') ? -1 : Posix::rename(from, to);
    }
};

class StatsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FaultyPosix posix;
    StatsFile file{dir.path(), posix};
    const QString path = file.filePath();
    const std::string oldBytes = "[{\"old\":true}]";
    const std::string newBytes = std::string(40'000, ' ') + "[]"; // several writes' worth
};

// A real full disk and a real read-only folder: a small tmpfs in a mount
// namespace of this process's own (skipped without root).
class MountedFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!disk.mounted()) {
            GTEST_SKIP() << disk.reason();
        }
    }
    QTemporaryDir dir;
    ScratchMount disk{dir.path(), 16};
    StatsFile file{dir.path()};
    ManualClock clock{Instant::fromReferenceSeconds(800'000'000.0)};
    LocalCalendar calendar{QTimeZone::utc()};
};

} // namespace

TEST_F(StatsFileTest, WritesPrivatelyInFullDespiteShortAndInterruptedCallsButGivesUpWhenStuck) {
    StatsFile inner(dir.filePath("Backbeacon"), posix); // a folder removed while running
    EXPECT_EQ(inner.load().outcome, Outcome::missing);
    posix.maxWrite = 1000;
    posix.interrupt = true;
    ASSERT_TRUE(inner.replace(newBytes, true)) << "nothing to keep aside is no failure";
    EXPECT_GE(posix.calls, 80);
    EXPECT_EQ(inner.load().bytes, newBytes) << "reads are retried after EINTR too";
    EXPECT_EQ(entries(inner.folder()), QStringList{"stats.json"});
    EXPECT_EQ(modeOf(inner.filePath()), 0600u) << "statistics are nobody else's business";

    posix.maxWrite = 0; // stuck
    EXPECT_FALSE(inner.replace(oldBytes, false));
    EXPECT_EQ(readAll(inner.filePath()), newBytes);
    EXPECT_EQ(entries(inner.folder()), QStringList{"stats.json"});
}

TEST_F(StatsFileTest, FailureAtAnyStepLosesNothingAndLeavesNoTemporary) {
    posix.maxWrite = 4096; // so a failure can strike after part of the data is out
    for (const bool keepAside : {false, true}) {
        writeAll(path, oldBytes);
        posix.fail();
        ASSERT_TRUE(file.replace(newBytes, keepAside));
        // Written in full, flushed and closed before the rename; the folder synced after it.
        EXPECT_EQ(posix.log, "o" + std::string(10, 'w') + (keepAside ? "fcmm" : "fcm") + "ofc");
        const int rename = posix.calls - 4;
        for (int step = 0;; ++step) {
            SCOPED_TRACE(::testing::Message() << "keepAside " << keepAside << " step " << step);
            QFile::remove(file.unreadablePath());
            writeAll(path, oldBytes);
            posix.fail({step});
            const bool saved = file.replace(newBytes, keepAside);
            if (posix.calls <= step) {
                EXPECT_GT(step, 15) << "too few steps: the failures never struck";
                break;
            }
            EXPECT_EQ(saved, step > rename) << "only a failure after the rename may succeed";
            // The new file in place, or the old one whole; a replaced one kept aside when asked.
            EXPECT_EQ(readAll(path), saved ? newBytes : oldBytes);
            EXPECT_EQ(file.leftoverTemporaries(), QStringList());
            if (keepAside && saved) {
                EXPECT_EQ(readAll(file.unreadablePath()), oldBytes);
            }
            posix.fail();
            EXPECT_TRUE(file.replace(newBytes, keepAside)) << "the next save works";
            if (keepAside && !saved) {
                EXPECT_EQ(readAll(file.unreadablePath()), oldBytes);
            }
        }
    }
    QFile::remove(file.unreadablePath());
    posix.fail({1}); // the first write: nothing is moved aside before the data is out
    EXPECT_FALSE(file.replace(newBytes, true));
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
}

// The commit fails and so does putting the old file back: its bytes are still
// in the aside copy, and the next save works.
TEST_F(StatsFileTest, AFailedPutBackLeavesTheOldBytesInTheCopyTheNewestCopyWinning) {
    const int commit = 5; // o w f c m [m]: the second rename
    writeAll(path, oldBytes);
    posix.fail({commit, commit + 1});
    EXPECT_FALSE(file.replace(newBytes, true));
    EXPECT_EQ(posix.log.substr(static_cast<std::size_t>(commit) - 1), "mmm");
    EXPECT_EQ(readAll(path), "<missing>");
    EXPECT_EQ(readAll(file.unreadablePath()), oldBytes);
    EXPECT_EQ(file.leftoverTemporaries(), QStringList());
    posix.fail();
    EXPECT_TRUE(file.replace(newBytes, false));
    EXPECT_EQ(readAll(path), newBytes);

    // Only saves that ask keep the current file aside, the newest copy winning.
    writeAll(path, "garbage 1");
    ASSERT_TRUE(file.replace(newBytes, true));
    writeAll(path, "garbage 2");
    ASSERT_TRUE(file.replace(oldBytes, true) && file.replace(newBytes, false));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage 2");
}

TEST_F(StatsFileTest, LoadFindsUnreadableFilesAndRemovesOnlyItsOwnLeftoverTemporaries) {
    writeAll(path, oldBytes);
    for (const int step : {0, 1}) { // the open, the first read
        posix.fail({step});
        const auto loaded = file.load();
        EXPECT_EQ(loaded.outcome, Outcome::unreadable);
        EXPECT_TRUE(loaded.bytes.empty());
    }
    posix.fail();
    for (const char* name : {"stats.json.0123456789abcdef.tmp", "stats.json.fedcba9876543210.tmp",
                             "stats.json.notes.tmp", "other.tmp"}) {
        writeAll(dir.filePath(name), "");
    }
    EXPECT_EQ(file.leftoverTemporaries().size(), 2);
    EXPECT_EQ(file.load().bytes, oldBytes);
    EXPECT_EQ(entries(dir.path()),
              (QStringList{"other.tmp", "stats.json", "stats.json.notes.tmp"}));

    writeAll(path, std::string(StatsFile::kMaxFileSize + 1, ' '));
    EXPECT_EQ(file.load().outcome, Outcome::unreadable);
    ASSERT_TRUE(QFile::remove(path) && QDir(dir.path()).mkdir("stats.json"));
    EXPECT_EQ(file.load().outcome, Outcome::unreadable);
}

TEST(StatsFileFolder, DataFolderFirstThenAPrivateRuntimeFolderThenTheCache) {
    QTemporaryDir dir;
    const auto set = [&](const char* name, const char* under) {
        qputenv(name, QFile::encodeName(dir.filePath(under)));
    };
    set("XDG_DATA_HOME", "data");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    set("XDG_CACHE_HOME", "cache");
    EXPECT_EQ(StatsFile::defaultFolder(), dir.filePath("data/Backbeacon"));
    // A plain file where the data folder should go: no mode bits, so it holds for root too.
    writeAll(dir.filePath("blocker"), "");
    set("XDG_DATA_HOME", "blocker/data");
    EXPECT_EQ(StatsFile::defaultFolder(), dir.filePath("Backbeacon"));
    EXPECT_EQ(modeOf(dir.filePath("Backbeacon")), 0700u);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(StatsFile::defaultFolder(), dir.filePath("cache/Backbeacon")) << "never in /tmp";
    // No folder at all: nothing is stored anywhere, least of all in "/".
    set("XDG_CACHE_HOME", "blocker/cache");
    ASSERT_EQ(StatsFile::defaultFolder(), QString());
    StatsFile nowhere(StatsFile::defaultFolder());
    EXPECT_EQ(nowhere.load().outcome, Outcome::missing);
    EXPECT_FALSE(nowhere.replace("[]", false) || QFileInfo::exists("/stats.json"));
}

TEST_F(MountedFolderTest, FullDiskKeepsTheOldFileWholeAndAReadOnlyFolderFailsCleanly) {
    ASSERT_TRUE(file.replace("{not statistics", false));
    StatisticsStore store(file, clock, calendar);
    ASSERT_TRUE(disk.fill(0));
    store.recordSlouch();
    EXPECT_EQ(readAll(file.filePath()), "{not statistics");
    EXPECT_EQ(entries(dir.path()), (QStringList{"filler", "stats.json"})) << "no temporary left";
    disk.release();
    store.recordSlouch();
    EXPECT_EQ(readAll(file.unreadablePath()), "{not statistics");
    const auto saved = json::decodeDailyStatsArray(readAll(file.filePath()));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->back().slouches, 2);

    // A read-only folder: the file loads, and saving fails cleanly.
    const DailyStats days[] = {{clock.now() - 86'400, 60, 0, 1, 1}, {clock.now(), 60, 0, 2, 2}};
    const std::string old = *json::encode(std::span<const DailyStats>(days));
    ASSERT_TRUE(file.replace(old, false));
    writeAll(dir.filePath("stats.json.00000000000000aa.tmp"), "");
    ASSERT_TRUE(disk.makeReadOnly());
    StatisticsStore reopened(file, clock, calendar);
    EXPECT_EQ(std::pair(reopened.today(), reopened.history()),
              std::pair(days[1], std::vector{days[0]}));
    reopened.recordFix();
    EXPECT_EQ(readAll(file.filePath()), old);
    EXPECT_EQ(entries(dir.path()), (QStringList{"stats.json", "stats.json.00000000000000aa.tmp",
                                                "stats.json.unreadable"}));
}
