#pragma once

#include "backbeacon-camera/CameraOptions.h"
#include "backbeacon-camera/ExitCode.h"

#include <string>

namespace backbeacon::camera {

class StopSignal;

// The whole tool after option parsing: checks the model, opens the socket and
// the frame source, then sends a pose for each analysed frame with a face
// until the input ends, a stop is requested or something fails (`error` then
// says what, in one line).
ExitCode runCamera(const CameraOptions& options, StopSignal& stop, std::string& error);

} // namespace backbeacon::camera
