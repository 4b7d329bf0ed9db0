#pragma once

#include <QString>

namespace backbeacon {

// Plays a sound of the desktop's sound theme for alerts the notification
// server stays silent on: libcanberra in the app, a recording fake in tests.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;

    // Starts the theme's sound `eventId` and returns at once; a sound that
    // cannot be played is dropped.
    virtual void play(const QString& eventId) = 0;
};

} // namespace backbeacon
