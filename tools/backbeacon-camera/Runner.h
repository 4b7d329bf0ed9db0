#pragma once

#include "backbeacon-camera/CameraOptions.h"
#include "backbeacon-camera/CameraSource.h"
#include "backbeacon-camera/ExitCode.h"

#include <functional>
#include <string>

namespace backbeacon::camera {

class StopSignal;

// The whole tool after option parsing: checks the model, opens the socket and
// the frame source, then sends a pose for each analysed frame with a face
// until the input ends, a stop is requested or something fails (`error` then
// says what, in one line).
ExitCode runCamera(const CameraOptions& options, StopSignal& stop, std::string& error);

// How a run gets its camera and waits before trying it again: the real
// devices and clock, or a test's.
struct CameraAccess {
    std::function<OpenedCamera(const std::string& device, double rate)> open;
    // False when a stop was requested first.
    std::function<bool(double seconds)> wait;
};
ExitCode runCamera(const CameraOptions& options, StopSignal& stop, const CameraAccess& camera,
                   std::string& error);

} // namespace backbeacon::camera
