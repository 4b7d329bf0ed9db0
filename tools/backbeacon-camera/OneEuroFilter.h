#pragma once

#include <optional>

namespace backbeacon::camera {

// Casiez et al.'s One-Euro filter: a low-pass whose cut-off rises with the
// signal's speed, so a still head reads still and a moving one is not left
// behind.
class OneEuroFilter {
public:
    struct Tuning {
        double minCutoffHz = 1.0; // smoothing while still
        double beta = 0.0;        // cut-off added per unit/s of speed
        double derivativeCutoffHz = 1.0;
    };

    explicit OneEuroFilter(Tuning tuning) : m_tuning(tuning) {}

    // The filtered value at `seconds`; times must increase.
    double filter(double value, double seconds);
    void reset();

private:
    Tuning m_tuning;
    std::optional<double> m_lastSeconds;
    double m_value = 0;
    double m_speed = 0;
};

} // namespace backbeacon::camera
