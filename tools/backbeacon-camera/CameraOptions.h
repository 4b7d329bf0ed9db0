#pragma once

#include <optional>
#include <span>
#include <string>

namespace backbeacon::camera {

struct CameraOptions {
    std::string device; // empty: the first camera that delivers frames
    std::string input;  // a video file or still image instead of a camera
    double rate = 10;   // frames analysed per second
    bool rateGiven = false;
    int port = 4242;
    std::string model = BACKBEACON_DEFAULT_FACE_MODEL;
    std::optional<double> durationSeconds; // stop after this long
    bool help = false;
};

// The options, or the one-line reason they are not usable.
struct ParsedOptions {
    std::optional<CameraOptions> options;
    std::string error;
};

// Reads the arguments after the program name; values follow their option as
// the next argument or after '='.
ParsedOptions parseCameraOptions(std::span<const std::string> arguments);

// The --help text, exit statuses included.
std::string cameraUsage();

} // namespace backbeacon::camera
