#pragma once

#include "backbeacon-camera/FrameSource.h"

#include <memory>
#include <opencv2/videoio.hpp>
#include <optional>
#include <string>

namespace backbeacon::camera {

// A video file or a still image played as a camera would deliver it: a video
// at its own frame rate (or `rate` when given), a still image repeated at
// `rate` for `durationSeconds` (3 s when not given).
class FileSource final : public FrameSource {
public:
    struct Timing {
        double rate = 10;
        bool rateGiven = false;
        std::optional<double> durationSeconds;
    };

    // Nothing, with `error` set, when the file cannot be read as either.
    static std::unique_ptr<FileSource> open(const std::string& path, Timing timing,
                                            std::string& error);

    Read read(cv::Mat& image, double& seconds) override;
    bool realTime() const override { return false; }

    bool isStill() const { return !m_still.empty(); }

private:
    FileSource() = default;

    cv::VideoCapture m_video;
    cv::Mat m_still;
    cv::Mat m_first; // a video's first frame, read to check the file
    double m_frameSeconds = 0.1;
    std::optional<double> m_durationSeconds;
    long m_index = 0;
};

} // namespace backbeacon::camera
