#pragma once

#include "engine/MotionManager.h"

#include <array>
#include <cstddef>
#include <optional>

namespace backbeacon {

// opentrack's "UDP over network" output: six little-endian doubles x, y, z
// (cm), yaw, pitch, roll (degrees).
inline constexpr std::size_t kOpentrackDatagramSize = 48;

// Beyond a full turn no tracker is describing a head; such values could also
// overflow the engine's squares and sums into infinities.
inline constexpr double kOpentrackMaxAngleDegrees = 360.0;

// The head orientation one datagram carries, in the engine's radians and signs
// (looking down and tilting right are positive), or nothing when the datagram
// is not exactly 48 bytes, holds a non-finite value, or puts pitch or roll
// beyond a full turn.
std::optional<MotionSample> parseOpentrackDatagram(const void* data, std::size_t size);

using OpentrackBytes = std::array<unsigned char, kOpentrackDatagramSize>;

// The datagram opentrack sends for this pose, in its own units and signs, as
// the simulator and the tests send it.
OpentrackBytes encodeOpentrackDatagram(double x, double y, double z, double yaw,
                                       double pitchDegrees, double rollDegrees);

} // namespace backbeacon
