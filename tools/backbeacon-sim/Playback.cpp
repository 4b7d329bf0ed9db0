#include "backbeacon-sim/Playback.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace backbeacon::sim {

PlaybackReport play(const SimScript& script, const PlaybackOptions& options, Pacer& pacer,
                    PlaybackOutput& output) {
    std::mt19937_64 random(options.seed);
    // The distribution needs a positive deviation even when it is never drawn.
    std::normal_distribution<double> noise(0.0,
                                           options.noiseDegrees > 0 ? options.noiseDegrees : 1.0);
    const auto noisy = [&](double degrees) {
        if (options.noiseDegrees > 0) {
            degrees += noise(random);
        }
        return std::clamp(degrees, -kMaxPoseDegrees, kMaxPoseDegrees);
    };
    const double end = script.track.duration();
    const double rate = options.rateHz;
    auto nextPhase = script.phases.begin();

    PlaybackReport report;
    for (std::uint64_t k = 0;;) {
        // Counted from the start, not added up, so rounding never drifts.
        const double due = std::min(static_cast<double>(k) / rate, end);
        if (!pacer.waitUntil(due)) {
            report.stopped = true;
            break;
        }
        const double lag = pacer.now() - due;
        if (lag > kMaxLagSeconds && due < end) {
            const auto caughtUp =
                static_cast<std::uint64_t>(std::ceil(std::min(pacer.now(), end) * rate));
            report.skipped += caughtUp - k;
            k = caughtUp;
            continue;
        }
        for (; nextPhase != script.phases.end() && nextPhase->start <= due; ++nextPhase) {
            output.phaseStarted(*nextPhase);
        }
        const OpentrackPose pose = script.track.poseAt(due);
        const OpentrackPose sent{noisy(pose.pitchDegrees), noisy(pose.rollDegrees)};
        ++(output.send(encodeOpentrackDatagram(sent)) ? report.sent : report.failed);
        report.endSeconds = due;
        if (due >= end) {
            break;
        }
        ++k;
    }
    return report;
}

} // namespace backbeacon::sim
