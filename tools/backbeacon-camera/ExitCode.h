#pragma once

namespace backbeacon::camera {

// The tool's exit statuses (the sysexits values); the app turns each into a
// message for the user, so they never change meaning.
enum class ExitCode : int {
    Done = 0,   // the input file ended, or SIGTERM/SIGINT
    Usage = 64, // bad command line
    InputUnreadable = 66,
    NoCamera = 69,
    SocketFailed = 71,
    ModelUnreadable = 72,
    CameraLost = 74, // unplugged or stopped delivering, and did not come back
    CameraBusy = 75, // held by another program, and stayed so
};

constexpr int toInt(ExitCode code) {
    return static_cast<int>(code);
}

} // namespace backbeacon::camera
