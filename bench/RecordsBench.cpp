#include "model/RecordJson.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace backbeacon;

namespace {

std::vector<DailyStats> ninetyOneDays() {
    std::vector<DailyStats> days;
    for (int i = 0; i < 91; ++i) {
        days.push_back(DailyStats{Instant::fromReferenceSeconds(786'585'600.0 + i * 86'400.0),
                                  7'200.123 + i, 600.5 + i, i % 7, i % 5});
    }
    return days;
}

void BM_EncodeStatsFile(benchmark::State& state) {
    const auto days = ninetyOneDays();
    for (auto _ : state) {
        auto text = json::encode(std::span<const DailyStats>(days));
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_EncodeStatsFile)->Unit(benchmark::kMicrosecond);

void BM_DecodeStatsFile(benchmark::State& state) {
    const std::string text = *json::encode(std::span<const DailyStats>(ninetyOneDays()));
    for (auto _ : state) {
        auto days = json::decodeDailyStatsArray(text);
        benchmark::DoNotOptimize(days);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeStatsFile)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
