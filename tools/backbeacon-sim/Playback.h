#pragma once

#include "backbeacon-sim/SimScript.h"

#include <cstdint>
#include <string>

namespace backbeacon::sim {

inline constexpr double kMinRateHz = 1.0;
inline constexpr double kMaxRateHz = 1000.0;
inline constexpr double kMaxNoiseDegrees = 45.0;

struct PlaybackOptions {
    double rateHz = 50.0; // within kMinRateHz to kMaxRateHz
    // Standard deviation of the Gaussian noise added to pitch and roll, each
    // sample on its own; 0 sends the script's poses exactly.
    double noiseDegrees = 0.0;
    std::uint64_t seed = 0;
};

// Where playback's time comes from: the steady clock in the tool, virtual time
// in tests. Seconds count from the start of playback.
class Pacer {
public:
    virtual ~Pacer() = default;
    virtual double now() = 0;
    // Returns once `seconds` is reached, or false when asked to stop.
    virtual bool waitUntil(double seconds) = 0;
};

// Where playback's datagrams and announcements go.
class PlaybackOutput {
public:
    virtual ~PlaybackOutput() = default;
    virtual void phaseStarted(const Phase& phase) = 0;
    // False when the datagram could not be sent; playback carries on.
    virtual bool send(const OpentrackDatagram& datagram) = 0;
};

struct PlaybackReport {
    std::uint64_t sent = 0;
    std::uint64_t failed = 0;
    // Samples never sent because playback fell behind (the machine stalled or
    // the process was stopped) and jumped to the present instead.
    std::uint64_t skipped = 0;
    bool stopped = false;  // a stop request ended playback before the script did
    double endSeconds = 0; // when the last sample was due
};

// Once playback runs this far behind, it jumps to the present rather than
// sending the missed samples all at once.
inline constexpr double kMaxLagSeconds = 0.25;

// Sends one sample every 1/rate seconds from 0 to the end of the script, the
// last one at its exact end, announcing each phase just before its first
// sample.
PlaybackReport play(const SimScript& script, const PlaybackOptions& options, Pacer& pacer,
                    PlaybackOutput& output);

} // namespace backbeacon::sim
