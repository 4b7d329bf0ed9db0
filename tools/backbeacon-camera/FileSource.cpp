#include "backbeacon-camera/FileSource.h"

#include <dlib/image_io.h>
#include <fstream>
#include <opencv2/core.hpp>

namespace backbeacon::camera {

namespace {

constexpr double kStillSeconds = 3;

// The picture in grey, or an empty one when the file is not a picture dlib
// reads (PNG, JPEG, BMP, GIF).
cv::Mat loadStill(const std::string& path) {
    dlib::array2d<unsigned char> grey;
    try {
        dlib::load_image(grey, path);
    } catch (const std::exception&) {
        return {};
    }
    if (grey.size() == 0) {
        return {};
    }
    cv::Mat image(static_cast<int>(grey.nr()), static_cast<int>(grey.nc()), CV_8UC1);
    for (long row = 0; row < grey.nr(); ++row) {
        std::copy(&grey[row][0], &grey[row][0] + grey.nc(), image.ptr<unsigned char>(row));
    }
    return image;
}

} // namespace

std::unique_ptr<FrameSource> openRecording(const std::string& path, const VideoTiming& timing,
                                           std::string& error) {
    if (!std::ifstream(path, std::ios::binary).good()) {
        error = "cannot read input file: " + path;
        return nullptr;
    }
    if (cv::Mat still = loadStill(path); !still.empty()) {
        return std::make_unique<StillImage>(std::move(still), timing.rate,
                                            timing.durationSeconds.value_or(kStillSeconds));
    }
    return openVideoFile(path, timing, error);
}

FrameSource::Read StillImage::read(cv::Mat& image, double& seconds) {
    seconds = m_index * m_frameSeconds;
    if (seconds >= m_durationSeconds - 1e-9) {
        return Read::End;
    }
    image = m_image;
    ++m_index;
    return Read::Frame;
}

} // namespace backbeacon::camera
