#pragma once

#include "backbeacon-sim/OpentrackPose.h"

#include <vector>

namespace backbeacon::sim {

// A pose the head passes through at `seconds` from the start of the track.
struct Keyframe {
    double seconds = 0;
    OpentrackPose pose;
};

// The head's path as straight lines between keyframes: the first pose before
// the first keyframe, the last pose after the last.
class PoseTrack {
public:
    // `keyframes` must be non-empty, finite and in non-decreasing time; two at
    // the same time make a step, the later one holding from that moment.
    explicit PoseTrack(std::vector<Keyframe> keyframes);

    OpentrackPose poseAt(double seconds) const;
    // The time of the last keyframe.
    double duration() const { return m_keyframes.back().seconds; }
    const std::vector<Keyframe>& keyframes() const { return m_keyframes; }

private:
    std::vector<Keyframe> m_keyframes;
};

} // namespace backbeacon::sim
