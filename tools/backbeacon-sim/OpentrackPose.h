#pragma once

#include <array>
#include <cstddef>

namespace backbeacon::sim {

// A head orientation as opentrack reports it: degrees, positive pitch looking
// up, positive roll tilting toward the left shoulder. A slouch is negative pitch.
struct OpentrackPose {
    double pitchDegrees = 0;
    double rollDegrees = 0;
};

// A pose no head reaches; also keeps noise from pushing a sample past the
// app's own full-turn cut-off.
inline constexpr double kMaxPoseDegrees = 180.0;

inline constexpr std::size_t kDatagramSize = 48;
using OpentrackDatagram = std::array<unsigned char, kDatagramSize>;

// opentrack's "UDP over network" datagram for `pose`: x, y, z, yaw, pitch,
// roll as little-endian doubles, whatever the host's byte order. The simulated
// head sits at the origin looking straight ahead.
OpentrackDatagram encodeOpentrackDatagram(OpentrackPose pose);

} // namespace backbeacon::sim
