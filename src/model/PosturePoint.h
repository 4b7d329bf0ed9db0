#pragma once

#include "Instant.h"

namespace backbeacon {

// A head orientation taken as the neutral posture. Immutable: a new baseline is
// a new value.
class PosturePoint {
public:
    constexpr PosturePoint(double pitch, double roll, Instant capturedAt)
        : m_pitch(pitch), m_roll(roll), m_capturedAt(capturedAt) {}

    constexpr double pitch() const { return m_pitch; } // radians
    constexpr double roll() const { return m_roll; }   // radians
    constexpr Instant capturedAt() const { return m_capturedAt; }

    constexpr bool operator==(const PosturePoint&) const = default;

private:
    double m_pitch;
    double m_roll;
    Instant m_capturedAt;
};

} // namespace backbeacon
