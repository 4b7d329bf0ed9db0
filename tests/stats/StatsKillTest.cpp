// Kills a process that saves the statistics in a tight loop at random moments:
// whatever the moment, stats.json must decode, nothing counted may go missing
// and temporary files must not pile up.
#include "Files.h"
#include "model/RecordJson.h"
#include "stats/StatsFile.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

using namespace backbeacon;
using backbeacon::testing::entries;
using backbeacon::testing::readAll;
using backbeacon::testing::writeAll;

namespace {

class StatsKillTest : public ::testing::Test {
protected:
    void SetUp() override {
        const unsigned seed = std::random_device{}();
        random.seed(seed);
        RecordProperty("seed", std::to_string(seed));
        std::printf("seed %u\n", seed);
    }
    // Starts the saving helper; it prints a line once its first save is done.
    void start(QProcess& loop) {
        loop.start(QStringLiteral(BACKBEACON_STATS_SAVE_LOOP), {dir.path()});
        ASSERT_TRUE(loop.waitForStarted(10'000)) << loop.errorString().toStdString();
    }
    // SIGKILL after a random pause; true if the kill struck mid-loop.
    bool killAtRandom(QProcess& loop) {
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30'000)(random)));
        loop.kill();
        loop.waitForFinished(10'000);
        return loop.exitStatus() == QProcess::CrashExit;
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
        QProcess loop;
        start(loop);
        ASSERT_TRUE(loop.waitForReadyRead(10'000)) << "the helper never finished a save";
        struck += killAtRandom(loop) ? 1 : 0;

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
        // No waiting for the first save: the kill may strike during it, while
        // it moves the unreadable file aside.
        QProcess loop;
        start(loop);
        killAtRandom(loop);

        const std::string current = readAll(file.filePath());
        const std::string aside = readAll(file.unreadablePath());
        EXPECT_TRUE(current == unreadable || aside == unreadable) << "the unreadable file is lost";
        if (current != unreadable && current != "<missing>") {
            EXPECT_TRUE(json::decodeDailyStatsArray(current)) << current;
        }
        EXPECT_LE(file.leftoverTemporaries().size(), 1);
    }
}
