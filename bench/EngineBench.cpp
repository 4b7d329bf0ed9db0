#include "EngineRig.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

using namespace backbeacon;
using namespace backbeacon::testing;

// Every heap allocation in this process is counted, so the benchmark can show
// what one sample costs the allocator.
namespace {
std::atomic<long long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// One classified sample through the monitor's motion handler: deltas, drift,
// direction, snooze check, statistics tick and classification. The argument
// is the stream's sample interval in microseconds: at 50 Hz (20000) the
// statistics store's throttled save falls due every 250 samples; at 1 us it
// practically never does, which isolates the monitor's own work.
void BM_HandleSample(benchmark::State& state) {
    EngineRig rig;
    rig.settings.setSensitivityDegrees(15);
    rig.startCalibrated();
    const double interval = static_cast<double>(state.range(0)) * 1e-6;
    // Alternate between two in-line postures so the figures really change.
    const double pitches[2] = {radians(3), radians(-4)};
    std::size_t i = 0;
    for (int warmup = 0; warmup < 1000; ++warmup) {
        rig.time.clock().advance(interval);
        rig.motion.deliver(pitches[++i & 1], radians(1));
    }

    const long long before = allocations.load();
    for (auto _ : state) {
        rig.time.clock().advance(interval);
        rig.motion.deliver(pitches[++i & 1], radians(1));
    }
    const long long allocated = allocations.load() - before;
    state.counters["allocs_per_sample"] = benchmark::Counter(
        static_cast<double>(allocated) / static_cast<double>(state.iterations()));
    state.counters["allocs_total"] = static_cast<double>(allocated);
    if (!rig.monitor->state().is(PostureState::Kind::good)) {
        state.SkipWithError("the monitor left the good state");
    }
}
BENCHMARK(BM_HandleSample)->Arg(1)->Arg(20000);

} // namespace

BENCHMARK_MAIN();
