// Kills a child that saves the statistics in a tight loop at random moments:
// whatever the moment, stats.json must decode, nothing counted may go missing,
// an unreadable file must survive and temporary files must not pile up.
#include "Files.h"
#include "model/RecordJson.h"
#include "stats/StatisticsStore.h"
#include "stats/StatsFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

class StatsKillTest : public ::testing::Test {
protected:
    // Forks a child that saves over and over, waits for its first save if
    // asked, and kills it after a random pause of up to 30 ms.
    void killAtRandom(bool afterFirstSave) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            SystemClock clock;
            LocalCalendar calendar;
            StatisticsStore store(file, clock, calendar);
            store.recordSlouch();
            if (::write(ready[1], "r", 1) == 1) {
                for (;;) {
                    store.recordSlouch(); // saves at once, every time
                }
            }
            ::_exit(1);
        }
        ::close(ready[1]);
        char byte = 0;
        EXPECT_TRUE(!afterFirstSave || ::read(ready[0], &byte, 1) == 1) << "no first save";
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 30'000)(random));
        int status = 0;
        EXPECT_TRUE(child > 0 && ::kill(child, SIGKILL) == 0 && ::waitpid(child, &status, 0) > 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the kill struck mid-loop";
        ::close(ready[0]);
        EXPECT_LE(file.leftoverTemporaries().size(), 1) << "leftovers pile up";
    }

    QTemporaryDir dir;
    StatsFile file{dir.path()};
    std::mt19937 random{std::random_device{}()};
};

} // namespace

TEST_F(StatsKillTest, FileAlwaysDecodesNothingCountedIsLostAndAnUnreadableFileSurvives) {
    std::int64_t slouches = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        killAtRandom(true);
        const auto days = json::decodeDailyStatsArray(readAll(file.filePath()));
        ASSERT_TRUE(days && !days->empty()) << "stats.json does not decode";
        EXPECT_GT(days->back().slouches, slouches) << "a save that was done went missing";
        slouches = days->back().slouches;
        EXPECT_FALSE(QFile::exists(file.unreadablePath()));
    }
    // An unreadable file is never lost, even when the kill strikes as it is moved aside.
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
