#pragma once

#include "backbeacon-sim/PoseTrack.h"

#include <string>
#include <vector>

namespace backbeacon::sim {

// A named stretch of the script, announced when playback reaches `start`.
struct Phase {
    double start = 0;
    std::string name;
};

// What the simulator plays: the head's path and its phases in time order.
struct SimScript {
    PoseTrack track;
    std::vector<Phase> phases;
};

// The built-in session's shape. The defaults make a demo of under half a
// minute that raises one alert at the app's shortest alert delay (5 s) and
// default sensitivity (20 degrees).
struct SessionShape {
    // Head still at 0,0: the app adopts the mean of its first 2.2 s of samples
    // as the baseline, so this is kept longer than that.
    double neutralSeconds = 3.0;
    // Small movements well inside the sensitivity.
    double goodSeconds = 6.0;
    // Head down by slouchDegrees, held well past the shortest alert delay.
    double slouchSeconds = 9.0;
    double slouchDegrees = 30.0;
    // Back to 0,0 and still.
    double recoverySeconds = 5.0;
    // Good, slouch and recovery are repeated this many times after neutral.
    int cycles = 1;
};

inline constexpr double kMaxPhaseSeconds = 3600.0;
inline constexpr double kMaxSlouchDegrees = 90.0;
inline constexpr int kMaxCycles = 100;

// The phases in order, "neutral", then "good", "slouch", "recovery" for each
// cycle; a phase of zero length is left out. The shape must be within the
// bounds above (the caller checks what users type).
SimScript demoSession(const SessionShape& shape);

// A CSV track as a script of one phase, "csv".
SimScript csvScript(PoseTrack track);

} // namespace backbeacon::sim
