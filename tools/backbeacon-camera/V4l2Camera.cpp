#include "backbeacon-camera/V4l2Camera.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <opencv2/core.hpp>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace backbeacon::camera {

namespace {

constexpr unsigned kWidth = 640;
constexpr unsigned kHeight = 480;
constexpr unsigned kBufferCount = 3;
// A camera that sends nothing for this long has stopped delivering.
constexpr int kFrameTimeoutMs = 2000;
constexpr int kMaxDamagedFrames = 10;

int xioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

std::string failed(const std::string& path, const char* what) {
    return "camera " + path + ": " + what + ": " + std::strerror(errno);
}

} // namespace

std::unique_ptr<V4l2Camera> V4l2Camera::open(const std::string& path, double rate, Failure& failure,
                                             std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = errno == EBUSY ? Failure::Busy : Failure::Missing;
        error = failure == Failure::Busy ? "camera " + path + " is in use by another program"
                                         : "no camera at " + path;
        return nullptr;
    }
    std::unique_ptr<V4l2Camera> camera(new V4l2Camera(fd));
    const auto fail = [&](Failure why, std::string message) {
        failure = errno == EBUSY ? Failure::Busy : why;
        error = errno == EBUSY ? "camera " + path + " is in use by another program"
                               : std::move(message);
        return nullptr;
    };

    v4l2_capability capability{};
    if (xioctl(fd, VIDIOC_QUERYCAP, &capability) < 0) {
        return fail(Failure::NotCapture, path + " is not a video camera");
    }
    const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                                   ? capability.device_caps
                                   : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) {
        errno = 0;
        return fail(Failure::NotCapture, path + " is not a video camera");
    }

    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    bool chosen = false;
    for (const std::uint32_t pixels : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_GREY}) {
        format.fmt.pix.width = kWidth;
        format.fmt.pix.height = kHeight;
        format.fmt.pix.pixelformat = pixels;
        format.fmt.pix.field = V4L2_FIELD_NONE;
        if (xioctl(fd, VIDIOC_S_FMT, &format) < 0) {
            if (errno == EBUSY) {
                return fail(Failure::Busy, {});
            }
            continue;
        }
        if (format.fmt.pix.pixelformat == pixels) {
            chosen = true;
            break;
        }
    }
    if (!chosen) {
        errno = 0;
        return fail(Failure::NoFormat, "camera " + path + " offers neither YUYV nor GREY");
    }
    RawLayout& layout = camera->m_layout;
    layout.yuyv = format.fmt.pix.pixelformat == V4L2_PIX_FMT_YUYV;
    layout.width = format.fmt.pix.width;
    layout.height = format.fmt.pix.height;
    layout.bytesPerLine =
        std::max(format.fmt.pix.bytesperline, layout.width * (layout.yuyv ? 2U : 1U));

    // Ask for about the analysis rate; a camera that cannot slow down keeps
    // its own, and the surplus frames are skipped.
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parameters.parm.capture.timeperframe.numerator = 1;
    parameters.parm.capture.timeperframe.denominator = static_cast<std::uint32_t>(std::ceil(rate));
    xioctl(fd, VIDIOC_S_PARM, &parameters);

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd, VIDIOC_REQBUFS, &request) < 0 || request.count == 0) {
        return fail(Failure::Failed, failed(path, "cannot get frame buffers"));
    }
    for (unsigned i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (xioctl(fd, VIDIOC_QUERYBUF, &buffer) < 0) {
            return fail(Failure::Failed, failed(path, "cannot get frame buffers"));
        }
        void* start =
            ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buffer.m.offset);
        if (start == MAP_FAILED) {
            return fail(Failure::Failed, failed(path, "cannot map frame buffers"));
        }
        camera->m_buffers.push_back({start, buffer.length});
        if (xioctl(fd, VIDIOC_QBUF, &buffer) < 0) {
            return fail(Failure::Failed, failed(path, "cannot queue frame buffers"));
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_STREAMON, &type) < 0) {
        return fail(Failure::Failed, failed(path, "cannot start streaming"));
    }
    camera->m_streaming = true;
    failure = Failure::None;
    return camera;
}

V4l2Camera::~V4l2Camera() {
    if (m_streaming) {
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(m_fd, VIDIOC_STREAMOFF, &type);
    }
    for (const Buffer& buffer : m_buffers) {
        ::munmap(buffer.start, buffer.length);
    }
    ::close(m_fd);
}

FrameSource::Read V4l2Camera::read(cv::Mat& image, double& seconds) {
    // A few damaged or spurious wake-ups in a row are the camera's business;
    // more mean it has stopped delivering.
    for (int attempt = 0; attempt < kMaxDamagedFrames; ++attempt) {
        pollfd ready{m_fd, POLLIN, 0};
        int polled;
        do {
            polled = ::poll(&ready, 1, kFrameTimeoutMs);
        } while (polled < 0 && errno == EINTR);
        if (polled <= 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            return Read::Lost;
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (xioctl(m_fd, VIDIOC_DQBUF, &buffer) < 0) {
            if (errno == EAGAIN) {
                continue;
            }
            return Read::Lost;
        }
        const bool whole =
            buffer.index < m_buffers.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR) &&
            greyFromRaw(m_buffers[buffer.index].start,
                        std::min<std::size_t>(buffer.bytesused, m_buffers[buffer.index].length),
                        m_layout, image);
        if (xioctl(m_fd, VIDIOC_QBUF, &buffer) < 0) {
            return Read::Lost;
        }
        if (whole) {
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                    .count();
            return Read::Frame;
        }
    }
    return Read::Lost;
}

bool greyFromRaw(const void* data, std::size_t size, const RawLayout& layout, cv::Mat& grey) {
    const std::size_t needed = std::size_t(layout.bytesPerLine) * layout.height;
    const unsigned pixelBytes = layout.yuyv ? 2 : 1;
    if (data == nullptr || size < needed || layout.bytesPerLine < layout.width * pixelBytes ||
        layout.width == 0 || layout.height == 0) {
        return false;
    }
    const int rows = static_cast<int>(layout.height), cols = static_cast<int>(layout.width);
    // Rows may be padded past the picture; only `cols` pixels of each count.
    const cv::Mat raw(rows, static_cast<int>(layout.bytesPerLine / pixelBytes),
                      layout.yuyv ? CV_8UC2 : CV_8UC1, const_cast<void*>(data),
                      layout.bytesPerLine);
    if (layout.yuyv) {
        // Y, U, Y, V: the first of each pair of bytes is the luma.
        grey.create(rows, cols, CV_8UC1);
        cv::extractChannel(raw.colRange(0, cols), grey, 0);
    } else {
        raw.colRange(0, cols).copyTo(grey);
    }
    return true;
}

} // namespace backbeacon::camera
