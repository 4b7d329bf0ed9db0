#include "EngineRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

using Kind = PostureState::Kind;

// A 10° threshold, alerts after 5 s and diagnostics counted, unless a case says otherwise.
class PostureMonitorTest : public ::testing::Test {
protected:
    PostureMonitorTest() {
        settings.setSensitivityDegrees(10);
        settings.setAlertDelay(5);
        settings.setCollectDiagnostics(true);
    }
    Kind kind() const { return monitor.state().kind(); }
    const DailyStats& today() const { return rig.stats.today(); }
    // The state, the alerts shown and the slouches and fixes counted.
    auto tally() const {
        return std::tuple(kind(), rig.alertsShown(), today().slouches, today().fixes);
    }

    EngineRig rig;
    PostureMonitor& monitor = *rig.monitor;
    AppSettings& settings = rig.settings;
};

TEST(DirectionLabel, FollowsTheDominantAxisAndItsSign) {
    EXPECT_EQ(PostureMonitor::directionLabel(radians(1), 0, 1.0), "");
    EXPECT_EQ(PostureMonitor::directionLabel(radians(2), 0, 2.0), "toward bad posture");
    EXPECT_EQ(PostureMonitor::directionLabel(radians(-2), 0, 2.0), "leaning back");
    EXPECT_EQ(PostureMonitor::directionLabel(radians(1), radians(1.5), 1.8), "tilting right");
    EXPECT_EQ(PostureMonitor::directionLabel(radians(1), radians(-1.5), 1.8), "tilting left");
    // Roll exactly 1.4 times pitch is not "clearly" dominant.
    EXPECT_EQ(PostureMonitor::directionLabel(radians(-1), radians(1.4), 1.7), "leaning back");
}

TEST_F(PostureMonitorTest, StartIsHarmlessTwiceAndResetDependsOnWhetherDeliveryRuns) {
    monitor.resetCalibration();
    EXPECT_EQ(kind(), Kind::idle);
    rig.motion.available = false;
    monitor.start();
    EXPECT_EQ(kind(), Kind::unavailable);
    EXPECT_EQ(rig.motion.starts, 0);
    EXPECT_EQ(rig.time.activeTimers(), 0u);

    rig.motion.available = true;
    monitor.start();
    EXPECT_EQ(kind(), Kind::needsCalibration);
    rig.startCalibrated(); // starts again
    EXPECT_EQ(rig.motion.starts, 1);
    monitor.resetCalibration();
    EXPECT_EQ(kind(), Kind::needsCalibration);
    EXPECT_FALSE(settings.isCalibrated());
    rig.hold(0, 0, 1);
    EXPECT_EQ(kind(), Kind::needsCalibration);
}

TEST_F(PostureMonitorTest, ReconnectWindowAdoptsTheMeanOfItsSamples) {
    monitor.start();
    const Instant opened = rig.time.now();
    rig.motion.deliver(0.10, 0.00);
    EXPECT_EQ(kind(), Kind::needsCalibration);
    rig.time.advance(1.0);
    rig.motion.deliver(0.20, 0.02);
    EXPECT_TRUE(monitor.connected());
    EXPECT_FALSE(settings.isCalibrated());

    rig.time.advance(1.2); // exactly 2.2 s after the first sample
    rig.motion.deliver(0.30, 0.04);
    ASSERT_TRUE(settings.goodPosture());
    EXPECT_NEAR(settings.goodPosture()->pitch(), 0.20, 1e-15);
    EXPECT_NEAR(settings.goodPosture()->roll(), 0.02, 1e-15);
    EXPECT_EQ(settings.goodPosture()->capturedAt(), opened + 2.2);
    EXPECT_EQ(kind(), Kind::good);
    EXPECT_EQ(settings.diagnostics().calibrations, 0);
    EXPECT_EQ(today().monitoredSeconds, 0);
}

TEST_F(PostureMonitorTest, ClassifiesAgainstTheThresholdAndAlertsOncePerStreak) {
    rig.startCalibrated();
    ASSERT_EQ(kind(), Kind::good);
    rig.sampleAfter(0.5, 10.0);
    EXPECT_EQ(kind(), Kind::good) << "a drift equal to the threshold is in line";
    EXPECT_DOUBLE_EQ(monitor.combinedDriftDegrees(), 10.0);
    EXPECT_EQ(monitor.directionLabel(), "toward bad posture");
    EXPECT_DOUBLE_EQ(monitor.driftFraction(), 1.0);

    rig.sampleAfter(0.5, 10.001);
    ASSERT_EQ(kind(), Kind::bad);
    const Instant since = monitor.state().date();
    EXPECT_EQ(since, rig.time.now());
    rig.hold(25, 0, 4.5, 0.5); // halves keep the sums exact
    rig.sampleAfter(0.499, 25);
    EXPECT_EQ(rig.alertsShown(), 0u);
    EXPECT_DOUBLE_EQ(monitor.driftFraction(), 1.5);
    rig.time.jumpClock(since + 5.0);
    rig.motion.deliver(radians(25), 0);
    EXPECT_EQ(tally(), std::tuple(Kind::bad, 1u, 1, 0));
    EXPECT_EQ(monitor.state().date(), since);
    EXPECT_EQ(settings.diagnostics().alertsSent, 1);
    rig.hold(25, 0, 20, 1.0);
    EXPECT_EQ(tally(), std::tuple(Kind::bad, 1u, 1, 0)) << "once per streak";
    rig.sampleAfter(1, 0, 2);
    EXPECT_EQ(tally(), std::tuple(Kind::good, 1u, 1, 1));
    EXPECT_EQ(monitor.directionLabel(), "tilting right");

    rig.sampleAfter(1, 30);
    rig.hold(30, 0, 4, 0.5);
    rig.sampleAfter(1, 0);
    EXPECT_EQ(tally(), std::tuple(Kind::good, 1u, 1, 1)) << "ended before its alert: no count";

    // With no delay the streak's second sample alerts; the notification waits out the
    // cooldown of the first, so the slouches tell.
    settings.setAlertDelay(0);
    rig.sampleAfter(0.1, 40);
    EXPECT_EQ(today().slouches, 1);
    rig.sampleAfter(0.1, 40);
    EXPECT_EQ(today().slouches, 2);
}

TEST_F(PostureMonitorTest, ChargesEachIntervalToTheStateItWasSpentIn) {
    rig.startCalibrated();
    const double monitoredAtStart = today().monitoredSeconds;
    rig.sampleAfter(1, 0);  // +1 good
    rig.sampleAfter(1, 30); // +1 good, now bad
    rig.sampleAfter(2, 30); // +2 bad
    rig.sampleAfter(3, 0);  // +3 bad, now good
    rig.sampleAfter(5, 0);  // a silence: a disconnect, and nothing added
    EXPECT_NEAR(today().monitoredSeconds - monitoredAtStart, 7, 1e-6);
    EXPECT_NEAR(today().slouchedSeconds, 5, 1e-6);
}

TEST_F(PostureMonitorTest, SnoozeSuspendsClassificationAndCancellingTouchesOnlyASnooze) {
    rig.startCalibrated();
    rig.hold(30, 0, 6, 0.5);
    ASSERT_EQ(rig.alertsShown(), 1u);

    rig.center.invoke(QStringLiteral("backbeacon.snooze10"));
    const Instant until = rig.time.now() + 600;
    EXPECT_EQ(settings.snoozeUntil(), until);
    EXPECT_EQ(monitor.state(), PostureState::snoozed(until));
    rig.center.invoke(QStringLiteral("default"));
    EXPECT_EQ(settings.snoozeUntil(), until);

    const DailyStats before = today();
    rig.hold(30, 0, 60, 1.0);
    EXPECT_NEAR(monitor.combinedDriftDegrees(), 30, 1e-9);
    EXPECT_EQ(monitor.state(), PostureState::snoozed(until));
    EXPECT_NEAR(today().monitoredSeconds - before.monitoredSeconds, 60, 1e-6);
    EXPECT_EQ(today().slouchedSeconds, before.slouchedSeconds);
    EXPECT_EQ(rig.alertsShown(), 1u);

    // At the deadline the snooze has expired: cleared, and the sample opens a new streak.
    rig.time.jumpClock(until);
    rig.motion.deliver(radians(30), 0);
    EXPECT_FALSE(settings.snoozeUntil());
    EXPECT_EQ(monitor.state(), PostureState::bad(until));

    settings.setSnoozeUntil(rig.time.now() + 60);
    monitor.cancelSnooze();
    EXPECT_EQ(kind(), Kind::bad);
    EXPECT_FALSE(settings.snoozeUntil());
    monitor.snooze(10);
    monitor.cancelSnooze();
    EXPECT_EQ(kind(), Kind::good);
    EXPECT_FALSE(settings.snoozeUntil());
    settings.setGoodPosture(std::nullopt);
    monitor.snooze(0);
    monitor.cancelSnooze();
    EXPECT_EQ(kind(), Kind::needsCalibration);
}

TEST_F(PostureMonitorTest, SilenceOfMoreThanThreeSecondsDisconnects) {
    settings.setGoodPosture(PosturePoint(0, 0, rig.time.now()));
    // Whole seconds throughout, so the 1 s checks meet the samples exactly.
    monitor.start();
    rig.motion.deliver(0, 0);
    rig.time.advance(1.0);
    rig.motion.deliver(0, 0);
    rig.time.advance(3.0); // the last check saw a sample exactly 3.0 s old
    EXPECT_TRUE(monitor.connected());
    rig.time.advance(1.0);
    EXPECT_FALSE(monitor.connected());
    EXPECT_EQ(kind(), Kind::waitingForAirPods);
    EXPECT_EQ(settings.diagnostics().disconnects, 1);

    // Disconnected: the checks never disconnect again, whatever the age.
    rig.time.advance(60);
    EXPECT_EQ(settings.diagnostics().disconnects, 1);
}

TEST_F(PostureMonitorTest, EmptyDeliveryDisconnectsOnceAndDiscardsTheWindow) {
    settings.setAlertDelay(1);
    rig.startCalibrated();
    rig.sampleAfter(0.1, 30);
    rig.sampleAfter(2, 30);
    ASSERT_EQ(rig.alertsShown(), 1u);

    int connectedChanges = 0;
    QObject::connect(&monitor, &PostureMonitor::connectedChanged, [&] { ++connectedChanges; });
    rig.motion.deliverNothing();
    rig.motion.deliverNothing();
    EXPECT_EQ(connectedChanges, 1);
    EXPECT_EQ(kind(), Kind::waitingForAirPods);

    // A window interrupted by a disconnect is discarded; the next one starts its own 2.2 s.
    rig.sampleAfter(0.1, 20);
    rig.sampleAfter(1.0, 20);
    rig.motion.deliverNothing();
    rig.sampleAfter(0.1, 5);
    rig.sampleAfter(2.0, 5);
    EXPECT_EQ(kind(), Kind::waitingForAirPods);
    rig.sampleAfter(0.2, 5);
    EXPECT_EQ(kind(), Kind::good);
    EXPECT_NEAR(settings.goodPosture()->pitch(), radians(5), 1e-12);
    EXPECT_EQ(today().fixes, 0) << "the alerted streak ended with the disconnect";

    // With monitoring off a disconnect clears the figures but leaves the state.
    rig.sampleAfter(0.1, 30);
    settings.setMonitoringEnabled(false);
    rig.motion.deliverNothing();
    EXPECT_EQ(kind(), Kind::bad);
    EXPECT_FALSE(monitor.connected());
    EXPECT_EQ(monitor.pitchDelta(), 0);
    EXPECT_EQ(monitor.directionLabel(), "");
}

TEST_F(PostureMonitorTest, CaptureNeedsFourSamplesAndKeepsTheOldBaselineOtherwise) {
    rig.startCalibrated();
    const PosturePoint old = *settings.goodPosture();
    int finished = 0;
    monitor.captureBaseline([&] { ++finished; });
    EXPECT_EQ(kind(), Kind::capturing);
    for (int i = 0; i < 3; ++i) {
        rig.sampleAfter(0.3, 8, 2);
    }
    rig.time.advance(0.5);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(kind(), Kind::good);
    EXPECT_EQ(settings.goodPosture(), old);
    EXPECT_EQ(settings.diagnostics().calibrations, 0);

    monitor.captureBaseline([&] { ++finished; });
    const Instant started = rig.time.now();
    for (const double pitch : {4, 8, 6, 2}) {
        rig.sampleAfter(0.25, pitch, -2);
    }
    rig.time.advance(1.19 - 1.0);
    EXPECT_EQ(finished, 1) << "the capture runs until its deadline";
    rig.time.advance(0.07);
    EXPECT_EQ(finished, 2);
    ASSERT_TRUE(settings.goodPosture());
    EXPECT_NEAR(settings.goodPosture()->pitch(), radians(5), 1e-12);
    EXPECT_NEAR(settings.goodPosture()->roll(), radians(-2), 1e-12);
    EXPECT_GE(settings.goodPosture()->capturedAt() - started, 1.2);
    EXPECT_EQ(settings.diagnostics().calibrations, 1);
    EXPECT_EQ(kind(), Kind::good);
    rig.sampleAfter(0.1, 5, -2);
    EXPECT_NEAR(monitor.combinedDriftDegrees(), 0, 1e-9) << "still connected: classified at once";
}

// A capture before start starts delivery itself; one that abandons an open
// reconnect window fails on a disconnect, and the samples after it open a fresh window.
TEST_F(PostureMonitorTest, CaptureStartsDeliveryAndFailsOnADisconnect) {
    monitor.captureBaseline();
    EXPECT_EQ(rig.motion.starts, 1);
    EXPECT_EQ(kind(), Kind::capturing);
    rig.hold(3, 0, 1.2);
    rig.time.advance(0.1);
    ASSERT_TRUE(settings.isCalibrated());
    rig.sampleAfter(0.1, 3);
    EXPECT_EQ(kind(), Kind::good);
    EXPECT_NEAR(monitor.combinedDriftDegrees(), 0, 1e-9) << "classified without a window";

    monitor.resetCalibration();
    rig.motion.deliverNothing();
    rig.sampleAfter(0.1, 20);
    monitor.captureBaseline();
    rig.hold(20, 0, 0.6);
    rig.motion.deliverNothing();
    rig.hold(20, 0, 0.5);
    rig.time.advance(0.2);
    EXPECT_EQ(kind(), Kind::needsCalibration);
    EXPECT_FALSE(settings.isCalibrated());
    rig.hold(20, 0, 2.4);
    EXPECT_TRUE(settings.isCalibrated());
}

TEST_F(PostureMonitorTest, NonFiniteSamplesNeverReachTheEngine) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    monitor.start();
    rig.motion.deliver(nan, 0);
    EXPECT_FALSE(monitor.connected()) << "a NaN sample opened the reconnect window";
    rig.motion.deliver(0, 0);
    rig.time.advance(2.2);
    rig.motion.deliver(0, std::numeric_limits<double>::infinity());
    EXPECT_FALSE(settings.isCalibrated());
    rig.motion.deliver(0, 0);
    ASSERT_TRUE(settings.isCalibrated());
    EXPECT_EQ(settings.goodPosture()->pitch(), 0);

    monitor.captureBaseline();
    for (int i = 0; i < 8; ++i) {
        rig.time.advance(0.1);
        rig.motion.deliver(i % 2 ? nan : radians(4), 0);
    }
    rig.time.advance(1.0);
    EXPECT_NEAR(settings.goodPosture()->pitch(), radians(4), 1e-12);
}

// A clock set back before the alert starts the streak over, or the alert would
// wait as long as the clock was moved. Once alerted it is no new streak: no
// second alert, slouch or diagnostic count, and the return in line counts its fix.
TEST_F(PostureMonitorTest, ClockSetBackRestartsOnlyAStreakNotYetAlerted) {
    rig.startCalibrated();
    rig.sampleAfter(1, 30);
    const Instant since = monitor.state().date() - 3600;
    rig.time.jumpClock(since);
    rig.motion.deliver(radians(30), 0);
    EXPECT_EQ(monitor.state(), PostureState::bad(since));
    rig.hold(30, 0, 4.5, 0.5);
    EXPECT_EQ(rig.alertsShown(), 0u);
    rig.sampleAfter(0.5, 30);
    ASSERT_EQ(rig.alertsShown(), 1u);

    rig.time.jumpClock(since - 3600);
    rig.motion.deliver(radians(30), 0);
    rig.hold(30, 0, 10, 0.5);
    EXPECT_EQ(tally(), std::tuple(Kind::bad, 1u, 1, 0));
    EXPECT_EQ(monitor.state().date(), since);
    EXPECT_EQ(settings.diagnostics().alertsSent, 1);
    rig.sampleAfter(0.5, 0);
    EXPECT_EQ(tally(), std::tuple(Kind::good, 1u, 1, 1));
}

// The reconnect window and the capture last their 2.2 s and 1.2 s of elapsed
// time whichever way the wall clock is set meanwhile; the dates they store
// stay on the wall clock.
TEST_F(PostureMonitorTest, WindowAndCaptureLastTheirTimeWhenTheClockIsSet) {
    monitor.start();
    rig.motion.deliver(radians(5), 0);
    rig.time.advance(1.0);
    rig.time.jumpClock(rig.time.now() - 600);
    rig.motion.deliver(radians(5), 0);
    rig.time.advance(1.1);
    rig.motion.deliver(radians(5), 0);
    EXPECT_FALSE(settings.isCalibrated()) << "the window closed early";
    rig.time.advance(0.1);
    rig.motion.deliver(radians(5), 0);
    ASSERT_TRUE(settings.isCalibrated()) << "the window was stretched by the clock";
    EXPECT_EQ(settings.goodPosture()->capturedAt(), rig.time.now());
    EXPECT_EQ(kind(), Kind::good);

    for (const double jump : {-600.0, 600.0}) {
        SCOPED_TRACE(jump);
        int finished = 0;
        monitor.captureBaseline([&] { ++finished; });
        rig.time.jumpClock(rig.time.now() + jump);
        const Instant jumped = rig.time.now();
        rig.hold(8 + jump / 600, 0, 1.1);
        EXPECT_EQ(finished, 0);
        EXPECT_EQ(kind(), Kind::capturing);
        rig.time.advance(0.2); // the first 60 ms poll at or past 1.2 s
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(kind(), Kind::good);
        EXPECT_NEAR(settings.goodPosture()->pitch(), radians(8 + jump / 600), 1e-12);
        EXPECT_GE(settings.goodPosture()->capturedAt() - jumped, 1.2);
    }
}

TEST_F(PostureMonitorTest, NotifiesOnlyRealChanges) {
    rig.startCalibrated();
    int states = 0, drifts = 0, labels = 0, fractions = 0;
    QObject::connect(&monitor, &PostureMonitor::stateChanged, [&] { ++states; });
    QObject::connect(&monitor, &PostureMonitor::combinedDriftDegreesChanged, [&] { ++drifts; });
    QObject::connect(&monitor, &PostureMonitor::directionLabelChanged, [&] { ++labels; });
    QObject::connect(&monitor, &PostureMonitor::driftFractionChanged, [&] { ++fractions; });
    rig.hold(3, 0, 1);
    rig.hold(30, 0, 1);
    EXPECT_EQ(std::tuple(states, drifts, labels, fractions), std::tuple(1, 2, 1, 2));

    settings.setSensitivityDegrees(25);
    EXPECT_EQ(fractions, 3);
    EXPECT_DOUBLE_EQ(monitor.driftFraction(), 1.2);
    settings.setSensitivityDegrees(0);
    EXPECT_EQ(monitor.driftFraction(), 0);
}

TEST(PostureMonitorLifetime, CallbacksOutlivingTheMonitorDoNothing) {
    EngineRig rig;
    rig.startCalibrated();
    rig.monitor->captureBaseline();
    rig.monitor.reset();
    rig.motion.deliver(0.5, 0);
    rig.motion.deliverNothing();
    rig.center.invoke(QStringLiteral("backbeacon.snooze10"));
    rig.time.advance(10);
    EXPECT_FALSE(rig.settings.snoozeUntil());
    EXPECT_EQ(rig.time.activeTimers(), 0u);
}

// A source reading in batches hands on samples that waited: each counts as of
// its arrival, so a streak, its alert, the charged time and the reconnect
// window come out as if every sample had been read at once.
TEST_F(PostureMonitorTest, ASampleThatWaitedCountsAsOfItsArrival) {
    const auto late = [&](double pitchDegrees, double age, bool batchContinues = false) {
        rig.motion.deliver(MotionSample{radians(pitchDegrees), 0, age, batchContinues});
    };
    // The window closes on the first sample that arrived 2.2 s after the
    // first, however late it is read.
    monitor.start();
    late(0, 0);
    rig.time.advance(2.5);
    late(2, 0.5, true); // arrived 2.0 s in
    EXPECT_FALSE(settings.goodPosture());
    late(4, 0.25, true); // 2.25 s in: the window's last sample
    ASSERT_TRUE(settings.goodPosture());
    EXPECT_NEAR(settings.goodPosture()->pitch(), radians(2), 1e-15);
    EXPECT_EQ(settings.goodPosture()->capturedAt(), rig.time.now() - 0.25);
    late(2, 0);
    const double monitored = today().monitoredSeconds;

    // A batch read 0.5 s after the last sample: the streak began at the
    // arrival of its first bad sample, and every interval counts once.
    rig.time.advance(0.5);
    late(2, 0.375, true);
    late(30, 0.25, true);
    late(30, 0);
    ASSERT_EQ(kind(), Kind::bad);
    const Instant since = rig.time.now() - 0.25;
    EXPECT_EQ(monitor.state().date(), since);
    EXPECT_DOUBLE_EQ(today().monitoredSeconds - monitored, 0.5);
    EXPECT_DOUBLE_EQ(today().slouchedSeconds, 0.25);

    // The alert: not for a sample that arrived just before the delay was up,
    // read after it; for the first that arrived at it.
    rig.time.jumpClock(since + 5.125);
    late(30, 0.25);
    EXPECT_EQ(rig.alertsShown(), 0u);
    late(30, 0.125);
    EXPECT_EQ(rig.alertsShown(), 1u);
}

// Figures only an onlooker needs are announced for the newest sample of each
// batch; a state change on the way is announced with the figures it was
// reached with.
TEST_F(PostureMonitorTest, WithinABatchOnlyTheNewestFiguresAreAnnounced) {
    rig.startCalibrated();
    std::vector<double> drift;
    int labels = 0;
    std::vector<double> driftAtStateChange;
    const QObject listener; // gone before what it fills
    QObject::connect(&monitor, &PostureMonitor::combinedDriftDegreesChanged, &listener,
                     [&](double degrees) { drift.push_back(degrees); });
    QObject::connect(&monitor, &PostureMonitor::directionLabelChanged, &listener,
                     [&] { ++labels; });
    QObject::connect(&monitor, &PostureMonitor::stateChanged, &listener,
                     [&] { driftAtStateChange.push_back(monitor.combinedDriftDegrees()); });
    const auto batched = [&](double pitchDegrees, bool batchContinues) {
        rig.time.advance(0.01);
        rig.motion.deliver(MotionSample{radians(pitchDegrees), 0, 0, batchContinues});
    };

    batched(2, true);
    batched(3, true);
    EXPECT_TRUE(drift.empty());
    batched(4, false);
    ASSERT_EQ(drift.size(), 1u);
    EXPECT_NEAR(drift[0], 4, 1e-9);
    EXPECT_EQ(labels, 1);

    batched(5, true);
    batched(12, true); // out of line here
    batched(13, true);
    ASSERT_EQ(driftAtStateChange.size(), 1u);
    EXPECT_NEAR(driftAtStateChange[0], 12, 1e-9);
    EXPECT_NEAR(monitor.combinedDriftDegrees(), 12, 1e-9) << "announced so far";
    batched(14, false);
    EXPECT_NEAR(monitor.combinedDriftDegrees(), 14, 1e-9);
    EXPECT_EQ(drift.size(), 3u);

    // A lost stream ends a batch and clears what it held back.
    batched(20, true);
    rig.motion.deliverNothing();
    EXPECT_EQ(monitor.combinedDriftDegrees(), 0);
    EXPECT_EQ(monitor.directionLabel(), "");
}

// Samples may wait in the source while nothing shows them late; they are asked
// for promptly while a view follows the figures, a capture runs or a streak
// draws near its alert, and at once for whoever is about to look.
TEST_F(PostureMonitorTest, AsksForPromptSamplesOnlyWhereALateOneWouldShow) {
    constexpr double prompt = PostureMonitor::kPromptDelay;
    constexpr double relaxed = PostureMonitor::kRelaxedDelay;
    const std::vector<double>& delays = rig.motion.delays;
    monitor.catchUp();
    EXPECT_EQ(rig.motion.pendingDeliveries, 0) << "nothing to ask of before start";
    rig.startCalibrated();
    EXPECT_EQ(delays, std::vector<double>{relaxed});

    rig.sampleAfter(0.1, 30);
    EXPECT_EQ(delays.back(), prompt) << "a streak on its way to an alert";
    rig.hold(30, 0, 5.5, 0.5);
    ASSERT_EQ(rig.alertsShown(), 1u);
    EXPECT_EQ(delays.back(), relaxed) << "alerted";
    rig.sampleAfter(0.1, 0);
    EXPECT_EQ(delays.back(), relaxed);

    monitor.setLiveViewOpen(true);
    EXPECT_EQ(delays.back(), prompt);
    monitor.setLiveViewOpen(false);
    EXPECT_EQ(delays.back(), relaxed);
    monitor.captureBaseline();
    EXPECT_EQ(delays.back(), prompt);
    rig.hold(0, 0, PostureMonitor::kCaptureDuration + 0.2);
    ASSERT_EQ(kind(), Kind::good);
    EXPECT_EQ(delays.back(), relaxed);
    EXPECT_EQ(delays.size(), 7u) << "asked only on a change";
    monitor.catchUp();
    EXPECT_EQ(rig.motion.pendingDeliveries, 1);
}

} // namespace
