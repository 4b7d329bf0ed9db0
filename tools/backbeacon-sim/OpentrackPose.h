#pragma once

#include "engine/OpentrackDatagram.h"

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

using OpentrackDatagram = OpentrackBytes;

// opentrack's "UDP over network" datagram for `pose`. The simulated head sits
// at the origin looking straight ahead.
inline OpentrackDatagram encodeOpentrackDatagram(OpentrackPose pose) {
    return backbeacon::encodeOpentrackDatagram(0, 0, 0, 0, pose.pitchDegrees, pose.rollDegrees);
}

} // namespace backbeacon::sim
