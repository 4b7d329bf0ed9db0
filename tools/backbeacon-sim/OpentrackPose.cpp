#include "backbeacon-sim/OpentrackPose.h"

#include <bit>
#include <cstdint>
#include <limits>

namespace backbeacon::sim {

static_assert(std::numeric_limits<double>::is_iec559, "opentrack sends IEEE doubles");

OpentrackDatagram encodeOpentrackDatagram(OpentrackPose pose) {
    const double values[6] = {0.0, 0.0, 0.0, 0.0, pose.pitchDegrees, pose.rollDegrees};
    OpentrackDatagram bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto bits = std::bit_cast<std::uint64_t>(values[i / 8]);
        bytes[i] = static_cast<unsigned char>(bits >> (8 * (i % 8)));
    }
    return bytes;
}

} // namespace backbeacon::sim
