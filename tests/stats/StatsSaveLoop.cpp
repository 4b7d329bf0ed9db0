// Helper for the kill test: saves the statistics in `folder` over and over
// until it is killed. Prints "ready" once the first save is done.
#include "model/Clock.h"
#include "stats/StatisticsStore.h"
#include "stats/StatsFile.h"

#include <unistd.h>

int main(int argc, char** argv) {
    using namespace backbeacon;
    if (argc != 2) {
        return 2;
    }
    StatsFile file(QString::fromLocal8Bit(argv[1]));
    SystemClock clock;
    LocalCalendar calendar;
    StatisticsStore store(file, clock, calendar);
    store.recordSlouch();
    if (::write(STDOUT_FILENO, "ready\n", 6) != 6) {
        return 3;
    }
    for (;;) {
        store.recordSlouch(); // saves at once, every time
    }
}
