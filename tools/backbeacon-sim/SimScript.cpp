#include "backbeacon-sim/SimScript.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace backbeacon::sim {

namespace {

// How long the head takes to drop into a slouch or come back out of one.
constexpr double kMoveSeconds = 0.8;

// A gentle sway for good posture, one pose a second; the largest offset is a
// quarter of the default sensitivity, so it never counts as out of line.
constexpr OpentrackPose kSway[] = {{2.0, 1.0},  {-3.0, -1.5}, {1.0, 2.0}, {-4.0, 0.5},
                                   {3.0, -2.0}, {-1.5, 1.0},  {0.0, 0.0}};

class ScriptBuilder {
public:
    void phase(std::string name, double seconds) {
        m_phases.push_back({m_end, std::move(name)});
        m_start = m_end;
        m_end += seconds;
    }
    // Moves the head to `pose` at `offset` into the current phase.
    void to(double offset, OpentrackPose pose) {
        m_keyframes.push_back({m_start + std::min(offset, m_end - m_start), pose});
    }
    void holdToEnd() { to(m_end - m_start, m_keyframes.back().pose); }
    SimScript finish() && { return {PoseTrack(std::move(m_keyframes)), std::move(m_phases)}; }

private:
    std::vector<Keyframe> m_keyframes{{0.0, {}}};
    std::vector<Phase> m_phases;
    double m_start = 0;
    double m_end = 0;
};

} // namespace

SimScript demoSession(const SessionShape& shape) {
    ScriptBuilder script;
    if (shape.neutralSeconds > 0) {
        script.phase("neutral", shape.neutralSeconds);
        script.to(0, {});
        script.holdToEnd();
    }
    for (int cycle = 0; cycle < shape.cycles; ++cycle) {
        if (shape.goodSeconds > 0) {
            script.phase("good", shape.goodSeconds);
            const auto steps = static_cast<std::size_t>(std::floor(shape.goodSeconds));
            for (std::size_t i = 0; i < steps; ++i) {
                script.to(static_cast<double>(i + 1), kSway[i % std::size(kSway)]);
            }
            script.holdToEnd();
        }
        if (shape.slouchSeconds > 0) {
            script.phase("slouch", shape.slouchSeconds);
            script.to(kMoveSeconds, {-shape.slouchDegrees, 0.0});
            script.holdToEnd();
        }
        if (shape.recoverySeconds > 0) {
            script.phase("recovery", shape.recoverySeconds);
            script.to(kMoveSeconds, {});
            script.holdToEnd();
        }
    }
    return std::move(script).finish();
}

SimScript csvScript(PoseTrack track) {
    return {std::move(track), {{0.0, "csv"}}};
}

} // namespace backbeacon::sim
