#pragma once

#include "backbeacon-camera/HeadPose.h"

#include <memory>
#include <string>

namespace backbeacon::camera {

// Sends head poses as opentrack datagrams to 127.0.0.1 and nowhere else.
class UdpSender {
public:
    // Nothing, with `error` set, when no socket can be made.
    static std::unique_ptr<UdpSender> open(int port, std::string& error);
    ~UdpSender();
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // False, with `error` set, when the socket no longer works. A datagram no
    // one is listening for is not a failure: the app may start later.
    bool send(const HeadPose& pose, std::string& error);

private:
    UdpSender(int fd, int port) : m_fd(fd), m_port(port) {}
    int m_fd;
    int m_port;
};

} // namespace backbeacon::camera
