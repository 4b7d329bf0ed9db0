#pragma once

#include "engine/OpentrackDatagram.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <span>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace backbeacon::testing {

using backbeacon::OpentrackBytes;

inline OpentrackBytes opentrackDatagram(double x, double y, double z, double yaw,
                                        double pitchDegrees, double rollDegrees) {
    return encodeOpentrackDatagram(x, y, z, yaw, pitchDegrees, rollDegrees);
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
    ~UdpSender() { ::close(m_fd); }
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    bool send(const void* data, std::size_t size) {
        return ::sendto(m_fd, data, size, 0, reinterpret_cast<const sockaddr*>(&m_to),
                        sizeof m_to) == static_cast<ssize_t>(size);
    }

    // Sends every datagram, many per system call; returns how many went out.
    std::size_t sendAll(std::span<const OpentrackBytes> datagrams) {
        std::vector<iovec> iov(datagrams.size());
        std::vector<mmsghdr> headers(datagrams.size());
        for (std::size_t i = 0; i < datagrams.size(); ++i) {
            iov[i] = {const_cast<unsigned char*>(datagrams[i].data()), datagrams[i].size()};
            headers[i].msg_hdr = {&m_to, sizeof m_to, &iov[i], 1, nullptr, 0, 0};
        }
        std::size_t sent = 0; // the kernel takes at most UIO_MAXIOV per call
        while (sent < datagrams.size()) {
            const int n = ::sendmmsg(m_fd, headers.data() + sent,
                                     static_cast<unsigned>(datagrams.size() - sent), 0);
            if (n < 0 && errno != EINTR && errno != ENOBUFS) {
                break;
            }
            sent += static_cast<std::size_t>(std::max(n, 0));
        }
        return sent;
    }

private:
    int m_fd;
    sockaddr_in m_to;
};

// A loopback UDP port a tool under test is pointed at, read without blocking.
class UdpListener {
public:
    UdpListener() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = loopbackAddress(0);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~UdpListener() { ::close(m_fd); }
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

    std::uint16_t port() const { return m_port; }

    // Every datagram waiting, whole.
    std::vector<std::vector<unsigned char>> drain() {
        std::vector<std::vector<unsigned char>> got;
        std::array<unsigned char, 256> buffer;
        for (ssize_t n; (n = ::recv(m_fd, buffer.data(), buffer.size(), 0)) >= 0;) {
            got.emplace_back(buffer.begin(), buffer.begin() + n);
        }
        return got;
    }

private:
    int m_fd;
    std::uint16_t m_port = 0;
};

} // namespace backbeacon::testing
