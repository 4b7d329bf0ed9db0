// Feeds arbitrary text to the simulator's CSV reader. Whatever it accepts must
// be a track the simulator can play: starting at 0, in time order, finite,
// within half a turn and a bounded span, so no pose it sends is one the app
// drops or a sleep that never ends.
#include "backbeacon-sim/PoseCsv.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace backbeacon::sim;

namespace {

bool playable(OpentrackPose pose) {
    return std::isfinite(pose.pitchDegrees) && std::isfinite(pose.rollDegrees) &&
           std::fabs(pose.pitchDegrees) <= kMaxPoseDegrees &&
           std::fabs(pose.rollDegrees) <= kMaxPoseDegrees;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CsvResult result =
        parsePoseCsv(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!result.track) {
        if (result.error.message.empty() || result.error.line < 0) {
            std::abort();
        }
        return 0;
    }
    const auto& keyframes = result.track->keyframes();
    if (keyframes.empty() || keyframes.front().seconds != 0 ||
        !(result.track->duration() <= kMaxCsvSpanSeconds)) {
        std::abort();
    }
    for (std::size_t i = 0; i < keyframes.size(); ++i) {
        if (!playable(keyframes[i].pose) ||
            (i > 0 && keyframes[i].seconds < keyframes[i - 1].seconds)) {
            std::abort();
        }
        const double between = i > 0 ? (keyframes[i - 1].seconds + keyframes[i].seconds) / 2 : -1;
        if (!playable(result.track->poseAt(between))) {
            std::abort();
        }
    }
    return 0;
}
