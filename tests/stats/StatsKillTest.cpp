// Kills a process that saves the statistics in a tight loop at random moments:
// whatever the moment, stats.json must decode, nothing counted may go missing,
// an unreadable file must survive and temporary files must not pile up.
#include "Files.h"
#include "model/RecordJson.h"
#include "stats/StatsFile.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

class StatsKillTest : public ::testing::Test {
protected:
    void SetUp() override {
        const unsigned seed = std::random_device{}();
        random.seed(seed);
        RecordProperty("seed", std::to_string(seed));
    }
    // Starts the saving helper, waits for its first save if asked, then
    // kills it after a random pause; true if the kill struck mid-loop.
    bool killAtRandom(bool afterFirstSave) {
        QProcess loop;
        loop.start(QStringLiteral(BACKBEACON_STATS_SAVE_LOOP), {dir.path()});
        EXPECT_TRUE(loop.waitForStarted(10'000)) << loop.errorString().toStdString();
        EXPECT_TRUE(!afterFirstSave || loop.waitForReadyRead(10'000)) << "no first save";
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30'000)(random)));
        loop.kill();
        loop.waitForFinished(10'000);
        EXPECT_LE(file.leftoverTemporaries().size(), 1) << "leftovers pile up";
        return loop.exitStatus() == QProcess::CrashExit;
    }

    QTemporaryDir dir;
    StatsFile file{dir.path()};
    std::mt19937 random;
};

} // namespace

TEST_F(StatsKillTest, FileAlwaysDecodesAndNothingCountedIsLost) {
    std::int64_t slouches = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        EXPECT_TRUE(killAtRandom(true));
        const auto days = json::decodeDailyStatsArray(readAll(file.filePath()));
        ASSERT_TRUE(days && !days->empty()) << "stats.json does not decode";
        EXPECT_GT(days->back().slouches, slouches) << "a save that was done went missing";
        slouches = days->back().slouches;
        EXPECT_FALSE(QFile::exists(file.unreadablePath()));
    }
}

// The kill may strike during the first save, while it moves the file aside.
TEST_F(StatsKillTest, UnreadableFileIsNeverLostWhateverTheMoment) {
    const std::string unreadable = "{this is not a statistics file";
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        QFile::remove(file.unreadablePath());
        writeAll(file.filePath(), unreadable);
        killAtRandom(false);
        const std::string current = readAll(file.filePath());
        EXPECT_TRUE(current == unreadable || readAll(file.unreadablePath()) == unreadable);
        if (current != unreadable && current != "<missing>") {
            EXPECT_TRUE(json::decodeDailyStatsArray(current)) << current;
        }
    }
}
