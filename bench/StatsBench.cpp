#include "ManualClock.h"
#include "model/RecordJson.h"
#include "stats/StatisticsStore.h"
#include "stats/StatsFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

using namespace backbeacon;

namespace {

// Counts writes instead of making them: the tick benchmarks must not save.
class CountingStorage final : public StatsStorage {
public:
    Loaded load() override { return {}; }
    bool replace(std::string_view, bool) override {
        ++writes;
        return true;
    }
    int writes = 0;
};

// One statistics tick as the posture monitor makes it, bad posture: monitored
// and slouched time. With the test clock time stands still, so the throttle
// never saves after the first write (made before the loop); with the system
// clock (two clock reads per tick, as in the app) it may save once per 5 seconds
// of the run, and "saves" shows how often it did.
template <typename TickClock> void BM_StatisticsTick(benchmark::State& state) {
    TickClock clock;
    LocalCalendar calendar;
    CountingStorage storage;
    StatisticsStore store(storage, clock, calendar);
    store.recordSlouch();
    for (auto _ : state) {
        store.addMonitored(0.02);
        store.addSlouched(0.02);
    }
    benchmark::DoNotOptimize(store.today());
    state.counters["saves"] = storage.writes - 1;
}
BENCHMARK_TEMPLATE(BM_StatisticsTick, testing::ManualClock);
BENCHMARK_TEMPLATE(BM_StatisticsTick, SystemClock);

// One full save of a 91-day file: encoding, temporary file, write, fsync,
// rename and folder sync, in a real folder ($TMPDIR or /tmp: set TMPDIR to
// measure another disk).
void BM_SaveNinetyOneDays(benchmark::State& state) {
    QTemporaryDir dir;
    StatsFile file(dir.path());
    std::vector<DailyStats> days;
    for (int i = 0; i < 90; ++i) {
        days.push_back(DailyStats{Instant::fromReferenceSeconds(786'585'600.0 + i * 86'400.0),
                                  7'200.123 + i, 600.5 + i, i % 7, i % 5});
    }
    const std::string text = *json::encode(std::span<const DailyStats>(days));
    // 90 past days and today, as the store has them after a day change.
    testing::ManualClock clock(
        Instant::fromReferenceSeconds(786'585'600.0 + 90 * 86'400.0 + 3600.0));
    LocalCalendar calendar(QTimeZone::utc());
    StatsFile seed(dir.path());
    seed.replace(text, false);
    StatisticsStore store(file, clock, calendar);
    if (store.history().size() != 90) {
        state.SkipWithError("the 90 past days did not load");
        return;
    }
    for (auto _ : state) {
        store.recordSlouch(); // saves at once
    }
}
BENCHMARK(BM_SaveNinetyOneDays)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
