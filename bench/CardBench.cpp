#include "stats/StatsInfographicRenderer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

using namespace backbeacon;

namespace {

// A week with every block of the card in use: trend, drift load, counters.
std::vector<DailyStats> week() {
    const Instant today = Instant::fromUnixSeconds(1'796'511'600.0);
    std::vector<DailyStats> days;
    for (int i = 6; i >= 0; --i) {
        days.push_back({today - 86'400.0 * i, 18'000.0 + 600 * i, 1'500.0 + 240 * i, 6 + i, 5});
    }
    return days;
}

void BM_RenderCard(benchmark::State& state) {
    const auto days = week();
    for (auto _ : state) {
        QImage image = StatsInfographicRenderer::render(days);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_RenderCard)->Unit(benchmark::kMillisecond);

void BM_EncodeCard(benchmark::State& state) {
    const QImage image = StatsInfographicRenderer::render(week());
    std::size_t size = 0;
    for (auto _ : state) {
        const auto png = StatsInfographicRenderer::encodePng(image);
        if (!png) {
            state.SkipWithError("the card did not encode");
            break;
        }
        size = static_cast<std::size_t>(png->size());
    }
    state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_EncodeCard)->Unit(benchmark::kMillisecond);

// What the user waits for after "Save Insight Card": the drawing and the
// bytes, before the save dialog opens. The goal is under 40 ms.
void BM_CardBytes(benchmark::State& state) {
    const auto days = week();
    for (auto _ : state) {
        const auto png = StatsInfographicRenderer::pngData(days);
        if (!png) {
            state.SkipWithError("the card did not encode");
            break;
        }
        benchmark::DoNotOptimize(png->constData());
    }
}
BENCHMARK(BM_CardBytes)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Fonts need a GUI application; drawing into an image needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
