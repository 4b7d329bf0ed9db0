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
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
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

// Runs the event loop until `done` holds or a generous bound passes; the bound
// only keeps a broken build from hanging, it is not a speed check.
template <typename Predicate> bool waitFor(Predicate done) {
    const QDeadlineTimer deadline(30'000);
    QTimer wake; // wakes the loop now and then, so the bound is seen
    wake.start(100);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

MotionManager::Handler collect(Samples& into) {
    return [&into](const std::optional<MotionSample>& sample) { into.push_back(sample); };
}

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
std::uint32_t queuedBytes(int fd) {
    return receiveQueue(fd).first;
}

} // namespace

// Only well-formed datagrams sent after start become samples, in the engine's
// radians and signs, one at a time on the main thread; every other one is counted.
TEST(UdpMotionManager, DeliversOnlyWellFormedSamplesAfterStartAndCountsTheRest) {
    // One per pass: the next datagram waits while a sample is handled.
    UdpMotionManager receiver(Options{.port = 0, .maxDatagramsPerPass = 1});
    ASSERT_TRUE(receiver.isDeviceMotionAvailable());
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
    int depth = 0;
    int deepest = 0;
    int offMainThread = 0;
    // This handler runs the event loop inside, as a modal wait would.
    receiver.startDeviceMotionUpdates([&](const std::optional<MotionSample>& sample) {
        deepest = std::max(deepest, ++depth);
        offMainThread += QThread::currentThread() != QCoreApplication::instance()->thread();
        got.push_back(sample);
        QCoreApplication::processEvents();
        --depth;
    });

    // Wrong lengths: 49 and 100 bytes start with a valid datagram, so only a
    // detected truncation (or the parser's own length check) tells them apart.
    std::array<unsigned char, 100> longer{};
    std::ranges::copy(opentrackPose(10.0, 20.0), longer.begin());
    for (const std::size_t size : {0u, 47u, 49u, 100u}) {
        send(longer, size);
    }
    EXPECT_FALSE(parseOpentrackDatagram(longer.data(), 49));
    EXPECT_FALSE(parseOpentrackDatagram(nullptr, 48));
    // Any non-finite field; pitch or roll beyond a full turn, which describes no
    // head and could overflow the engine's sums.
    std::uint64_t bad = 4;
    for (const double value : {kNaN, HUGE_VAL, -HUGE_VAL}) {
        for (int field = 0; field < 6; ++field, ++bad) {
            double v[6] = {1, 2, 3, 4, 5, 6};
            v[field] = value;
            send(opentrackDatagram(v[0], v[1], v[2], v[3], v[4], v[5]));
        }
    }
    for (const auto& beyond : {opentrackPose(360.0000001, 0), opentrackPose(-360.0000001, 0),
                               opentrackPose(0, 360.0000001), opentrackPose(0, -1e300)}) {
        send(beyond);
        ++bad;
    }
    // Written by hand so it cannot share a byte-order mistake with the helper:
    // pitch 1.0 is 0x3FF0000000000000, roll -2.0 is 0xC000000000000000, least
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
    ASSERT_TRUE(waitFor([&] { return got.size() >= 3; }));

    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(sameSample(got[0], 1.0, -2.0));
    EXPECT_TRUE(sameSample(got[1], 360.0, -360.0));
    EXPECT_TRUE(sameSample(got[2], 12.5, -30.25));
    EXPECT_EQ(receiver.malformedDatagrams(), bad);
    EXPECT_EQ(receiver.droppedDatagrams(), 0u);
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(offMainThread, 0);
}

TEST(UdpMotionManager, APortAlreadyTakenIsUnavailableUntilItIsFree) {
    auto holder = std::make_unique<UdpMotionManager>(Options{.port = 0});
    const std::uint16_t port = holder->port();
    UdpMotionManager receiver(Options{.port = port});
    EXPECT_FALSE(receiver.isDeviceMotionAvailable());
    Samples got;
    receiver.startDeviceMotionUpdates(collect(got));
    EXPECT_FALSE(receiver.isDeviceMotionActive());

    // A later start asks again.
    holder.reset();
    receiver.startDeviceMotionUpdates(collect(got));
    EXPECT_TRUE(receiver.isDeviceMotionActive());
    EXPECT_EQ(receiver.port(), port);
}

// More than a small receive buffer holds, queued before the loop reads any: the
// kernel drops the surplus, and every datagram is delivered, in order, or
// counted. A socket error then is one delivery without a sample.
TEST(UdpMotionManager, KernelDropsAreCountedAndASocketErrorIsOneEmptyDelivery) {
    UdpMotionManager receiver(Options{.port = 0, .receiveBufferBytes = 16 * 1024});
    Samples got;
    receiver.startDeviceMotionUpdates(collect(got));
    std::vector<OpentrackBytes> datagrams;
    for (int i = 0; i < 2000; ++i) {
        datagrams.push_back(opentrackPose(i * 0.1, 0.0));
    }
    UdpSender sender(receiver.port());
    ASSERT_EQ(sender.sendAll(datagrams), datagrams.size());
    ASSERT_TRUE(waitFor([&] { return got.size() + receiver.droppedDatagrams() >= 2000; }));
    EXPECT_EQ(got.size() + receiver.droppedDatagrams(), 2000u);
    EXPECT_GT(receiver.droppedDatagrams(), 0u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(sameSample(got[i], static_cast<double>(i) * 0.1, 0.0)) << i;
    }

    // A real socket error: with IP_RECVERR on, the "port unreachable" answer to
    // a datagram sent from the receiver's own socket becomes a pending error.
    got.clear();
    const std::uint16_t closedPort = UdpMotionManager(Options{.port = 0}).port();
    const int on = 1;
    const int fd = receiver.socketDescriptor();
    ASSERT_EQ(::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on), 0);
    const sockaddr_in to = loopbackAddress(closedPort);
    ASSERT_EQ(::sendto(fd, "x", 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 1);
    ASSERT_TRUE(waitFor([&] { return !got.empty(); }));
    ASSERT_TRUE(sender.send(datagrams[0].data(), 48));
    ASSERT_TRUE(waitFor([&] { return got.size() >= 2; }));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FALSE(got[0]);
    EXPECT_TRUE(sameSample(got[1], 0.0, 0.0)) << "receiving goes on";
}

// 200,000 datagrams as fast as loopback takes them, every thousandth one bad.
// The loop must keep serving other events while the flood is read, every
// datagram must be delivered in order or counted, and the newest sample must
// be the last one delivered.
TEST(UdpMotionManager, AFloodLeavesTheLoopResponsiveAndEndsOnTheNewestSample) {
    constexpr int kSent = 200'000;
    constexpr int kBacklog = 128; // queued before the loop reads anything
    UdpMotionManager receiver(Options{.port = 0, .maxDatagramsPerPass = 16});
    std::size_t delivered = 0;
    int lastSequence = -1;
    int outOfOrder = 0;
    std::optional<std::size_t> deliveredWhenOtherEventRan;
    receiver.startDeviceMotionUpdates([&](const std::optional<MotionSample>& sample) {
        ASSERT_TRUE(sample);
        if (delivered++ == 0) {
            QTimer::singleShot(0, [&] { deliveredWhenOtherEventRan = delivered; });
        }
        const int sequence = static_cast<int>(std::lround(-sample->pitch * 180.0 / kPi * 1000.0));
        outOfOrder += sequence <= lastSequence;
        lastSequence = sequence;
    });

    std::vector<OpentrackBytes> datagrams;
    for (int i = 0; i < kSent; ++i) {
        datagrams.push_back(opentrackPose(i * 0.001, i % 1000 == 500 ? kNaN : 0.0));
    }
    const std::span<const OpentrackBytes> all(datagrams);
    UdpSender sender(receiver.port());
    std::atomic<std::size_t> sent = sender.sendAll(all.first(kBacklog));
    std::atomic<bool> finished = false;
    std::thread flood([&] {
        sent += sender.sendAll(all.subspan(kBacklog, kSent - kBacklog - 1));
        // The kernel throws away the newest datagram when the queue is full,
        // and no receiver can get that one back: the last is sent once there
        // is room, so it shows whether the receiver kept what it was given.
        const QDeadlineTimer bound(60'000);
        const auto roomy = [&] {
            const auto [queued, room] = receiveQueue(receiver.socketDescriptor());
            return queued + 4096 < room;
        };
        while (!roomy() && !bound.hasExpired()) {
            std::this_thread::yield();
        }
        sent += sender.sendAll(all.last(1));
        finished = true;
    });
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
}

// A running stream is read a batch per pass, so the loop wakes at the drain's
// pace and not the tracker's; a quiet socket is watched again and its next
// datagram read at once. A shorter maximum delay applies to the samples already
// waiting, and a sample read late carries how long it waited. The passes are
// driven by hand: the timer's interval is far longer than the test, so nothing
// here depends on how fast it runs.
TEST(UdpMotionManager, AStreamIsReadInBatchesAndAQuietSocketWakesOnItsNextDatagram) {
    UdpMotionManager receiver(Options{.port = 0, .drainIntervalMs = 3'600'000});
    Samples got;
    receiver.startDeviceMotionUpdates(collect(got));
    const int fd = receiver.socketDescriptor();
    UdpSender sender(receiver.port());
    const auto send = [&](double pitch) {
        ASSERT_TRUE(sender.send(opentrackPose(pitch, 0).data(), 48));
    };

    send(1);
    ASSERT_TRUE(waitFor([&] { return got.size() == 1; }));
    EXPECT_EQ(receiver.passes(), 1u) << "the first datagram wakes the loop";
    ASSERT_FALSE(got[0]->batchContinues);

    // The rest of the batch waits in the kernel's queue, whatever the loop does.
    send(2);
    ASSERT_TRUE(waitFor([&] { return queuedBytes(fd) > 0; }));
    const std::uint32_t one = queuedBytes(fd);
    for (int i = 3; i <= 6; ++i) {
        send(i);
    }
    const OpentrackBytes tooShort{};
    ASSERT_TRUE(sender.send(tooShort.data(), 47));
    ASSERT_TRUE(waitFor([&] { return queuedBytes(fd) > 5 * one; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(got.size(), 1u);
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
    EXPECT_EQ(receiver.passes(), 3u);
    receiver.deliverPending();
    EXPECT_EQ(receiver.passes(), 3u) << "a quiet socket is not read on demand";
    send(7);
    ASSERT_TRUE(waitFor([&] { return got.size() == 7; }));
    EXPECT_EQ(receiver.passes(), 4u);
    EXPECT_TRUE(sameSample(got.back(), 7, 0));

    send(8); // the stream runs again: this one waits for the drain
    ASSERT_TRUE(waitFor([&] { return queuedBytes(fd) > 0; }));
    constexpr double kWaited = 0.03;
    std::this_thread::sleep_for(std::chrono::duration<double>(kWaited));
    receiver.setMaximumDelay(0);
    ASSERT_TRUE(waitFor([&] { return got.size() == 8; }));
    // A lower bound only: a slow machine makes the wait longer, never shorter.
    // The kernel's clock and the sleep's may round apart by a tick.
    EXPECT_GE(got[7]->age, kWaited - 0.002);
    EXPECT_LE(got[7]->age, 1.0);
}
