// Feeds arbitrary bytes to the opentrack datagram parser. Whatever it accepts
// must come from exactly 48 bytes, be a finite orientation within a turn, and
// say what the bytes say read as little-endian doubles: anything else would
// reach the posture engine as a head that is not there.
#include "engine/OpentrackDatagram.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace backbeacon;

namespace {
constexpr double kPi = 3.141592653589793;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<MotionSample> sample = parseOpentrackDatagram(data, size);
    if (!sample) {
        return 0;
    }
    if (size != kOpentrackDatagramSize || !std::isfinite(sample->pitch) ||
        !std::isfinite(sample->roll) || std::fabs(sample->pitch) > 2 * kPi ||
        std::fabs(sample->roll) > 2 * kPi) {
        std::abort();
    }
    if constexpr (std::endian::native == std::endian::little) {
        double values[6];
        std::memcpy(values, data, sizeof values);
        for (const double value : values) {
            if (!std::isfinite(value)) {
                std::abort();
            }
        }
        if (sample->pitch != -values[4] * kPi / 180.0 || sample->roll != -values[5] * kPi / 180.0) {
            std::abort();
        }
    }
    return 0;
}
