#include "stats/StatsFile.h"

#include "Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

// The real calls, one of which can be made to fail.
class FaultyPosix final : public Posix {
public:
    // Call number `n` from now on (0-based; unlink and mkdir are not counted)
    // fails with EIO.
    void failCall(int n) { failCalls({n}); }
    // Several calls fail, each as failCall() describes.
    void failCalls(std::vector<int> n) {
        m_failAt = std::move(n);
        calls = 0;
        log.clear();
    }
    int calls = 0;
    std::string log; // one letter per call: o(pen), r(ead), w(rite), f(sync), c(lose), m(ove)
    std::size_t maxWrite = 0; // >0: at most this many bytes per write
    bool interrupt = false;   // every other read and write fails with EINTR
    bool stuck = false;       // writes make no progress

    int open(const char* path, int flags, mode_t mode) override {
        return fails('o') ? -1 : Posix::open(path, flags, mode);
    }
    ssize_t read(int fd, void* buffer, size_t size) override {
        return fails('r', interrupt) ? -1 : Posix::read(fd, buffer, size);
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        if (fails('w', interrupt)) {
            return -1;
        }
        return stuck ? 0 : Posix::write(fd, data, maxWrite > 0 ? std::min(size, maxWrite) : size);
    }
    int fsync(int fd) override { return fails('f') ? -1 : Posix::fsync(fd); }
    int close(int fd) override {
        const int result = Posix::close(fd); // like Linux: gone even when close fails
        return fails('c') ? -1 : result;
    }
    int rename(const char* from, const char* to) override {
        return fails('m') ? -1 : Posix::rename(from, to);
    }

private:
    bool fails(char kind, bool interruptible = false) {
        log += kind;
        const int call = calls++;
        const bool failing = std::ranges::find(m_failAt, call) != m_failAt.end();
        errno = failing ? EIO : EINTR;
        return failing || (interruptible && call % 2 == 0);
    }
    std::vector<int> m_failAt;
};

using Outcome = StatsStorage::Loaded::Outcome;

class StatsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FaultyPosix posix;
    StatsFile file{dir.path(), posix};
    const QString path = file.filePath();
    const std::string oldBytes = "[{\"old\":true}]";
    const std::string newBytes = std::string(40'000, ' ') + "[]"; // several writes' worth
};

} // namespace

TEST_F(StatsFileTest, ReplaceMakesTheFolderAndLoadGivesTheBytesBack) {
    StatsFile inner(dir.filePath("Backbeacon"), posix); // a folder removed while running
    EXPECT_EQ(inner.load().outcome, Outcome::missing);
    ASSERT_TRUE(inner.replace(newBytes, false));
    const auto loaded = inner.load();
    EXPECT_EQ(loaded.outcome, Outcome::read);
    EXPECT_EQ(loaded.bytes, newBytes);
    EXPECT_EQ(entries(inner.folder()), QStringList{"stats.json"});
    EXPECT_EQ(modeOf(inner.filePath()), 0600u);
}

TEST_F(StatsFileTest, ShortAndInterruptedWritesGoOnButWritesWithoutProgressGiveUp) {
    posix.maxWrite = 1000;
    posix.interrupt = true;
    ASSERT_TRUE(file.replace(newBytes, false));
    EXPECT_GE(posix.calls, 80);
    EXPECT_EQ(readAll(path), newBytes);
    EXPECT_EQ(modeOf(path), 0600u) << "statistics are nobody else's business";
    EXPECT_EQ(file.load().bytes, newBytes) << "reads are retried after EINTR too";

    posix.stuck = true;
    EXPECT_FALSE(file.replace(oldBytes, false));
    EXPECT_EQ(readAll(path), newBytes);
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
}

TEST_F(StatsFileTest, FailureAtAnyStepLosesNothingAndLeavesNoTemporary) {
    posix.maxWrite = 4096; // so a failure can strike after part of the data is out
    for (const bool keepAside : {false, true}) {
        writeAll(path, oldBytes);
        posix.failCall(-1);
        ASSERT_TRUE(file.replace(newBytes, keepAside));
        // Written in full, flushed and closed before the rename; the folder synced after it.
        EXPECT_EQ(posix.log, "o" + std::string(10, 'w') + (keepAside ? "fcmm" : "fcm") + "ofc");
        const int rename = posix.calls - 4;
        for (int step = 0;; ++step) {
            SCOPED_TRACE(::testing::Message() << "keepAside " << keepAside << " step " << step);
            QFile::remove(file.unreadablePath());
            writeAll(path, oldBytes);
            posix.failCall(step);
            const bool saved = file.replace(newBytes, keepAside);
            if (posix.calls <= step) {
                EXPECT_TRUE(saved);
                EXPECT_GT(step, 15) << "too few steps: the failures never struck";
                break;
            }
            EXPECT_EQ(saved, step > rename) << "only a failure after the rename may succeed";
            // The new file is in place, or the old one whole where it was, moved
            // aside or not; a file that was replaced is kept in the copy when asked.
            const std::string now = readAll(path);
            EXPECT_EQ(now, saved ? newBytes : oldBytes);
            if (keepAside && saved) {
                EXPECT_EQ(readAll(file.unreadablePath()), oldBytes);
            }
            EXPECT_EQ(file.leftoverTemporaries(), QStringList());
            posix.failCall(-1);
            EXPECT_TRUE(file.replace(newBytes, keepAside)) << "the next save works";
            EXPECT_EQ(readAll(path), newBytes);
            if (keepAside && !saved) {
                EXPECT_EQ(readAll(file.unreadablePath()), oldBytes);
            }
        }
    }
    // Nothing is moved aside before the new data is written.
    QFile::remove(file.unreadablePath());
    posix.failCall(1); // the first write
    EXPECT_FALSE(file.replace(newBytes, true));
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
}

// The new file's rename fails and so does putting the old one back: its bytes
// are still in the aside copy, and the next save works.
TEST_F(StatsFileTest, AFailedPutBackLeavesTheOldBytesInTheCopy) {
    writeAll(path, oldBytes);
    posix.failCall(-1);
    ASSERT_TRUE(file.replace(newBytes, true));
    const int commitRename = static_cast<int>(posix.log.find("mm")) + 1;
    writeAll(path, oldBytes);
    QFile::remove(file.unreadablePath());
    posix.failCalls({commitRename, commitRename + 1});
    EXPECT_FALSE(file.replace(newBytes, true));
    EXPECT_EQ(posix.log.substr(static_cast<std::size_t>(commitRename) - 1), "mmm")
        << "aside, the failed commit, the failed put-back";
    EXPECT_EQ(readAll(path), "<missing>");
    EXPECT_EQ(readAll(file.unreadablePath()), oldBytes);
    EXPECT_EQ(file.leftoverTemporaries(), QStringList());
    posix.failCall(-1);
    EXPECT_TRUE(file.replace(newBytes, false));
    EXPECT_EQ(readAll(path), newBytes);
}

TEST_F(StatsFileTest, UnreadableFileIsKeptAsideWhenReplaced) {
    writeAll(path, "garbage 1");
    ASSERT_TRUE(file.replace(newBytes, true));
    writeAll(path, "garbage 2");
    ASSERT_TRUE(file.replace(oldBytes, true));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage 2") << "the newer copy wins";
    EXPECT_EQ(readAll(path), oldBytes);
    ASSERT_TRUE(file.replace(newBytes, false));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage 2") << "an ordinary save leaves it";
    EXPECT_EQ(entries(dir.path()), (QStringList{"stats.json", "stats.json.unreadable"}));
}

TEST_F(StatsFileTest, FilesThatCannotBeReadWholeLoadAsUnreadable) {
    writeAll(path, oldBytes);
    for (const int step : {0, 1}) { // the open, the first read
        posix.failCall(step);
        const auto loaded = file.load();
        EXPECT_EQ(loaded.outcome, Outcome::unreadable);
        EXPECT_TRUE(loaded.bytes.empty());
    }
    writeAll(path, std::string(StatsFile::kMaxFileSize + 1, ' '));
    EXPECT_EQ(file.load().outcome, Outcome::unreadable);
    ASSERT_TRUE(QFile::remove(path) && QDir(dir.path()).mkdir("stats.json"));
    EXPECT_EQ(file.load().outcome, Outcome::unreadable);
}

TEST_F(StatsFileTest, LoadRemovesLeftoverTemporariesOnly) {
    writeAll(path, oldBytes);
    writeAll(dir.filePath("stats.json.0123456789abcdef.tmp"), "partial");
    writeAll(dir.filePath("stats.json.fedcba9876543210.tmp"), "");
    writeAll(dir.filePath("stats.json.notes.tmp"), "someone else's");
    writeAll(dir.filePath("other.tmp"), "someone else's");
    EXPECT_EQ(file.leftoverTemporaries().size(), 2);
    EXPECT_EQ(file.load().bytes, oldBytes);
    EXPECT_EQ(entries(dir.path()),
              (QStringList{"other.tmp", "stats.json", "stats.json.notes.tmp"}));
}

TEST(StatsFileFolder, DataFolderFirstThenAPrivateRuntimeFolderThenTheCache) {
    const char* const names[] = {"XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};
    std::vector<std::optional<QByteArray>> saved;
    for (const char* name : names) {
        saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                        : std::nullopt);
    }
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
    EXPECT_EQ(StatsFile::defaultFolder(), dir.filePath("data/Backbeacon"));
    EXPECT_TRUE(QFileInfo(dir.filePath("data/Backbeacon")).isDir());

    // A plain file where the data folder should go: no mode bits, so it holds for root too.
    writeAll(dir.filePath("blocker"), "");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("blocker/data")));
    EXPECT_EQ(StatsFile::defaultFolder(), dir.filePath("Backbeacon"));
    EXPECT_EQ(modeOf(dir.filePath("Backbeacon")), 0700u);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(StatsFile::defaultFolder(), dir.filePath("cache/Backbeacon")) << "never in /tmp";

    // No folder at all: nothing is stored anywhere, least of all in "/".
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("blocker/cache")));
    ASSERT_EQ(StatsFile::defaultFolder(), QString());
    StatsFile nowhere(StatsFile::defaultFolder());
    EXPECT_EQ(nowhere.load().outcome, StatsStorage::Loaded::Outcome::missing);
    EXPECT_FALSE(nowhere.replace("[]", false));
    EXPECT_FALSE(QFileInfo::exists("/stats.json"));

    for (std::size_t i = 0; i < saved.size(); ++i) {
        saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
    }
}
