#pragma once

#include "backbeacon-camera/FrameSource.h"
#include "backbeacon-camera/VideoModule.h"

#include <memory>
#include <string>

namespace backbeacon::camera {

// A recording played as a camera would deliver it: a still image repeated at
// `timing.rate` for `timing.durationSeconds` (3 s when not given), a video at
// its own frame rate or at `timing.rate` when given. Nothing, with `error`
// set, when the file cannot be read as either.
std::unique_ptr<FrameSource> openRecording(const std::string& path, const VideoTiming& timing,
                                           std::string& error);

// A still image, read without the video module.
class StillImage final : public FrameSource {
public:
    StillImage(cv::Mat image, double rate, double durationSeconds)
        : m_image(std::move(image)), m_frameSeconds(1 / rate), m_durationSeconds(durationSeconds) {}

    Read read(cv::Mat& image, double& seconds) override;
    bool realTime() const override { return false; }

private:
    cv::Mat m_image;
    double m_frameSeconds;
    double m_durationSeconds;
    long m_index = 0;
};

} // namespace backbeacon::camera
