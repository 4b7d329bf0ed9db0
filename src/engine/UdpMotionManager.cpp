#include "engine/UdpMotionManager.h"

#include "engine/OpentrackDatagram.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcMotion, "backbeacon.motion")

namespace {

constexpr int kReportIntervalMs = 10'000;
// Datagrams fetched per system call.
constexpr int kBatch = 64;
// A sample's age beyond this is a wall clock set between its arrival and its
// reading, not a wait: it is taken as this.
constexpr double kMaxAgeSeconds = 1.0;
// Until delivery starts nothing is read, so the queue is kept as small as the
// kernel allows: stale datagrams then pin no memory and are few to discard.
constexpr int kIdleBufferBytes = 1;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

} // namespace

// One batch of receive slots. A slot holds exactly one datagram's worth, so a
// longer datagram shows up as MSG_TRUNC instead of passing as 48 bytes, and
// the kernel's note of when it arrived.
struct UdpMotionManager::Batch {
    using Control = std::array<unsigned char, CMSG_SPACE(sizeof(timespec))>;

    Batch() {
        for (int i = 0; i < kBatch; ++i) {
            iov[i] = {buffers[i].data(), buffers[i].size()};
            headers[i] = {};
            headers[i].msg_hdr.msg_iov = &iov[i];
            headers[i].msg_hdr.msg_iovlen = 1;
            headers[i].msg_hdr.msg_control = controls[i].data();
        }
    }
    // Reads up to `count` datagrams without blocking: the number read, or -1 with errno.
    int receive(int fd, int count) {
        for (int i = 0; i < count; ++i) {
            headers[i].msg_hdr.msg_flags = 0;
            headers[i].msg_hdr.msg_controllen = controls[i].size();
        }
        for (;;) {
            const int n =
                ::recvmmsg(fd, headers.data(), static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
            if (n >= 0 || errno != EINTR) {
                return n;
            }
        }
    }
    bool truncated(int i) const { return (headers[i].msg_hdr.msg_flags & MSG_TRUNC) != 0; }
    // Seconds from the datagram's arrival to `now` (both on the wall clock);
    // 0 without the kernel's timestamp.
    double age(int i, const timespec& now) {
        msghdr& header = headers[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec arrived{};
                std::memcpy(&arrived, CMSG_DATA(c), sizeof arrived);
                const double seconds = static_cast<double>(now.tv_sec - arrived.tv_sec) +
                                       static_cast<double>(now.tv_nsec - arrived.tv_nsec) * 1e-9;
                return std::clamp(seconds, 0.0, kMaxAgeSeconds);
            }
        }
        return 0;
    }

    std::array<std::array<unsigned char, kOpentrackDatagramSize>, kBatch> buffers{};
    std::array<iovec, kBatch> iov{};
    std::array<mmsghdr, kBatch> headers{};
    std::array<Control, kBatch> controls{};
    std::array<std::optional<MotionSample>, kBatch> samples{};
};

UdpMotionManager::UdpMotionManager() : UdpMotionManager(Options{}) {}

UdpMotionManager::UdpMotionManager(Options options)
    : m_options(options), m_batch(std::make_unique<Batch>()) {
    m_options.maxDatagramsPerPass = std::max(1, m_options.maxDatagramsPerPass);
    m_options.drainIntervalMs = std::max(0, m_options.drainIntervalMs);
    m_delayMs = m_options.drainIntervalMs;
    m_reportTimer.setSingleShot(true);
    QObject::connect(&m_reportTimer, &QTimer::timeout, [this] { reportCounts(); });
    m_drainTimer.setSingleShot(true);
    // Precise: a coarse timer may fire 5 % late, past the promised delay.
    m_drainTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_drainTimer, &QTimer::timeout, [this] { receivePending(); });
    bind();
}

UdpMotionManager::~UdpMotionManager() {
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool UdpMotionManager::bind() const {
    if (m_fd >= 0) {
        return true;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        qCWarning(lcMotion) << "Cannot open the head-motion socket:" << errnoText(errno);
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_options.port);
    // Loopback only: nothing on the network can feed the app.
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        if (!m_unavailableLogged) {
            qCInfo(lcMotion) << "Head motion unavailable: cannot bind 127.0.0.1 port"
                             << m_options.port << "-" << errnoText(error);
            m_unavailableLogged = true;
        }
        return false;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kIdleBufferBytes, sizeof kIdleBufferBytes);
    // Each datagram's arrival, so a sample read later is still dated right.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    m_fd = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    m_notifier->setEnabled(false);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                     [this] { const_cast<UdpMotionManager*>(this)->receivePending(); });
    qCInfo(lcMotion) << "Listening for opentrack on 127.0.0.1 port" << port();
    return true;
}

bool UdpMotionManager::isDeviceMotionAvailable() const {
    return bind();
}

bool UdpMotionManager::isDeviceMotionActive() const {
    return static_cast<bool>(m_handler);
}

std::uint16_t UdpMotionManager::port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

void UdpMotionManager::startDeviceMotionUpdates(Handler handler) {
    if (!handler || !bind()) {
        return;
    }
    const bool starting = !m_handler;
    m_handler = std::move(handler);
    if (!starting) {
        return;
    }
    discardQueued();
    // Counting starts here: drops so far were of datagrams nobody waited for.
    if (!updateKernelDrops()) {
        qCWarning(lcMotion) << "The kernel does not report head-motion datagrams it drops";
    }

    const int wanted = std::max(m_options.receiveBufferBytes, kIdleBufferBytes);
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    socklen_t length = sizeof m_grantedBufferBytes;
    ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &m_grantedBufferBytes, &length);
    qCInfo(lcMotion).nospace() << "Head-motion receive buffer: " << m_grantedBufferBytes
                               << " bytes (asked for " << wanted
                               << "; the kernel doubles the request and caps it at "
                                  "net.core.rmem_max)";
    m_notifier->setEnabled(true);
}

void UdpMotionManager::discardQueued() {
    // Bounded, in case a sender keeps the queue full while we read.
    for (int round = 0; round < 64; ++round) {
        const int n = m_batch->receive(m_fd, kBatch);
        if (n < kBatch) {
            return;
        }
    }
}

std::size_t UdpMotionManager::receivePending() {
    if (m_fd < 0 || !m_handler) {
        return 0;
    }
    if (m_receiving) {
        // A handler spinning an event loop: deliveries stay one at a time, and
        // the notifier rests until that handler returns instead of firing on
        // the still-readable socket all the while.
        m_notifier->setEnabled(false);
        m_notifierPaused = true;
        return 0;
    }
    m_receiving = true;
    ++m_passes;
    Batch& batch = *m_batch;
    std::size_t read = 0;
    const auto limit = static_cast<std::size_t>(m_options.maxDatagramsPerPass);
    while (read < limit) {
        const int want = static_cast<int>(std::min<std::size_t>(kBatch, limit - read));
        const int n = batch.receive(m_fd, want);
        if (n < 0) {
            const int error = errno;
            if (!wouldBlock(error)) {
                qCWarning(lcMotion) << "Head-motion socket error:" << errnoText(error);
                m_handler(std::nullopt);
            }
            break;
        }
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::array<std::optional<MotionSample>, kBatch>& samples = batch.samples;
        int last = -1; // the last good one, which ends the reading
        for (int i = 0; i < n; ++i) {
            samples[i] = batch.truncated(i) ? std::nullopt
                                            : parseOpentrackDatagram(batch.buffers[i].data(),
                                                                     batch.headers[i].msg_len);
            if (samples[i]) {
                samples[i]->age = batch.age(i, now);
                last = i;
            } else {
                ++m_malformed;
            }
        }
        for (int i = 0; i <= last; ++i) {
            if (samples[i]) {
                samples[i]->batchContinues = i < last;
                m_handler(samples[i]);
            }
        }
        read += static_cast<std::size_t>(n);
        if (n < want) {
            break;
        }
    }
    updateKernelDrops();
    m_receiving = false;
    m_notifierPaused = false;
    scheduleNextPass(read);
    if (m_malformed != m_reportedMalformed || m_dropped != m_reportedDropped) {
        reportCounts();
    }
    return read;
}

void UdpMotionManager::setMaximumDelay(double seconds) {
    const double ms = std::isfinite(seconds) ? std::round(seconds * 1000.0) : 0.0;
    m_delayMs = static_cast<int>(std::clamp(ms, 0.0, 60'000.0));
    // A shorter delay holds for the samples already waiting too.
    if (m_drainTimer.isActive() && m_drainTimer.remainingTime() > m_delayMs) {
        m_drainTimer.start(m_delayMs);
    }
}

void UdpMotionManager::deliverPending() {
    // Only while a stream runs: a quiet socket's next datagram is read at once.
    if (m_drainTimer.isActive()) {
        receivePending();
    }
}

void UdpMotionManager::scheduleNextPass(std::size_t read) {
    if (read >= static_cast<std::size_t>(m_options.maxDatagramsPerPass)) {
        // A backlog: read on at the loop's next turn, after the events waiting.
        m_drainTimer.stop();
        m_notifier->setEnabled(true);
    } else if (read > 0) {
        // A stream: let it collect in the kernel's queue until the next pass,
        // counted from this one however it came.
        m_notifier->setEnabled(false);
        m_drainTimer.start(m_delayMs);
    } else {
        // Quiet: the next datagram wakes the loop itself.
        m_drainTimer.stop();
        m_notifier->setEnabled(true);
    }
}

bool UdpMotionManager::updateKernelDrops() {
    // The socket's own drop counter; read after each pass it also covers
    // datagrams lost at the very end of a burst.
    std::array<std::uint32_t, SK_MEMINFO_VARS> info{};
    socklen_t length = sizeof info;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_MEMINFO, info.data(), &length) != 0 ||
        length < sizeof(std::uint32_t) * (SK_MEMINFO_DROPS + 1)) {
        return false;
    }
    const std::uint32_t drops = info[SK_MEMINFO_DROPS];
    if (m_kernelDropsKnown) {
        // Unsigned difference: the kernel's 32-bit counter may wrap.
        m_dropped += static_cast<std::uint32_t>(drops - m_kernelDropsSeen);
    }
    m_kernelDropsSeen = drops;
    m_kernelDropsKnown = true;
    return true;
}

void UdpMotionManager::reportCounts() {
    if (m_sinceReport.isValid() && m_sinceReport.elapsed() < kReportIntervalMs) {
        if (!m_reportTimer.isActive()) {
            m_reportTimer.start(static_cast<int>(kReportIntervalMs - m_sinceReport.elapsed()));
        }
        return;
    }
    if (m_malformed == m_reportedMalformed && m_dropped == m_reportedDropped) {
        return;
    }
    qCWarning(lcMotion).nospace() << "Head-motion datagrams lost since start: " << m_malformed
                                  << " malformed, " << m_dropped
                                  << " dropped by the kernel (receive buffer full)";
    m_reportedMalformed = m_malformed;
    m_reportedDropped = m_dropped;
    m_sinceReport.start();
}

} // namespace backbeacon
