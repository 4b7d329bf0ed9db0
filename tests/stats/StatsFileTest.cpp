#include "stats/StatsFile.h"

#include "Files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <sys/stat.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

// The real calls, with one of them made to fail on demand.
class FaultyPosix final : public Posix {
public:
    enum class Call { open, read, write, fsync, close, rename };

    // Call number `nth` (0-based) of `call` fails with `error`; a write failing
    // with error 0 returns 0, as a write that makes no progress.
    void failOn(Call call, int error, int nth = 0) {
        m_fail = call;
        m_errno = error;
        m_nth = nth;
        m_seen = 0;
    }
    std::size_t maxWrite = 0; // >0: at most this many bytes per write
    bool interrupt = false;   // every other write and read fails with EINTR
    int writes = 0;

    int open(const char* path, int flags, mode_t mode) override {
        return fails(Call::open) ? -1 : Posix::open(path, flags, mode);
    }
    ssize_t read(int fd, void* buffer, size_t size) override {
        return interrupted() || fails(Call::read) ? -1 : Posix::read(fd, buffer, size);
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        ++writes;
        if (interrupted() || fails(Call::write)) {
            return errno == 0 ? 0 : -1;
        }
        return Posix::write(fd, data, maxWrite > 0 ? std::min(size, maxWrite) : size);
    }
    int fsync(int fd) override { return fails(Call::fsync) ? -1 : Posix::fsync(fd); }
    int close(int fd) override {
        const int result = Posix::close(fd); // like Linux: gone even when close fails
        return fails(Call::close) ? -1 : result;
    }
    int rename(const char* from, const char* to) override {
        return fails(Call::rename) ? -1 : Posix::rename(from, to);
    }

private:
    bool fails(Call call) {
        if (m_fail != call || m_seen++ != m_nth) {
            return false;
        }
        errno = m_errno;
        return true;
    }
    bool interrupted() {
        if (!interrupt || m_tick++ % 2 != 0) {
            return false;
        }
        errno = EINTR;
        return true;
    }

    std::optional<Call> m_fail;
    int m_errno = 0;
    int m_nth = 0;
    int m_seen = 0;
    unsigned m_tick = 0;
};

using Call = FaultyPosix::Call;
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

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

} // namespace

TEST_F(StatsFileTest, ReplaceMakesTheFolderAndLoadGivesTheBytesBack) {
    StatsFile inner(dir.filePath("Backbeacon"), posix); // a folder removed while running
    EXPECT_EQ(inner.load().outcome, Outcome::missing);
    ASSERT_TRUE(inner.replace(newBytes, false));
    const auto loaded = inner.load();
    EXPECT_EQ(loaded.outcome, Outcome::read);
    EXPECT_EQ(loaded.bytes, newBytes);
    EXPECT_EQ(entries(inner.folder()), QStringList{"stats.json"});
    EXPECT_EQ(modeOf(inner.filePath()), 0600u) << "statistics are nobody else's business";
}

TEST_F(StatsFileTest, ShortWritesAndInterruptionsStillWriteEverything) {
    posix.maxWrite = 1000;
    posix.interrupt = true;
    ASSERT_TRUE(file.replace(newBytes, false));
    EXPECT_GE(posix.writes, 80);
    EXPECT_EQ(readAll(path), newBytes);
    EXPECT_EQ(file.load().bytes, newBytes) << "reads are retried after EINTR too";
}

TEST_F(StatsFileTest, FailureAtAnyStepKeepsTheOldFileWholeAndLeavesNoTemporary) {
    const struct {
        Call call;
        int error;
        int nth;
    } faults[] = {
        {Call::open, EROFS, 0},    {Call::write, ENOSPC, 0}, {Call::write, EDQUOT, 3},
        {Call::write, 0, 1},       {Call::fsync, EIO, 0},    {Call::close, EIO, 0},
        {Call::rename, EACCES, 0},
    };
    posix.maxWrite = 4096; // so a failure can strike after part of the data is out
    for (const auto& f : faults) {
        SCOPED_TRACE(::testing::Message() << int(f.call) << " " << f.error << " " << f.nth);
        writeAll(path, oldBytes);
        posix.failOn(f.call, f.error, f.nth);
        EXPECT_FALSE(file.replace(newBytes, false));
        EXPECT_EQ(readAll(path), oldBytes);
        EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
        EXPECT_TRUE(file.replace(newBytes, false)) << "the next save works again";
    }
    // Once renamed, the new file stays even when syncing the folder fails.
    writeAll(path, oldBytes);
    posix.failOn(Call::fsync, EIO, 1);
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

TEST_F(StatsFileTest, KeepingAsideLosesNothingWhicheverStepFails) {
    writeAll(path, "garbage");
    for (const Call step : {Call::write, Call::rename}) { // the new data, the move aside
        posix.failOn(step, ENOSPC);
        EXPECT_FALSE(file.replace(newBytes, true));
        EXPECT_EQ(readAll(path), "garbage");
        EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
    }
    // Moved aside, then the final rename fails: the old bytes are in the copy...
    posix.failOn(Call::rename, EIO, 1);
    EXPECT_FALSE(file.replace(newBytes, true));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage");
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json.unreadable"});
    // ...and the retry, with nothing left to move aside, leaves the copy alone.
    EXPECT_TRUE(file.replace(newBytes, true));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage");
    EXPECT_EQ(readAll(path), newBytes);
}

TEST_F(StatsFileTest, FilesThatCannotBeReadWholeLoadAsUnreadable) {
    writeAll(path, oldBytes);
    for (const Call step : {Call::open, Call::read}) {
        posix.failOn(step, EIO);
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

    for (std::size_t i = 0; i < saved.size(); ++i) {
        saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
    }
}
