#pragma once

#include "backbeacon-camera/FrameSource.h"

#include <memory>
#include <optional>
#include <string>

namespace backbeacon::camera {

// Video files, and cameras in formats V4l2Camera does not read, go through
// OpenCV's video I/O, and with it every codec and image library Debian builds
// it with: about 55 MB more resident memory. It lives in a module loaded only
// when one of these is needed, so a plain camera keeps the tool small.

struct VideoTiming {
    double rate = 10;
    bool rateGiven = false;
    std::optional<double> durationSeconds;
};

// A video file played at its own frame rate, or at `timing.rate` when given;
// nothing, with `error` set, when it cannot be read.
std::unique_ptr<FrameSource> openVideoFile(const std::string& path, const VideoTiming& timing,
                                           std::string& error);

// A camera through OpenCV's own V4L2 reader; nothing, with `error` set, when
// it delivers no frames.
std::unique_ptr<FrameSource> openCameraThroughVideoModule(const std::string& device, double rate,
                                                          std::string& error);

// The module's entry points.
extern "C" {
using OpenVideoFileFunction = FrameSource* (*)(const char* path, double rate, int rateGiven,
                                               double durationSeconds, char* error,
                                               unsigned long errorSize);
using OpenCameraFunction = FrameSource* (*)(const char* device, double rate, char* error,
                                            unsigned long errorSize);
}
inline constexpr const char* kOpenVideoFileSymbol = "backbeacon_camera_open_video_file";
inline constexpr const char* kOpenCameraSymbol = "backbeacon_camera_open_camera";

} // namespace backbeacon::camera
