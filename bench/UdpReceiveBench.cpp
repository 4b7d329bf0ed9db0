#include "EngineRig.h"
#include "OpentrackSender.h"
#include "engine/UdpMotionManager.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

using namespace backbeacon;

namespace {

// Where received samples go. A sink is default-constructible and hands out the
// handler the receiver delivers to, so the posture monitor can be plugged in as
// another sink.
struct CountingSink {
    MotionManager::Handler handler() {
        return [this](const std::optional<MotionSample>& sample) {
            if (sample) {
                ++samples;
                benchmark::DoNotOptimize(sample->pitch + sample->roll);
            }
        };
    }
    std::int64_t samples = 0;
};

// The posture monitor itself, calibrated, with the stream at 250 Hz of
// virtual time: every received sample is classified and ticked.
struct EngineSink {
    EngineSink() {
        rig.startCalibrated();
        rig.settings.setSensitivityDegrees(30);
    }
    MotionManager::Handler handler() {
        return [this](const std::optional<MotionSample>& sample) {
            rig.time.clock().advance(0.004);
            if (sample) {
                // Whole, so the batch's end and the sample's age count too.
                rig.motion.deliver(*sample);
            } else {
                rig.motion.deliverNothing();
            }
        };
    }
    testing::EngineRig rig;
};

constexpr std::size_t kBurst = 256;

std::vector<testing::OpentrackBytes> burst() {
    std::vector<testing::OpentrackBytes> datagrams;
    for (std::size_t i = 0; i < kBurst; ++i) {
        datagrams.push_back(testing::opentrackPose(i * 0.01, i * -0.02));
    }
    return datagrams;
}

// Reads one sent burst through the receiver's own pass (batched system calls,
// parser, handler), as the socket notifier runs it. False if datagrams went
// missing, which would make the figure meaningless.
bool receiveBurst(UdpMotionManager& receiver) {
    const std::uint64_t droppedBefore = receiver.droppedDatagrams();
    std::size_t got = 0;
    while (got < kBurst) {
        got += receiver.receivePending();
        if (receiver.droppedDatagrams() != droppedBefore) {
            return false;
        }
    }
    return got == kBurst;
}

UdpMotionManager::Options ephemeralPort() {
    UdpMotionManager::Options options;
    options.port = 0;
    return options;
}

// Datagrams from a loopback socket through the parser into the sink. The clock
// runs only while the receiver reads; the sender, on the same thread, is off it.
template <typename Sink> void BM_UdpReceive(benchmark::State& state) {
    Sink sink;
    UdpMotionManager receiver(ephemeralPort());
    receiver.startDeviceMotionUpdates(sink.handler());
    testing::UdpSender sender(receiver.port());
    const auto datagrams = burst();
    for (auto _ : state) {
        if (sender.sendAll(datagrams) != kBurst) {
            state.SkipWithError("sending failed");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        if (!receiveBurst(receiver)) {
            state.SkipWithError("datagrams were dropped");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kBurst));
    state.counters["malformed"] = static_cast<double>(receiver.malformedDatagrams());
}
BENCHMARK_TEMPLATE(BM_UdpReceive, CountingSink)->UseManualTime();
BENCHMARK_TEMPLATE(BM_UdpReceive, EngineSink)->UseManualTime();

// The same with the sending on the clock: both ends of loopback on one core.
template <typename Sink> void BM_UdpSendAndReceive(benchmark::State& state) {
    Sink sink;
    UdpMotionManager receiver(ephemeralPort());
    receiver.startDeviceMotionUpdates(sink.handler());
    testing::UdpSender sender(receiver.port());
    const auto datagrams = burst();
    for (auto _ : state) {
        if (sender.sendAll(datagrams) != kBurst || !receiveBurst(receiver)) {
            state.SkipWithError("datagrams went missing");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kBurst));
}
BENCHMARK_TEMPLATE(BM_UdpSendAndReceive, CountingSink)->UseRealTime();
BENCHMARK_TEMPLATE(BM_UdpSendAndReceive, EngineSink)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // The receiver's socket notifier needs an application object.
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("backbeacon.motion.info=false"));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
