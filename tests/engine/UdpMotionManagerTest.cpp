#include "engine/UdpMotionManager.h"

#include "OpentrackSender.h"
#include "WaitFor.h"
#include "engine/OpentrackDatagram.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <limits>
#include <linux/sock_diag.h>
#include <thread>

using namespace backbeacon;
using namespace backbeacon::testing;
using Options = UdpMotionManager::Options;
using Samples = std::vector<std::optional<MotionSample>>;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool sameSample(const std::optional<MotionSample>& got, double pitchDegrees, double rollDegrees) {
    return got && got->pitch == -pitchDegrees * kPi / 180.0 &&
           got->roll == -rollDegrees * kPi / 180.0;
}

// A socket's receive queue as the kernel charges it: bytes waiting, and the room for them.
std::pair<std::uint32_t, std::uint32_t> receiveQueue(int fd) {
    std::array<std::uint32_t, SK_MEMINFO_VARS> info{};
    socklen_t length = sizeof info;
    ::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, info.data(), &length);
    return {info[SK_MEMINFO_RMEM_ALLOC], info[SK_MEMINFO_RCVBUF]};
}

} // namespace

// Only well-formed datagrams sent after start become samples, in the engine's
// radians and signs, one at a time on the main thread; every other one is counted.
TEST(UdpMotionManager, DeliversOnlyWellFormedSamplesAfterStartAndCountsTheRest) {
    // One per pass: the next datagram waits while a sample is handled.
    UdpMotionManager receiver(Options{.port = 0, .maxDatagramsPerPass = 1});
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(receiver.socketDescriptor(), reinterpret_cast<sockaddr*>(&bound), &length);
    EXPECT_EQ(ntohl(bound.sin_addr.s_addr), INADDR_LOOPBACK) << "reachable from the network";
    UdpSender sender(receiver.port());
    const auto send = [&](const auto& bytes, std::size_t size = 48) {
        ASSERT_TRUE(sender.send(bytes.data(), size)) << size;
    };
    send(opentrackPose(40.0, 40.0)); // waiting before start: discarded, never handed over late
    QCoreApplication::processEvents();
    Samples got;
    int depth = 0, deepest = 0, offMainThread = 0;
    // This handler runs the event loop inside, as a modal wait would.
    receiver.startDeviceMotionUpdates([&](const std::optional<MotionSample>& sample) {
        deepest = std::max(deepest, ++depth);
        offMainThread += QThread::currentThread() != QCoreApplication::instance()->thread();
        got.push_back(sample);
        QCoreApplication::processEvents();
        --depth;
    });

    // Wrong lengths (49 and 100 bytes start with a valid datagram, so only a
    // detected truncation tells them apart); any non-finite field; pitch or
    // roll beyond a full turn, which describes no head and could overflow the
    // engine's sums.
    std::array<unsigned char, 100> longer{};
    std::ranges::copy(opentrackPose(10.0, 20.0), longer.begin());
    for (const std::size_t size : {0u, 47u, 49u, 100u}) {
        send(longer, size);
    }
    EXPECT_FALSE(parseOpentrackDatagram(nullptr, 48));
    for (std::size_t i = 0; i < 18; ++i) {
        std::array v{1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
        v[i % 6] = std::array{kNaN, HUGE_VAL, -HUGE_VAL}[i / 6];
        send(opentrackDatagram(v[0], v[1], v[2], v[3], v[4], v[5]));
    }
    for (const auto& beyond : {opentrackPose(360.0000001, 0), opentrackPose(-360.0000001, 0),
                               opentrackPose(0, 360.0000001), opentrackPose(0, -1e300)}) {
        send(beyond);
    }
    // By hand, so it cannot share a byte-order mistake with the helper: pitch
    // 1.0 is 0x3FF0000000000000, roll -2.0 is 0xC000000000000000, least
    // significant byte first.
    OpentrackBytes handMade{};
    handMade[32 + 6] = 0xF0;
    handMade[32 + 7] = 0x3F;
    handMade[40 + 7] = 0xC0;
    send(handMade);
    send(opentrackDatagram(1e300, -1e300, 5e-324, -0.0, 360.0, -360.0));
    // opentrack's looking up and tilting toward the right shoulder: the engine's
    // leaning back (negative pitch) and tilting right (positive roll).
    send(opentrackPose(12.5, -30.25));
    ASSERT_TRUE(waitFor([&] { return got.size() >= 3; }, 30'000));

    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(sameSample(got[0], 1.0, -2.0) && sameSample(got[1], 360.0, -360.0));
    EXPECT_TRUE(sameSample(got[2], 12.5, -30.25)) << "opentrack's signs";
    EXPECT_EQ(receiver.malformedDatagrams(), 4u + 3 * 6 + 4);
    EXPECT_EQ(std::tuple(receiver.droppedDatagrams(), deepest, offMainThread),
              std::tuple(0u, 1, 0));
}

TEST(UdpMotionManager, APortAlreadyTakenIsUnavailableUntilItIsFree) {
    auto holder = std::make_unique<UdpMotionManager>(Options{.port = 0});
    UdpMotionManager receiver(Options{.port = holder->port()});
    EXPECT_FALSE(receiver.isDeviceMotionAvailable());
    receiver.startDeviceMotionUpdates([](const auto&) {});
    EXPECT_FALSE(receiver.isDeviceMotionActive());
    holder.reset(); // a later start asks again
    receiver.startDeviceMotionUpdates([](const auto&) {});
    EXPECT_TRUE(receiver.isDeviceMotionActive());
}

// More than a small receive buffer holds, queued before the loop reads any:
// the kernel drops the surplus, every datagram is delivered in order or
// counted, and the loop serves other events between passes.
TEST(UdpMotionManager, AFloodIsCountedInOrderAndLeavesTheLoopResponsive) {
    constexpr std::size_t kSent = 2000;
    UdpMotionManager receiver(
        Options{.port = 0, .receiveBufferBytes = 16 * 1024, .maxDatagramsPerPass = 16});
    Samples got;
    std::optional<std::size_t> deliveredWhenOtherEventRan;
    receiver.startDeviceMotionUpdates([&](const std::optional<MotionSample>& sample) {
        if (got.empty()) {
            QTimer::singleShot(0, [&] { deliveredWhenOtherEventRan = got.size(); });
        }
        got.push_back(sample);
    });
    std::vector<OpentrackBytes> datagrams;
    for (std::size_t i = 0; i < kSent; ++i) {
        datagrams.push_back(opentrackPose(static_cast<double>(i) * 0.1, i % 100 == 50 ? kNaN : 0));
    }
    UdpSender sender(receiver.port());
    ASSERT_EQ(sender.sendAll(datagrams), kSent);
    const auto accounted = [&] {
        return got.size() + receiver.malformedDatagrams() + receiver.droppedDatagrams();
    };
    ASSERT_TRUE(waitFor([&] { return accounted() >= kSent; }));
    EXPECT_EQ(accounted(), kSent);
    EXPECT_GT(receiver.droppedDatagrams(), 0u);
    const auto pitch = [](const auto& sample) { return sample.value().pitch; };
    EXPECT_EQ(std::ranges::adjacent_find(got, std::ranges::less_equal{}, pitch), got.end());
    EXPECT_LT(deliveredWhenOtherEventRan.value_or(kSent), 17u);
}

// A running stream is read a batch per pass, so the loop wakes at the drain's
// pace and not the tracker's; a quiet socket is watched again and its next
// datagram read at once. A shorter maximum delay applies to the samples already
// waiting, and a sample read late carries how long it waited. The passes are
// driven by hand: the drain's interval is far longer than the test.
TEST(UdpMotionManager, AStreamIsReadInBatchesAndAQuietSocketWakesOnItsNextDatagram) {
    UdpMotionManager receiver(Options{.port = 0, .drainIntervalMs = 3'600'000});
    Samples got;
    receiver.startDeviceMotionUpdates([&](const auto& sample) { got.push_back(sample); });
    const int fd = receiver.socketDescriptor();
    UdpSender sender(receiver.port());
    const auto send = [&](double pitch) {
        ASSERT_TRUE(sender.send(opentrackPose(pitch, 0).data(), 48));
    };
    const auto queued = [&](std::uint32_t bytes) {
        return waitFor([&] { return receiveQueue(fd).first > bytes; });
    };

    send(1);
    ASSERT_TRUE(waitFor([&] { return got.size() == 1; }));
    EXPECT_EQ(receiver.passes(), 1u) << "the first datagram wakes the loop";
    // The rest of the batch waits in the kernel's queue, whatever the loop does.
    send(2);
    ASSERT_TRUE(queued(0));
    const std::uint32_t one = receiveQueue(fd).first;
    for (int i = 3; i <= 6; ++i) {
        send(i);
    }
    ASSERT_TRUE(sender.send(OpentrackBytes{}.data(), 47));
    ASSERT_TRUE(queued(5 * one));
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.passes(), 1u);

    // The drain's pass: the whole batch in order, the last good sample ending
    // it although a malformed datagram came after.
    receiver.deliverPending();
    EXPECT_EQ(receiver.passes(), 2u) << "one pass for the whole batch";
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(receiver.malformedDatagrams(), 1u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(sameSample(got[i], static_cast<double>(i) + 1, 0)) << i;
        EXPECT_EQ(got[i]->batchContinues, i > 0 && i < 5) << i;
    }

    // The stream has stopped: the next pass finds nothing and hands the socket
    // back to the notifier, which reads the next datagram at once.
    receiver.deliverPending();
    receiver.deliverPending();
    EXPECT_EQ(receiver.passes(), 3u) << "a quiet socket is not read on demand";
    send(7);
    ASSERT_TRUE(waitFor([&] { return got.size() == 7; }));
    EXPECT_EQ(receiver.passes(), 4u);

    send(8); // the stream runs again: this one waits for the drain
    ASSERT_TRUE(queued(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    receiver.setMaximumDelay(0);
    ASSERT_TRUE(waitFor([&] { return got.size() == 8; }));
    // A lower bound only; the kernel's clock and the sleep's may round apart by a tick.
    EXPECT_GE(got[7]->age, 0.028);
    EXPECT_LE(got[7]->age, 1.0);

    // A socket error (with IP_RECVERR, the "port unreachable" answer to a
    // datagram sent from the receiver's own socket) is one delivery without a
    // sample, and receiving goes on.
    const int on = 1;
    ASSERT_EQ(::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on), 0);
    const sockaddr_in to = loopbackAddress(UdpMotionManager(Options{.port = 0}).port());
    ASSERT_EQ(::sendto(fd, "x", 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 1);
    send(9);
    ASSERT_TRUE(waitFor([&] { return got.size() >= 10; }));
    EXPECT_TRUE(!got[8] && sameSample(got.at(9), 9, 0));
}
