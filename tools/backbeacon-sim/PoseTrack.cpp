#include "backbeacon-sim/PoseTrack.h"

#include <algorithm>
#include <cassert>

namespace backbeacon::sim {

PoseTrack::PoseTrack(std::vector<Keyframe> keyframes) : m_keyframes(std::move(keyframes)) {
    assert(!m_keyframes.empty());
    assert(
        std::is_sorted(m_keyframes.begin(), m_keyframes.end(),
                       [](const Keyframe& a, const Keyframe& b) { return a.seconds < b.seconds; }));
}

OpentrackPose PoseTrack::poseAt(double seconds) const {
    const auto after =
        std::upper_bound(m_keyframes.begin(), m_keyframes.end(), seconds,
                         [](double t, const Keyframe& keyframe) { return t < keyframe.seconds; });
    if (after == m_keyframes.begin()) {
        return m_keyframes.front().pose;
    }
    if (after == m_keyframes.end()) {
        return m_keyframes.back().pose;
    }
    const Keyframe& from = *(after - 1);
    const Keyframe& to = *after;
    // upper_bound puts `from` strictly before `to`, so the span is never zero.
    const double f = (seconds - from.seconds) / (to.seconds - from.seconds);
    return {from.pose.pitchDegrees + f * (to.pose.pitchDegrees - from.pose.pitchDegrees),
            from.pose.rollDegrees + f * (to.pose.rollDegrees - from.pose.rollDegrees)};
}

} // namespace backbeacon::sim
