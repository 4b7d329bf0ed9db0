#include "backbeacon-camera/OneEuroFilter.h"

#include <cmath>

namespace backbeacon::camera {

namespace {

constexpr double kPi = 3.141592653589793;

// The weight of a new sample in an exponential low-pass at this cut-off.
double alpha(double cutoffHz, double dt) {
    const double tau = 1.0 / (2 * kPi * cutoffHz);
    return 1.0 / (1.0 + tau / dt);
}

} // namespace

double OneEuroFilter::filter(double value, double seconds) {
    if (!m_lastSeconds) {
        m_lastSeconds = seconds;
        m_value = value;
        m_speed = 0;
        return m_value;
    }
    if (seconds <= *m_lastSeconds) {
        // No time has passed to weigh it by; the estimate stands.
        return m_value;
    }
    const double dt = seconds - *m_lastSeconds;
    m_lastSeconds = seconds;
    const double speed = (value - m_value) / dt;
    m_speed += alpha(m_tuning.derivativeCutoffHz, dt) * (speed - m_speed);
    const double cutoff = m_tuning.minCutoffHz + m_tuning.beta * std::fabs(m_speed);
    m_value += alpha(cutoff, dt) * (value - m_value);
    return m_value;
}

void OneEuroFilter::reset() {
    m_lastSeconds.reset();
}

} // namespace backbeacon::camera
