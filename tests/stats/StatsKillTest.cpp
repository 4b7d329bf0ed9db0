// Kills a process that saves the statistics in a tight loop at random moments:
// whatever the moment, stats.json must decode, nothing counted may go missing
// and temporary files must not pile up.
#include "Files.h"
#include "model/RecordJson.h"
#include "stats/StatsFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace backbeacon;
using backbeacon::testing::entries;
using backbeacon::testing::readAll;
using backbeacon::testing::writeAll;

namespace {

class SaveLoop {
public:
    explicit SaveLoop(const QString& folder) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const QByteArray path = QFile::encodeName(folder);
        char* args[] = {const_cast<char*>(BACKBEACON_STATS_SAVE_LOOP),
                        const_cast<char*>(path.constData()), nullptr};
        if (posix_spawn(&m_pid, BACKBEACON_STATS_SAVE_LOOP, &actions, nullptr, args, environ) !=
            0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~SaveLoop() {
        kill();
        if (m_out >= 0) {
            ::close(m_out);
        }
    }
    bool started() const { return m_pid > 0; }

    // Waits (bounded) for the first save to be done.
    bool ready() {
        pollfd p{m_out, POLLIN, 0};
        char buffer[16];
        return ::poll(&p, 1, 10'000) == 1 && ::read(m_out, buffer, sizeof buffer) > 0;
    }

    // SIGKILL; true if it was still running, so the kill struck mid-loop.
    bool kill() {
        if (m_pid <= 0) {
            return false;
        }
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

class StatsKillTest : public ::testing::Test {
protected:
    void SetUp() override {
        const unsigned seed = std::random_device{}();
        random.seed(seed);
        RecordProperty("seed", std::to_string(seed));
        std::printf("seed %u\n", seed);
    }
    void pause() {
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30'000)(random)));
    }
    QTemporaryDir dir;
    StatsFile file{dir.path()};
    std::mt19937 random;
};

} // namespace

TEST_F(StatsKillTest, FileAlwaysDecodesAndNothingCountedIsLost) {
    std::int64_t slouches = 0;
    int struck = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        SaveLoop loop(dir.path());
        ASSERT_TRUE(loop.started());
        ASSERT_TRUE(loop.ready()) << "the helper never finished a save";
        pause();
        struck += loop.kill() ? 1 : 0;

        const auto days = json::decodeDailyStatsArray(readAll(file.filePath()));
        ASSERT_TRUE(days) << "stats.json does not decode";
        ASSERT_FALSE(days->empty());
        EXPECT_GT(days->back().slouches, slouches) << "a save that was done went missing";
        slouches = days->back().slouches;
        EXPECT_LE(file.leftoverTemporaries().size(), 1) << "leftovers pile up";
        EXPECT_FALSE(QFile::exists(file.unreadablePath()));
    }
    EXPECT_EQ(struck, 40);
}

TEST_F(StatsKillTest, UnreadableFileIsNeverLostWhateverTheMoment) {
    const std::string unreadable = "{this is not a statistics file";
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (const QString& name : entries(dir.path())) {
            QFile::remove(dir.filePath(name));
        }
        writeAll(file.filePath(), unreadable);

        SaveLoop loop(dir.path());
        ASSERT_TRUE(loop.started());
        // No waiting for "ready": the kill may strike during the very first save,
        // the one that moves the unreadable file aside.
        pause();
        loop.kill();

        const std::string current = readAll(file.filePath());
        const std::string aside = readAll(file.unreadablePath());
        EXPECT_TRUE(current == unreadable || aside == unreadable) << "the unreadable file is lost";
        if (current != unreadable && current != "<missing>") {
            EXPECT_TRUE(json::decodeDailyStatsArray(current)) << current;
        }
        EXPECT_LE(file.leftoverTemporaries().size(), 1);
    }
}
