#include "backbeacon-camera/CameraOptions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace backbeacon::camera {

namespace {

// A rate beyond what any webcam delivers would only burn a core.
constexpr double kMaxRate = 60;

std::optional<double> positiveNumber(const std::string& text, double max) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value <= 0 ||
        value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> port(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < 1 || value > 65535) {
        return std::nullopt;
    }
    return value;
}

} // namespace

ParsedOptions parseCameraOptions(std::span<const std::string> arguments) {
    CameraOptions options;
    using Setter = std::function<bool(const std::string&)>;
    const std::map<std::string, Setter> valued = {
        {"--device",
         [&](const std::string& v) {
             options.device = v;
             return !v.empty();
         }},
        {"--input",
         [&](const std::string& v) {
             options.input = v;
             return !v.empty();
         }},
        {"--model",
         [&](const std::string& v) {
             options.model = v;
             return !v.empty();
         }},
        {"--rate",
         [&](const std::string& v) {
             const auto rate = positiveNumber(v, kMaxRate);
             options.rate = rate.value_or(0);
             options.rateGiven = true;
             return rate.has_value();
         }},
        {"--duration",
         [&](const std::string& v) {
             options.durationSeconds = positiveNumber(v, 1e7);
             return options.durationSeconds.has_value();
         }},
        {"--port",
         [&](const std::string& v) {
             const auto p = port(v);
             options.port = p.value_or(0);
             return p.has_value();
         }},
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto option = valued.find(name);
        if (option == valued.end()) {
            return {std::nullopt, "unknown option '" + arguments[i] + "'"};
        }
        if (!value) {
            if (i + 1 == arguments.size()) {
                return {std::nullopt, "option '" + name + "' needs a value"};
            }
            value = arguments[++i];
        }
        if (!option->second(*value)) {
            return {std::nullopt, "bad value '" + *value + "' for " + name};
        }
    }
    if (!options.device.empty() && !options.input.empty()) {
        return {std::nullopt, "--device and --input cannot be used together"};
    }
    return {options, {}};
}

std::string cameraUsage() {
    return R"(Usage: backbeacon-camera [options]

Watches the head through a camera and sends its pose to Backbeacon as opentrack
"UDP over network" datagrams to 127.0.0.1: six little-endian doubles x, y, z
(cm) and yaw, pitch, roll (degrees; pitch positive looking up, roll positive
tilting toward the left shoulder). Nothing is sent while no face is in view.
Camera frames stay in this process; they are never stored or sent.

Options:
  --device PATH    V4L2 camera to use (default: the first /dev/video* that
                   delivers frames)
  --input FILE     play a video file or still image instead of a camera, then
                   exit; a video plays at its own frame rate, or at --rate
                   when given; a still image at --rate
  --rate HZ        frames analysed per second (default 10, at most 60)
  --duration S     stop after S seconds (a still image: default 3)
  --port N         UDP port on 127.0.0.1 (default 4242)
  --model PATH     dlib 68-point face landmark model (default
                   /usr/share/dlib/shape_predictor_68_face_landmarks.dat)
  -h, --help       show this help

Exit status:
  0   the input file ended, or SIGTERM/SIGINT was received
  64  bad command line
  66  the input file cannot be read
  69  no camera found
  71  the UDP socket could not be made or used
  72  the face model is missing or unreadable
  74  the camera was unplugged or stopped delivering frames
  75  the camera is busy (held by another program)
)";
}

} // namespace backbeacon::camera
