#include "backbeacon-camera/UdpSender.h"

#include "engine/OpentrackDatagram.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace backbeacon::camera {

std::unique_ptr<UdpSender> UdpSender::open(int port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("cannot make a UDP socket: ") + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<UdpSender>(new UdpSender(fd, port));
}

UdpSender::~UdpSender() {
    ::close(m_fd);
}

bool UdpSender::send(const HeadPose& pose, std::string& error) {
    const OpentrackBytes bytes =
        encodeOpentrackDatagram(pose.x, pose.y, pose.z, pose.yaw, pose.pitch, pose.roll);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(m_port));
    ssize_t sent;
    do {
        sent = ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0 || errno == ECONNREFUSED || errno == EAGAIN || errno == ENOBUFS) {
        // Sent, or lost the way a datagram may be; the next pose follows soon.
        return true;
    }
    error = std::string("cannot send to 127.0.0.1:") + std::to_string(m_port) + ": " +
            std::strerror(errno);
    return false;
}

} // namespace backbeacon::camera
