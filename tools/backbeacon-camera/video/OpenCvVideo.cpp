// The module behind VideoModule.h: video files and cameras read through
// OpenCV's video I/O. Loaded by the tool only when it needs one.
#include "backbeacon-camera/VideoModule.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/videoio.hpp>

using namespace backbeacon::camera;

namespace {

// For containers that do not say their frame rate.
constexpr double kFallbackVideoRate = 25;

void say(char* error, unsigned long size, const std::string& message) {
    std::snprintf(error, size, "%s", message.c_str());
}

class VideoFile final : public FrameSource {
public:
    Read read(cv::Mat& image, double& seconds) override {
        seconds = m_index * m_frameSeconds;
        if (m_durationSeconds > 0 && seconds >= m_durationSeconds - 1e-9) {
            return Read::End;
        }
        if (!m_first.empty()) {
            image = m_first;
            m_first = cv::Mat();
        } else if (!m_video.read(image) || image.empty()) {
            return Read::End;
        }
        ++m_index;
        return Read::Frame;
    }
    bool realTime() const override { return false; }

    cv::VideoCapture m_video;
    cv::Mat m_first; // read when opening, to check the file
    double m_frameSeconds = 0.1;
    double m_durationSeconds = -1;
    long m_index = 0;
};

class Camera final : public FrameSource {
public:
    Read read(cv::Mat& image, double& seconds) override {
        if (!m_capture.read(image) || image.empty()) {
            return Read::Lost;
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                      .count();
        return Read::Frame;
    }
    bool realTime() const override { return true; }

    cv::VideoCapture m_capture;
};

} // namespace

extern "C" __attribute__((visibility("default"))) FrameSource*
backbeacon_camera_open_video_file(const char* path, double rate, int rateGiven,
                                  double durationSeconds, char* error, unsigned long errorSize) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    auto source = std::make_unique<VideoFile>();
    // FFmpeg reads every common container; letting OpenCV try each of its
    // back-ends would also have gphoto2 scan the USB bus for cameras.
    if (!source->m_video.open(path, cv::CAP_FFMPEG) || !source->m_video.read(source->m_first) ||
        source->m_first.empty()) {
        say(error, errorSize, std::string("input file is neither a video nor an image: ") + path);
        return nullptr;
    }
    if (!rateGiven) {
        rate = source->m_video.get(cv::CAP_PROP_FPS);
        if (!std::isfinite(rate) || rate <= 0 || rate > 1000) {
            rate = kFallbackVideoRate;
        }
    }
    source->m_frameSeconds = 1 / rate;
    source->m_durationSeconds = durationSeconds;
    return source.release();
}

extern "C" __attribute__((visibility("default"))) FrameSource*
backbeacon_camera_open_camera(const char* device, double rate, char* error,
                              unsigned long errorSize) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    auto source = std::make_unique<Camera>();
    cv::VideoCapture& capture = source->m_capture;
    if (capture.open(device, cv::CAP_V4L2)) {
        capture.set(cv::CAP_PROP_FRAME_WIDTH, 640);
        capture.set(cv::CAP_PROP_FRAME_HEIGHT, 480);
        capture.set(cv::CAP_PROP_BUFFERSIZE, 1);
        capture.set(cv::CAP_PROP_FPS, rate);
        cv::Mat first;
        if (capture.read(first) && !first.empty()) {
            return source.release();
        }
    }
    say(error, errorSize, std::string("camera ") + device + " delivers no frames");
    return nullptr;
}
