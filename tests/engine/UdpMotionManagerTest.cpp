#include "engine/UdpMotionManager.h"

#include "OpentrackSender.h"
#include "engine/OpentrackDatagram.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <ifaddrs.h>
#include <limits>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <thread>
#include <vector>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

constexpr double kPi = 3.141592653589793;

// Runs the event loop until `done` holds or a generous bound passes; the bound
// only keeps a broken build from hanging, it is not a speed check.
template <typename Predicate> bool waitFor(Predicate done, int boundMs = 30'000) {
    QDeadlineTimer deadline(boundMs);
    QTimer wake; // wakes the loop now and then, so the bound is seen
    wake.start(100);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

UdpMotionManager::Options freePort() {
    UdpMotionManager::Options options;
    options.port = 0;
    return options;
}

// What a receiver delivered, and on which thread.
struct Deliveries {
    MotionManager::Handler handler() {
        return [this](const std::optional<MotionSample>& sample) {
            offMainThread += QThread::currentThread() != QCoreApplication::instance()->thread();
            items.push_back(sample);
        };
    }
    std::vector<std::optional<MotionSample>> items;
    int offMainThread = 0;
};

bool sameSample(const std::optional<MotionSample>& got, double pitchDegrees, double rollDegrees) {
    return got && got->pitch == -pitchDegrees * kPi / 180.0 &&
           got->roll == -rollDegrees * kPi / 180.0;
}

// A local IPv4 address other than loopback, if the machine has one.
std::optional<in_addr> otherLocalAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    std::optional<in_addr> found;
    for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
            const in_addr address = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr;
            if ((ntohl(address.s_addr) >> 24) != 127) {
                found = address;
            }
        }
    }
    ::freeifaddrs(list);
    return found;
}

// Whether another datagram fits in a socket's receive queue.
bool queueHasRoom(int fd) {
    std::array<std::uint32_t, SK_MEMINFO_VARS> info{};
    socklen_t length = sizeof info;
    return ::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, info.data(), &length) == 0 &&
           info[SK_MEMINFO_RMEM_ALLOC] + 4096 < info[SK_MEMINFO_RCVBUF];
}

} // namespace

TEST(UdpMotionManager, DeliversLoopbackSamplesOneAtATimeOnTheMainThreadAfterStart) {
    UdpMotionManager::Options options = freePort();
    options.maxDatagramsPerPass = 1; // the second datagram waits while the first is handled
    UdpMotionManager receiver(options);
    ASSERT_TRUE(receiver.isDeviceMotionAvailable());
    ASSERT_NE(receiver.port(), 0);
    EXPECT_FALSE(receiver.isDeviceMotionActive());
    UdpSender sender(receiver.port());

    // Waiting before delivery starts: discarded, never handed over late.
    ASSERT_TRUE(sender.send(opentrackPose(40.0, 40.0)));
    QCoreApplication::processEvents();
    Deliveries got;
    int depth = 0;
    int deepest = 0;
    const auto record = got.handler();
    // This handler runs the event loop inside, as a modal wait would.
    receiver.startDeviceMotionUpdates([&](const std::optional<MotionSample>& sample) {
        deepest = std::max(deepest, ++depth);
        record(sample);
        QCoreApplication::processEvents();
        --depth;
    });
    EXPECT_TRUE(receiver.isDeviceMotionActive());

    // Sent to another address of this machine: must not reach a loopback-only socket.
    if (const auto other = otherLocalAddress()) {
        sockaddr_in to = loopbackAddress(receiver.port());
        to.sin_addr = *other;
        const auto stray = opentrackPose(-40.0, -40.0);
        ::sendto(sender.descriptor(), stray.data(), stray.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    ASSERT_TRUE(sender.send(opentrackPose(-7.5, 3.25)));
    ASSERT_TRUE(sender.send(opentrackPose(1.0, -2.0)));
    ASSERT_TRUE(waitFor([&] { return got.items.size() >= 2; }));

    ASSERT_EQ(got.items.size(), 2u);
    EXPECT_TRUE(sameSample(got.items[0], -7.5, 3.25));
    EXPECT_TRUE(sameSample(got.items[1], 1.0, -2.0));
    EXPECT_EQ(got.offMainThread, 0);
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(receiver.malformedDatagrams(), 0u);
    EXPECT_GT(receiver.receiveBufferBytes(), 0);
}

TEST(UdpMotionManager, MalformedDatagramsAreCountedAndNeverDelivered) {
    UdpMotionManager receiver(freePort());
    Deliveries got;
    receiver.startDeviceMotionUpdates(got.handler());
    UdpSender sender(receiver.port());

    const auto valid = opentrackPose(10.0, 20.0);
    unsigned char longer[100] = {};
    std::memcpy(longer, valid.data(), valid.size());
    // 49 and 100 bytes start with a valid datagram: only the length is wrong.
    for (const std::size_t size : {0u, 1u, 47u, 49u, 100u}) {
        ASSERT_TRUE(sender.send(longer, size)) << size;
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    ASSERT_TRUE(sender.send(opentrackPose(nan, 0.0)));
    ASSERT_TRUE(sender.send(opentrackPose(0.0, -inf)));
    ASSERT_TRUE(sender.send(opentrackDatagram(inf, 0, 0, 0, 0, 0)));
    ASSERT_TRUE(sender.send(opentrackPose(1e308, 0.0)));
    ASSERT_TRUE(sender.send(valid));
    ASSERT_TRUE(waitFor([&] { return !got.items.empty(); }));

    ASSERT_EQ(got.items.size(), 1u);
    EXPECT_TRUE(sameSample(got.items[0], 10.0, 20.0));
    EXPECT_EQ(receiver.malformedDatagrams(), 9u);
    EXPECT_EQ(receiver.droppedDatagrams(), 0u);
}

TEST(UdpMotionManager, APortAlreadyTakenIsUnavailableUntilItIsFree) {
    HeldUdpPort held;
    UdpMotionManager::Options options;
    options.port = held.port();
    UdpMotionManager receiver(options);
    EXPECT_FALSE(receiver.isDeviceMotionAvailable());
    Deliveries got;
    receiver.startDeviceMotionUpdates(got.handler());
    EXPECT_FALSE(receiver.isDeviceMotionActive());

    // A later start asks again.
    held.release();
    EXPECT_TRUE(receiver.isDeviceMotionAvailable());
    EXPECT_EQ(receiver.port(), options.port);
    receiver.startDeviceMotionUpdates(got.handler());
    EXPECT_TRUE(receiver.isDeviceMotionActive());
}

TEST(UdpMotionManager, ASocketErrorIsOneDeliveryWithoutASampleAndReceivingGoesOn) {
    UdpMotionManager receiver(freePort());
    Deliveries got;
    receiver.startDeviceMotionUpdates(got.handler());

    // A real socket error: with IP_RECVERR on, the "port unreachable" answer to
    // a datagram sent from the receiver's own socket becomes a pending error.
    const int on = 1;
    const int fd = receiver.socketDescriptor();
    ASSERT_EQ(::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on), 0);
    std::uint16_t closedPort = 0;
    {
        HeldUdpPort probe;
        closedPort = probe.port();
    }
    const sockaddr_in to = loopbackAddress(closedPort);
    ASSERT_EQ(::sendto(fd, "x", 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 1);
    ASSERT_TRUE(waitFor([&] { return !got.items.empty(); }));
    EXPECT_FALSE(got.items[0]);

    UdpSender sender(receiver.port());
    ASSERT_TRUE(sender.send(opentrackPose(2.0, 2.0)));
    ASSERT_TRUE(waitFor([&] { return got.items.size() >= 2; }));
    ASSERT_EQ(got.items.size(), 2u);
    EXPECT_TRUE(sameSample(got.items[1], 2.0, 2.0));
}

// More than the receive buffer holds, queued before the loop reads any: the
// kernel drops the surplus, and every datagram is either delivered, in order,
// or counted.
TEST(UdpMotionManager, KernelDropsAreCounted) {
    UdpMotionManager::Options options = freePort();
    options.receiveBufferBytes = 16 * 1024;
    UdpMotionManager receiver(options);
    Deliveries got;
    receiver.startDeviceMotionUpdates(got.handler());
    UdpSender sender(receiver.port());
    constexpr int kSent = 2000;
    for (int i = 0; i < kSent; ++i) {
        ASSERT_TRUE(sender.send(opentrackPose(i * 0.1, 0.0)));
    }
    ASSERT_TRUE(waitFor([&] {
        return got.items.size() + receiver.droppedDatagrams() >= static_cast<std::size_t>(kSent);
    }));

    EXPECT_EQ(got.items.size() + receiver.droppedDatagrams(), static_cast<std::size_t>(kSent));
    EXPECT_GT(receiver.droppedDatagrams(), 0u);
    ASSERT_FALSE(got.items.empty());
    for (std::size_t i = 0; i < got.items.size(); ++i) {
        EXPECT_TRUE(sameSample(got.items[i], static_cast<double>(i) * 0.1, 0.0)) << i;
    }
}

// 200,000 datagrams as fast as loopback takes them, every thousandth one bad.
// The loop must keep serving other events while the flood is read, every
// datagram must be delivered in order or counted, and the newest sample must
// be the last one delivered.
TEST(UdpMotionManager, AFloodLeavesTheLoopResponsiveAndEndsOnTheNewestSample) {
    constexpr int kSent = 200'000;
    constexpr int kBacklog = 128; // queued before the loop reads anything
    UdpMotionManager::Options options = freePort();
    options.maxDatagramsPerPass = 16;
    UdpMotionManager receiver(options);
    std::size_t delivered = 0;
    int lastSequence = -1;
    int outOfOrder = 0;
    std::optional<std::size_t> deliveredWhenOtherEventRan;
    receiver.startDeviceMotionUpdates([&](const std::optional<MotionSample>& sample) {
        if (!sample) {
            return;
        }
        if (delivered++ == 0) {
            QTimer::singleShot(0, [&] { deliveredWhenOtherEventRan = delivered; });
        }
        const int sequence = static_cast<int>(std::lround(-sample->pitch * 180.0 / kPi * 1000.0));
        outOfOrder += sequence <= lastSequence;
        lastSequence = sequence;
    });

    std::vector<OpentrackBytes> datagrams;
    int malformedSent = 0;
    for (int i = 0; i < kSent; ++i) {
        const bool bad = i % 1000 == 500;
        malformedSent += bad;
        datagrams.push_back(
            opentrackPose(i * 0.001, bad ? std::numeric_limits<double>::quiet_NaN() : 0.0));
    }
    std::promise<void> backlogQueued;
    std::atomic<std::size_t> sent = 0;
    std::atomic<bool> finished = false;
    std::thread flood([&] {
        UdpSender sender(receiver.port());
        const std::span<const OpentrackBytes> all(datagrams);
        sent += sender.sendAll(all.first(kBacklog));
        backlogQueued.set_value();
        sent += sender.sendAll(all.subspan(kBacklog, kSent - kBacklog - 1));
        // The kernel throws away the newest datagram when the queue is full,
        // and no receiver can get that one back: the last is sent once there
        // is room, so it shows whether the receiver kept what it was given.
        const QDeadlineTimer bound(60'000);
        while (!queueHasRoom(receiver.socketDescriptor()) && !bound.hasExpired()) {
            std::this_thread::yield();
        }
        sent += sender.sendAll(all.last(1));
        finished = true;
    });
    backlogQueued.get_future().wait();
    const bool accounted = waitFor([&] {
        return finished &&
               delivered + receiver.malformedDatagrams() + receiver.droppedDatagrams() >= sent;
    });
    flood.join();
    ASSERT_TRUE(accounted) << delivered << " delivered of " << sent;

    ASSERT_EQ(sent, static_cast<std::size_t>(kSent));
    EXPECT_EQ(delivered + receiver.malformedDatagrams() + receiver.droppedDatagrams(), sent);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(lastSequence, kSent - 1);
    ASSERT_TRUE(deliveredWhenOtherEventRan);
    EXPECT_LT(*deliveredWhenOtherEventRan, static_cast<std::size_t>(kBacklog));
    std::printf("flood: %zu delivered, %llu malformed, %llu dropped by the kernel\n", delivered,
                static_cast<unsigned long long>(receiver.malformedDatagrams()),
                static_cast<unsigned long long>(receiver.droppedDatagrams()));
}
