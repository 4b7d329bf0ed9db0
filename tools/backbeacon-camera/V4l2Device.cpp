#include "backbeacon-camera/V4l2Device.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace backbeacon::camera {

namespace {

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

int ioctlRetry(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

} // namespace

DeviceState probeV4l2Device(const std::string& path) {
    const Fd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        return errno == EBUSY ? DeviceState::Busy : DeviceState::Missing;
    }
    v4l2_capability capability{};
    if (ioctlRetry(fd.get(), VIDIOC_QUERYCAP, &capability) < 0) {
        return DeviceState::NotCapture;
    }
    const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                                   ? capability.device_caps
                                   : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
        return DeviceState::NotCapture;
    }
    // Asking for no buffers changes nothing, but fails with EBUSY while another
    // file handle owns the stream.
    v4l2_requestbuffers none{};
    none.count = 0;
    none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    none.memory = V4L2_MEMORY_MMAP;
    if (ioctlRetry(fd.get(), VIDIOC_REQBUFS, &none) < 0 && errno == EBUSY) {
        return DeviceState::Busy;
    }
    return DeviceState::Ready;
}

std::vector<std::string> videoDeviceNodes() {
    std::vector<std::pair<long, std::string>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.starts_with("video") &&
            std::all_of(name.begin() + 5, name.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            found.emplace_back(std::strtol(name.c_str() + 5, nullptr, 10), entry.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> nodes;
    for (auto& [number, path] : found) {
        nodes.push_back(std::move(path));
    }
    return nodes;
}

} // namespace backbeacon::camera
