#include "stats/StatsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <sys/stat.h>

using namespace backbeacon;

namespace {

// The real calls, with one of them made to fail on demand.
class FaultyPosix final : public Posix {
public:
    enum class Call { open, read, write, fsync, close, rename, unlink, mkdir };

    // Fail call number `nth` (0-based) of `call` with `error`.
    void failOn(Call call, int error, int nth = 0) {
        m_failCall = call;
        m_failErrno = error;
        m_failNth = nth;
    }
    std::size_t maxWrite = 0;         // >0: at most this many bytes per write
    bool interruptEveryOther = false; // every other write and read fails with EINTR
    int writes = 0;

    int open(const char* path, int flags, mode_t mode) override {
        return fails(Call::open) ? -1 : Posix::open(path, flags, mode);
    }
    ssize_t read(int fd, void* buffer, size_t size) override {
        if (interruptEveryOther && (m_tick++ % 2 == 0)) {
            errno = EINTR;
            return -1;
        }
        return fails(Call::read) ? -1 : Posix::read(fd, buffer, size);
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        ++writes;
        if (interruptEveryOther && (m_tick++ % 2 == 0)) {
            errno = EINTR;
            return -1;
        }
        if (fails(Call::write)) {
            return -1;
        }
        return Posix::write(fd, data, maxWrite > 0 ? std::min(size, maxWrite) : size);
    }
    int fsync(int fd) override { return fails(Call::fsync) ? -1 : Posix::fsync(fd); }
    int close(int fd) override {
        // Like Linux: the descriptor is gone even when close reports an error.
        const int result = Posix::close(fd);
        return fails(Call::close) ? -1 : result;
    }
    int rename(const char* from, const char* to) override {
        return fails(Call::rename) ? -1 : Posix::rename(from, to);
    }
    int unlink(const char* path) override { return fails(Call::unlink) ? -1 : Posix::unlink(path); }
    int mkdir(const char* path, mode_t mode) override {
        return fails(Call::mkdir) ? -1 : Posix::mkdir(path, mode);
    }

private:
    bool fails(Call call) {
        if (!m_failCall || *m_failCall != call) {
            return false;
        }
        if (m_seen++ != m_failNth) {
            return false;
        }
        errno = m_failErrno;
        return true;
    }

    std::optional<Call> m_failCall;
    int m_failErrno = 0;
    int m_failNth = 0;
    int m_seen = 0;
    unsigned m_tick = 0;
};

std::string readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return file.readAll().toStdString();
}

void writeAll(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

class StatsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    FaultyPosix posix;
    StatsFile file{dir.path(), posix};
    const std::string oldBytes = "[{\"old\":true}]";
    const std::string newBytes = std::string(40'000, ' ') + "[]"; // several writes' worth
};

using Call = FaultyPosix::Call;

} // namespace

TEST_F(StatsFileTest, NoFileLoadsAsMissing) {
    EXPECT_EQ(file.load().outcome, StatsStorage::Loaded::Outcome::missing);
}

TEST_F(StatsFileTest, ReplaceThenLoadGivesTheBytesBack) {
    ASSERT_TRUE(file.replace(newBytes, false));
    const auto loaded = file.load();
    EXPECT_EQ(loaded.outcome, StatsStorage::Loaded::Outcome::read);
    EXPECT_EQ(loaded.bytes, newBytes);
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file.filePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "statistics are nobody else's business";
}

TEST_F(StatsFileTest, ShortWritesAndInterruptionsStillWriteEverything) {
    posix.maxWrite = 1000;
    posix.interruptEveryOther = true;
    ASSERT_TRUE(file.replace(newBytes, false));
    EXPECT_GE(posix.writes, 80);
    EXPECT_EQ(readAll(file.filePath()), newBytes);
    EXPECT_EQ(file.load().bytes, newBytes) << "reads are retried after EINTR too";
}

struct Fault {
    const char* name;
    Call call;
    int error;
    int nth;
};

class StatsFileFault : public StatsFileTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(StatsFileFault, FailedSaveKeepsTheOldFileWholeAndLeavesNoTemporary) {
    writeAll(file.filePath(), oldBytes);
    posix.maxWrite = 4096; // so a failure can strike after part of the data is out
    posix.failOn(GetParam().call, GetParam().error, GetParam().nth);
    EXPECT_FALSE(file.replace(newBytes, false));
    EXPECT_EQ(readAll(file.filePath()), oldBytes);
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
    // The next save works again.
    EXPECT_TRUE(file.replace(newBytes, false));
    EXPECT_EQ(readAll(file.filePath()), newBytes);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, StatsFileFault,
                         ::testing::Values(Fault{"OpenReadOnlyFileSystem", Call::open, EROFS, 0},
                                           Fault{"OpenNoPermission", Call::open, EACCES, 0},
                                           Fault{"OpenDiskFull", Call::open, ENOSPC, 0},
                                           Fault{"FirstWriteDiskFull", Call::write, ENOSPC, 0},
                                           Fault{"LaterWriteDiskFull", Call::write, ENOSPC, 3},
                                           Fault{"WriteQuotaExceeded", Call::write, EDQUOT, 1},
                                           Fault{"WriteIoError", Call::write, EIO, 2},
                                           Fault{"FsyncIoError", Call::fsync, EIO, 0},
                                           Fault{"FsyncDiskFull", Call::fsync, ENOSPC, 0},
                                           Fault{"CloseIoError", Call::close, EIO, 0},
                                           Fault{"RenameFails", Call::rename, EACCES, 0},
                                           Fault{"RenameReadOnly", Call::rename, EROFS, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatsFileTest, WriteThatMakesNoProgressGivesUp) {
    class Stuck final : public Posix {
    public:
        ssize_t write(int, const void*, size_t) override { return 0; }
    } stuck;
    StatsFile stuckFile(dir.path(), stuck);
    writeAll(file.filePath(), oldBytes);
    EXPECT_FALSE(stuckFile.replace(newBytes, false));
    EXPECT_EQ(readAll(file.filePath()), oldBytes);
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});
}

TEST_F(StatsFileTest, FailedFolderSyncDoesNotUndoTheSave) {
    ASSERT_TRUE(file.replace(oldBytes, false));
    posix.failOn(Call::fsync, EIO, 1); // the file's fsync passes, the folder's fails
    EXPECT_TRUE(file.replace(newBytes, false));
    EXPECT_EQ(readAll(file.filePath()), newBytes);
}

TEST_F(StatsFileTest, UnreadableFileIsKeptAsideWhenReplaced) {
    writeAll(file.filePath(), "garbage 1");
    ASSERT_TRUE(file.replace(newBytes, true));
    EXPECT_EQ(readAll(file.filePath()), newBytes);
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage 1");

    // A newer unreadable file replaces the older copy.
    writeAll(file.filePath(), "garbage 2");
    ASSERT_TRUE(file.replace(oldBytes, true));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage 2");
    EXPECT_EQ(readAll(file.filePath()), oldBytes);
    EXPECT_EQ(entries(dir.path()), (QStringList{"stats.json", "stats.json.unreadable"}));

    // An ordinary save leaves the copy alone.
    ASSERT_TRUE(file.replace(newBytes, false));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage 2");
}

TEST_F(StatsFileTest, KeepingAsideLosesNothingWhicheverStepFails) {
    // Fails writing the new data: the unreadable file stays where it was.
    writeAll(file.filePath(), "garbage");
    posix.failOn(Call::write, ENOSPC);
    EXPECT_FALSE(file.replace(newBytes, true));
    EXPECT_EQ(readAll(file.filePath()), "garbage");
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});

    // Moving it aside fails: still in place.
    FaultyPosix asideFails;
    asideFails.failOn(Call::rename, EACCES, 0);
    EXPECT_FALSE(StatsFile(dir.path(), asideFails).replace(newBytes, true));
    EXPECT_EQ(readAll(file.filePath()), "garbage");
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json"});

    // Moved aside, then the final rename fails: the old bytes are in the copy.
    FaultyPosix lastFails;
    lastFails.failOn(Call::rename, EIO, 1);
    EXPECT_FALSE(StatsFile(dir.path(), lastFails).replace(newBytes, true));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage");
    EXPECT_EQ(entries(dir.path()), QStringList{"stats.json.unreadable"});
    // ...and the retry, which finds nothing left to keep aside, does not touch the copy.
    EXPECT_TRUE(file.replace(newBytes, true));
    EXPECT_EQ(readAll(file.unreadablePath()), "garbage");
    EXPECT_EQ(readAll(file.filePath()), newBytes);
}

TEST_F(StatsFileTest, UnreadableFileLoadsAsUnreadable) {
    writeAll(file.filePath(), oldBytes);
    posix.failOn(Call::read, EIO);
    EXPECT_EQ(file.load().outcome, StatsStorage::Loaded::Outcome::unreadable);

    FaultyPosix denied;
    denied.failOn(Call::open, EACCES);
    EXPECT_EQ(StatsFile(dir.path(), denied).load().outcome,
              StatsStorage::Loaded::Outcome::unreadable);
}

TEST_F(StatsFileTest, FolderInPlaceOfTheFileIsUnreadable) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("stats.json"));
    EXPECT_EQ(file.load().outcome, StatsStorage::Loaded::Outcome::unreadable);
}

TEST_F(StatsFileTest, OversizedFileIsUnreadable) {
    writeAll(file.filePath(), std::string(StatsFile::kMaxFileSize + 1, ' '));
    EXPECT_EQ(file.load().outcome, StatsStorage::Loaded::Outcome::unreadable);
}

TEST_F(StatsFileTest, LoadRemovesLeftoverTemporariesOnly) {
    writeAll(file.filePath(), oldBytes);
    writeAll(dir.filePath("stats.json.0123456789abcdef.tmp"), "partial");
    writeAll(dir.filePath("stats.json.fedcba9876543210.tmp"), "");
    writeAll(dir.filePath("stats.json.notes.tmp"), "someone else's");
    writeAll(dir.filePath("other.tmp"), "someone else's");
    EXPECT_EQ(file.leftoverTemporaries().size(), 2);
    EXPECT_EQ(file.load().bytes, oldBytes);
    EXPECT_EQ(entries(dir.path()),
              (QStringList{"other.tmp", "stats.json", "stats.json.notes.tmp"}));
}

TEST_F(StatsFileTest, FolderRemovedWhileRunningIsMadeAgain) {
    const QString folder = dir.filePath("Backbeacon");
    StatsFile inner(folder, posix);
    EXPECT_TRUE(inner.replace(newBytes, false));
    EXPECT_EQ(readAll(inner.filePath()), newBytes);
}

// Where the file lives

class StatsFileFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables) {
            saved.emplace_back(name, qgetenv(name), qEnvironmentVariableIsSet(name));
        }
    }
    void TearDown() override {
        for (const auto& [name, value, set] : saved) {
            if (set) {
                qputenv(name, value);
            } else {
                qunsetenv(name);
            }
        }
    }
    static constexpr const char* kVariables[] = {"XDG_DATA_HOME", "XDG_RUNTIME_DIR",
                                                 "XDG_CACHE_HOME"};
    std::vector<std::tuple<const char*, QByteArray, bool>> saved;
    QTemporaryDir dir;
};

TEST_F(StatsFileFolderTest, DataFolderFirst) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    EXPECT_EQ(StatsFile::defaultFolder(), dir.filePath("data/Backbeacon"));
    EXPECT_TRUE(QFileInfo(dir.filePath("data/Backbeacon")).isDir());
}

TEST_F(StatsFileFolderTest, PrivateFoldersWhenTheDataFolderCannotBeMade) {
    // A plain file where a folder should be: no mode bits involved, so it holds for root too.
    writeAll(dir.filePath("blocker"), "");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("blocker/data")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("runtime"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath("runtime")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
    const QString runtime = StatsFile::defaultFolder();
    EXPECT_EQ(runtime, dir.filePath("runtime/Backbeacon"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(runtime).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    qunsetenv("XDG_RUNTIME_DIR");
    const QString cache = StatsFile::defaultFolder();
    EXPECT_EQ(cache, dir.filePath("cache/Backbeacon"));
    EXPECT_FALSE(cache.startsWith(QStringLiteral("/tmp/runtime-")));
}
