#pragma once

#include "backbeacon-camera/ExitCode.h"
#include "backbeacon-camera/FrameSource.h"

#include <memory>
#include <opencv2/videoio.hpp>
#include <string>

namespace backbeacon::camera {

// A V4L2 camera, opened for as long as this object lives.
class CameraSource final : public FrameSource {
public:
    // The camera, or why there is none: NoCamera or CameraBusy, with `error`.
    struct Opened {
        std::unique_ptr<CameraSource> source;
        ExitCode failure = ExitCode::Done;
        std::string error;
    };

    // `device` empty: the first /dev/video* that delivers a frame. The camera
    // is asked for about `rate` frames a second, so few are read for nothing.
    static Opened open(const std::string& device, double rate);

    Read read(cv::Mat& image, double& seconds) override;
    bool realTime() const override { return true; }
    const std::string& device() const { return m_device; }

private:
    CameraSource() = default;
    static Opened openDevice(const std::string& device, double rate);

    cv::VideoCapture m_capture;
    std::string m_device;
    cv::Mat m_first; // the frame that showed the camera works
};

} // namespace backbeacon::camera
