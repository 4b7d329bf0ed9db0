// backbeacon-camera: the laptop camera as Backbeacon's head tracker. See
// --help.
#include "backbeacon-camera/CameraOptions.h"
#include "backbeacon-camera/Runner.h"
#include "backbeacon-camera/StopSignal.h"

#include <cstdio>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <vector>

using namespace backbeacon::camera;

int main(int argc, char** argv) {
    // First, so every thread started later leaves SIGTERM and SIGINT to it.
    StopSignal stop;
    // Failures are reported in one line of our own; OpenCV's warnings would
    // only repeat them less clearly.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedOptions parsed = parseCameraOptions(arguments);
    if (!parsed.options) {
        std::fprintf(stderr, "backbeacon-camera: %s (see --help)\n", parsed.error.c_str());
        return toInt(ExitCode::Usage);
    }
    if (parsed.options->help) {
        std::fputs(cameraUsage().c_str(), stdout);
        return toInt(ExitCode::Done);
    }
    std::string error;
    const ExitCode code = runCamera(*parsed.options, stop, error);
    if (code != ExitCode::Done) {
        std::fprintf(stderr, "backbeacon-camera: %s\n", error.c_str());
    }
    return toInt(code);
}
