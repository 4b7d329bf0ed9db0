#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <span>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace backbeacon::testing {

using OpentrackBytes = std::array<unsigned char, 48>;

// opentrack's datagram: x, y, z, yaw, pitch, roll as little-endian doubles,
// whatever the host's byte order.
inline OpentrackBytes opentrackDatagram(double x, double y, double z, double yaw,
                                        double pitchDegrees, double rollDegrees) {
    OpentrackBytes bytes{};
    const double values[6] = {x, y, z, yaw, pitchDegrees, rollDegrees};
    for (int v = 0; v < 6; ++v) {
        const auto bits = std::bit_cast<std::uint64_t>(values[v]);
        for (int b = 0; b < 8; ++b) {
            bytes[static_cast<std::size_t>(v * 8 + b)] =
                static_cast<unsigned char>(bits >> (8 * b));
        }
    }
    return bytes;
}

inline OpentrackBytes opentrackPose(double pitchDegrees, double rollDegrees) {
    return opentrackDatagram(1.5, -2.0, 30.0, 12.0, pitchDegrees, rollDegrees);
}

inline sockaddr_in loopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A UDP socket that sends to one loopback port.
class UdpSender {
public:
    explicit UdpSender(std::uint16_t port)
        : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), m_to(loopbackAddress(port)) {}
    ~UdpSender() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    bool send(const void* data, std::size_t size) {
        return ::sendto(m_fd, data, size, 0, reinterpret_cast<const sockaddr*>(&m_to),
                        sizeof m_to) == static_cast<ssize_t>(size);
    }
    bool send(const OpentrackBytes& datagram) { return send(datagram.data(), datagram.size()); }

    // Sends every datagram, many per system call; returns how many went out.
    std::size_t sendAll(std::span<const OpentrackBytes> datagrams) {
        constexpr std::size_t kChunk = 256;
        std::vector<iovec> iov(kChunk);
        std::vector<mmsghdr> headers(kChunk);
        std::size_t sent = 0;
        while (sent < datagrams.size()) {
            const std::size_t count = std::min(kChunk, datagrams.size() - sent);
            for (std::size_t i = 0; i < count; ++i) {
                iov[i] = {const_cast<unsigned char*>(datagrams[sent + i].data()),
                          datagrams[sent + i].size()};
                headers[i] = {};
                headers[i].msg_hdr.msg_name = &m_to;
                headers[i].msg_hdr.msg_namelen = sizeof m_to;
                headers[i].msg_hdr.msg_iov = &iov[i];
                headers[i].msg_hdr.msg_iovlen = 1;
            }
            const int n = ::sendmmsg(m_fd, headers.data(), static_cast<unsigned>(count), 0);
            if (n < 0 && errno != EINTR && errno != ENOBUFS) {
                break;
            }
            sent += static_cast<std::size_t>(std::max(n, 0));
        }
        return sent;
    }

    int descriptor() const { return m_fd; }

private:
    int m_fd;
    sockaddr_in m_to;
};

// Holds a loopback UDP port, so a receiver meant for it finds it taken.
class HeldUdpPort {
public:
    HeldUdpPort() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = loopbackAddress(0);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~HeldUdpPort() { release(); }
    HeldUdpPort(const HeldUdpPort&) = delete;
    HeldUdpPort& operator=(const HeldUdpPort&) = delete;

    std::uint16_t port() const { return m_port; }
    void release() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
    std::uint16_t m_port = 0;
};

} // namespace backbeacon::testing
