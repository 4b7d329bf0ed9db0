#pragma once

#include "engine/MotionManager.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <memory>

class QSocketNotifier;

namespace backbeacon {

// Head motion from opentrack's "UDP over network" output on 127.0.0.1. The
// port is bound at construction; delivery runs from the Qt event loop of the
// thread that made the receiver.
//
// A tracker may send 250 Hz or more while the posture rules need a few samples
// a second, so a running stream is read on a coarse timer, every sample of
// each batch delivered in order and dated by its arrival, instead of waking
// the loop per datagram. A quiet socket costs no wake-ups at all: the first
// datagram after a pause wakes the loop through the socket itself.
class UdpMotionManager final : public MotionManager {
public:
    struct Options {
        // 0 lets the system pick a free port (tests).
        std::uint16_t port = 4242;
        // Asked of the kernel once delivery starts; it caps the request at
        // net.core.rmem_max and the granted size is logged.
        int receiveBufferBytes = 1 << 20;
        // Read per event-loop pass before yielding, so a flood cannot starve
        // timers and user input.
        int maxDatagramsPerPass = 256;
        // While datagrams keep coming, how often the socket is read until
        // setMaximumDelay says otherwise; a sample reaches the engine at most
        // this much later than it arrived.
        int drainIntervalMs = 50;
    };

    UdpMotionManager();
    explicit UdpMotionManager(Options options);
    ~UdpMotionManager() override;
    UdpMotionManager(const UdpMotionManager&) = delete;
    UdpMotionManager& operator=(const UdpMotionManager&) = delete;

    // Whether the port is ours; a port taken earlier is tried again, so a
    // later start() can succeed once it is free.
    bool isDeviceMotionAvailable() const override;
    bool isDeviceMotionActive() const override;
    void startDeviceMotionUpdates(Handler handler) override;
    // The drain interval while a stream runs; a shorter one applies at once.
    void setMaximumDelay(double seconds) override;
    // One pass now while a stream runs; the next timed one counts from it.
    void deliverPending() override;

    // The bound port, 0 while unbound.
    std::uint16_t port() const;
    // The receive buffer the kernel granted, in bytes (0 before start).
    int receiveBufferBytes() const { return m_grantedBufferBytes; }
    // Since start: datagrams of the wrong size or with unusable values, and
    // datagrams the kernel dropped because the receive buffer was full.
    std::uint64_t malformedDatagrams() const { return m_malformed; }
    std::uint64_t droppedDatagrams() const { return m_dropped; }

    // One pass over what is waiting, at most maxDatagramsPerPass datagrams, each
    // sample delivered before this returns. Returns the datagrams read. The
    // socket notifier and the drain timer call this; so does the receive
    // benchmark, without an event loop.
    std::size_t receivePending();

    // Event-loop wake-ups that read the socket since start, for the receive
    // benchmark and tests: with a steady stream about one per maximum delay,
    // whatever the stream's rate.
    std::uint64_t passes() const { return m_passes; }

    // The socket itself, for tests that provoke socket errors.
    int socketDescriptor() const { return m_fd; }

private:
    struct Batch;
    bool bind() const;
    void discardQueued();
    bool updateKernelDrops();
    void reportCounts();
    void scheduleNextPass(std::size_t read);

    Options m_options;
    mutable int m_fd = -1;
    mutable std::unique_ptr<QSocketNotifier> m_notifier;
    mutable bool m_unavailableLogged = false;
    std::unique_ptr<Batch> m_batch;
    Handler m_handler;
    bool m_receiving = false;
    bool m_notifierPaused = false;
    int m_grantedBufferBytes = 0;
    std::uint64_t m_malformed = 0;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_passes = 0;
    int m_delayMs = 0;
    std::uint32_t m_kernelDropsSeen = 0;
    bool m_kernelDropsKnown = false;

    // Runs the next pass while a stream lasts; the notifier rests meanwhile.
    QTimer m_drainTimer;

    // Counts reach the log at most once per interval, the last change included.
    QElapsedTimer m_sinceReport;
    QTimer m_reportTimer;
    std::uint64_t m_reportedMalformed = 0;
    std::uint64_t m_reportedDropped = 0;
};

} // namespace backbeacon
