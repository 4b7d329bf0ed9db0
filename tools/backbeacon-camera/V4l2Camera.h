#pragma once

#include "backbeacon-camera/FrameSource.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace backbeacon::camera {

// How a camera lays out one frame: YUYV (two bytes a pixel) or GREY (one),
// rows `bytesPerLine` apart.
struct RawLayout {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bytesPerLine = 0;
    bool yuyv = true;
};

// The frame's grey picture into `grey`; false when `size` bytes cannot hold
// the layout.
bool greyFromRaw(const void* data, std::size_t size, const RawLayout& layout, cv::Mat& grey);

// A V4L2 camera read directly, in grey: the luma of YUYV frames, or GREY
// frames as they come. Light on memory, unlike a general video library with
// every codec behind it; a camera offering neither format is left to that.
class V4l2Camera final : public FrameSource {
public:
    enum class Failure {
        None,
        Missing,    // no such device, or it cannot be opened
        NotCapture, // not a video capture device
        Busy,       // another program holds it
        NoFormat,   // offers neither YUYV nor GREY
        Failed,     // refused to stream for another reason
    };

    // About `rate` frames a second at about 640x480, or nothing with
    // `failure` and `error` set.
    static std::unique_ptr<V4l2Camera> open(const std::string& path, double rate, Failure& failure,
                                            std::string& error);
    ~V4l2Camera() override;
    V4l2Camera(const V4l2Camera&) = delete;
    V4l2Camera& operator=(const V4l2Camera&) = delete;

    Read read(cv::Mat& image, double& seconds) override;
    bool realTime() const override { return true; }

private:
    struct Buffer {
        void* start = nullptr;
        std::size_t length = 0;
    };
    explicit V4l2Camera(int fd) : m_fd(fd) {}

    int m_fd;
    bool m_streaming = false;
    std::vector<Buffer> m_buffers;
    RawLayout m_layout;
};

} // namespace backbeacon::camera
