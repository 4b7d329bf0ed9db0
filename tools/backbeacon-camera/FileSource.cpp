#include "backbeacon-camera/FileSource.h"

#include <cmath>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

namespace backbeacon::camera {

namespace {

constexpr double kStillSeconds = 3;
// For containers that do not say their frame rate.
constexpr double kFallbackVideoRate = 25;

} // namespace

std::unique_ptr<FileSource> FileSource::open(const std::string& path, Timing timing,
                                             std::string& error) {
    if (!std::ifstream(path, std::ios::binary).good()) {
        error = "cannot read input file: " + path;
        return nullptr;
    }
    std::unique_ptr<FileSource> source(new FileSource);
    source->m_durationSeconds = timing.durationSeconds;
    if (cv::haveImageReader(path)) {
        source->m_still = cv::imread(path, cv::IMREAD_COLOR);
    }
    if (source->isStill()) {
        source->m_frameSeconds = 1 / timing.rate;
        if (!source->m_durationSeconds) {
            source->m_durationSeconds = kStillSeconds;
        }
        return source;
    }
    if (!source->m_video.open(path, cv::CAP_ANY) || !source->m_video.read(source->m_first) ||
        source->m_first.empty()) {
        error = "input file is neither a video nor an image: " + path;
        return nullptr;
    }
    double rate = timing.rate;
    if (!timing.rateGiven) {
        rate = source->m_video.get(cv::CAP_PROP_FPS);
        if (!std::isfinite(rate) || rate <= 0 || rate > 1000) {
            rate = kFallbackVideoRate;
        }
    }
    source->m_frameSeconds = 1 / rate;
    return source;
}

FrameSource::Read FileSource::read(cv::Mat& image, double& seconds) {
    seconds = m_index * m_frameSeconds;
    if (m_durationSeconds && seconds >= *m_durationSeconds - 1e-9) {
        return Read::End;
    }
    if (isStill()) {
        image = m_still;
    } else if (!m_first.empty()) {
        image = m_first;
        m_first = cv::Mat();
    } else if (!m_video.read(image) || image.empty()) {
        return Read::End;
    }
    ++m_index;
    return Read::Frame;
}

} // namespace backbeacon::camera
