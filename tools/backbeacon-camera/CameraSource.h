#pragma once

#include "backbeacon-camera/ExitCode.h"
#include "backbeacon-camera/FrameSource.h"

#include <memory>
#include <string>

namespace backbeacon::camera {

// The camera, or why there is none: NoCamera or CameraBusy, with `error`.
struct OpenedCamera {
    std::unique_ptr<FrameSource> source;
    ExitCode failure = ExitCode::Done;
    std::string error;
};

// `device` empty: the first /dev/video* that delivers a frame. The camera is
// asked for about `rate` frames a second, so few are read for nothing.
OpenedCamera openCamera(const std::string& device, double rate);

} // namespace backbeacon::camera
