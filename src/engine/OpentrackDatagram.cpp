#include "engine/OpentrackDatagram.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace backbeacon {

static_assert(std::numeric_limits<double>::is_iec559, "opentrack sends IEEE doubles");

namespace {

constexpr double kPi = 3.141592653589793;

// One load on a little-endian host, which every sample of a fast tracker goes
// through; swapped where the host is big-endian.
double littleEndianDouble(const unsigned char* bytes) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, bytes, sizeof bits);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i) {
            swapped = (swapped << 8) | ((bits >> (8 * i)) & 0xFF);
        }
        bits = swapped;
    }
    return std::bit_cast<double>(bits);
}

} // namespace

std::optional<MotionSample> parseOpentrackDatagram(const void* data, std::size_t size) {
    if (size != kOpentrackDatagramSize || data == nullptr) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::array<double, 6> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = littleEndianDouble(bytes + i * 8);
        if (!std::isfinite(values[i])) {
            return std::nullopt;
        }
    }
    const double pitchDegrees = values[4];
    const double rollDegrees = values[5];
    if (std::fabs(pitchDegrees) > kOpentrackMaxAngleDegrees ||
        std::fabs(rollDegrees) > kOpentrackMaxAngleDegrees) {
        return std::nullopt;
    }
    // opentrack's positive pitch looks up and its positive roll tilts left.
    return MotionSample{-pitchDegrees * kPi / 180.0, -rollDegrees * kPi / 180.0};
}

OpentrackBytes encodeOpentrackDatagram(double x, double y, double z, double yaw,
                                       double pitchDegrees, double rollDegrees) {
    const double values[6] = {x, y, z, yaw, pitchDegrees, rollDegrees};
    OpentrackBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(std::bit_cast<std::uint64_t>(values[i / 8]) >>
                                              (8 * (i % 8)));
    }
    return bytes;
}

} // namespace backbeacon
