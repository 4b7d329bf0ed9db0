#include "EngineRig.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

using Kind = PostureState::Kind;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
    void expectBaseline(double pitchDegrees, double rollDegrees) const {
        ASSERT_TRUE(settings.goodPosture());
        EXPECT_NEAR(settings.goodPosture()->pitch(), radians(pitchDegrees), 1e-12);
        EXPECT_NEAR(settings.goodPosture()->roll(), radians(rollDegrees), 1e-12);
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

TEST_F(PostureMonitorTest, StartWaitsForASourceAndCallbacksOutlivingTheMonitorDoNothing) {
    rig.motion.available = false;
    monitor.start();
    EXPECT_EQ(kind(), Kind::unavailable);
    EXPECT_EQ(rig.time.activeTimers(), 0u);
    rig.motion.available = true;
    rig.startCalibrated(); // starts again, once
    EXPECT_EQ(rig.motion.starts, 1);

    monitor.captureBaseline();
    rig.monitor.reset();
    rig.motion.deliver(0.5, 0);
    rig.motion.deliverNothing();
    rig.center.invoke(QStringLiteral("backbeacon.snooze10"));
    rig.time.advance(10);
    EXPECT_FALSE(settings.snoozeUntil());
    EXPECT_EQ(rig.time.activeTimers(), 0u);
}

// The window after a (re)connection adopts the mean of its finite samples; a
// non-finite one neither opens a window nor counts in it.
TEST_F(PostureMonitorTest, ReconnectWindowAdoptsTheMeanOfItsSamples) {
    monitor.start();
    rig.motion.deliver(kNaN, 0);
    EXPECT_FALSE(monitor.connected());
    const Instant opened = rig.time.now();
    rig.sampleAfter(0, 6);
    rig.sampleAfter(1.0, 12, 2);
    EXPECT_EQ(std::pair(kind(), monitor.connected()), std::pair(Kind::needsCalibration, true));
    rig.time.advance(1.2); // exactly 2.2 s after the first sample
    rig.motion.deliver(0, std::numeric_limits<double>::infinity());
    EXPECT_FALSE(settings.isCalibrated());
    rig.motion.deliver(radians(18), radians(4));
    expectBaseline(12, 2);
    EXPECT_EQ(settings.goodPosture()->capturedAt(), opened + 2.2);
    EXPECT_EQ(kind(), Kind::good);
}

// A clock set back before the alert starts the streak over, or the alert would
// wait as long as the clock was moved; once alerted the streak goes on.
TEST_F(PostureMonitorTest, ClassifiesAgainstTheThresholdAndAlertsOncePerStreak) {
    rig.startCalibrated();
    const double monitoredAtStart = today().monitoredSeconds;
    rig.sampleAfter(0.5, 10.0);
    EXPECT_EQ(kind(), Kind::good) << "a drift equal to the threshold is in line";
    rig.sampleAfter(1, 30); // each interval is charged to the state it was spent in
    rig.hold(30, 0, 4, 0.5);
    rig.sampleAfter(1, 0);
    EXPECT_EQ(tally(), std::tuple(Kind::good, 0u, 0, 0)) << "ended before its alert: no count";
    EXPECT_NEAR(today().monitoredSeconds - monitoredAtStart, 6.5, 1e-6);
    EXPECT_NEAR(today().slouchedSeconds, 5, 1e-6);

    rig.sampleAfter(0.5, 10.001);
    const Instant since = rig.time.now() - 3600;
    rig.time.jumpClock(since);
    rig.motion.deliver(radians(25), 0);
    EXPECT_EQ(monitor.state(), PostureState::bad(since));
    rig.hold(25, 0, 4.5, 0.5); // halves keep the sums exact
    rig.sampleAfter(0.499, 25);
    EXPECT_EQ(rig.alertsShown(), 0u);
    rig.time.jumpClock(since + 5.0);
    rig.motion.deliver(radians(25), 0);
    EXPECT_EQ(rig.alertsShown(), 1u) << "at exactly the delay";
    rig.time.jumpClock(since - 3600);
    rig.hold(25, 0, 20, 1.0);
    EXPECT_EQ(tally(), std::tuple(Kind::bad, 1u, 1, 0)) << "once per streak";
    EXPECT_EQ(monitor.state().date(), since);
    EXPECT_EQ(settings.diagnostics().alertsSent, 1);
    rig.sampleAfter(1, 0, 2);
    EXPECT_EQ(tally(), std::tuple(Kind::good, 1u, 1, 1));
}

TEST_F(PostureMonitorTest, SnoozeSuspendsClassificationAndCancellingTouchesOnlyASnooze) {
    rig.startCalibrated();
    rig.hold(30, 0, 6, 0.5);
    rig.center.invoke(QStringLiteral("backbeacon.snooze10"));
    const Instant until = rig.time.now() + 600;
    const DailyStats before = today();
    rig.hold(30, 0, 60, 1.0);
    EXPECT_EQ(monitor.state(), PostureState::snoozed(until));
    EXPECT_NEAR(today().monitoredSeconds - before.monitoredSeconds, 60, 1e-6);
    EXPECT_EQ(today().slouchedSeconds, before.slouchedSeconds);
    EXPECT_EQ(rig.alertsShown(), 1u);

    // At the deadline the snooze has expired: cleared, and the sample opens a new streak.
    rig.time.jumpClock(until);
    rig.motion.deliver(radians(30), 0);
    EXPECT_EQ(monitor.state(), PostureState::bad(until));
    monitor.snooze(10);
    settings.setGoodPosture(std::nullopt);
    monitor.cancelSnooze();
    EXPECT_EQ(kind(), Kind::needsCalibration);
    EXPECT_FALSE(settings.snoozeUntil());
}

// A silence of more than 3 s or a delivery without a sample disconnects, once;
// a reconnect window cut short by a disconnect is discarded.
TEST_F(PostureMonitorTest, SilenceOrAnEmptyDeliveryDisconnectsOnceAndDiscardsTheWindow) {
    settings.setAlertDelay(1);
    settings.setGoodPosture(PosturePoint(0, 0, rig.time.now()));
    monitor.start(); // whole seconds, so the 1 s checks meet the samples exactly
    rig.sampleAfter(0, 0);
    rig.sampleAfter(1, 0);
    rig.time.advance(3.0); // the last check saw a sample exactly 3.0 s old
    EXPECT_TRUE(monitor.connected());
    rig.time.advance(1.0);
    EXPECT_EQ(kind(), Kind::waitingForAirPods);
    rig.time.advance(60); // the checks never disconnect again

    rig.hold(0, 0, 2.4); // a new window
    EXPECT_LT(today().monitoredSeconds, 1) << "the silence was charged";
    rig.hold(30, 0, 1.5);
    ASSERT_EQ(rig.alertsShown(), 1u);
    rig.motion.deliverNothing();
    rig.motion.deliverNothing();
    EXPECT_EQ(kind(), Kind::waitingForAirPods);
    EXPECT_EQ(settings.diagnostics().disconnects, 2) << "once for the silence, once for both";
    rig.hold(20, 0, 1.1, 0.55);
    rig.motion.deliverNothing();
    rig.sampleAfter(0.1, 5);
    rig.sampleAfter(2.0, 5);
    EXPECT_EQ(kind(), Kind::waitingForAirPods);
    rig.sampleAfter(0.2, 5);
    expectBaseline(5, 0);
    EXPECT_EQ(today().fixes, 0) << "the alerted streak ended with the disconnect";

    // With monitoring off a disconnect clears the figures but leaves the state.
    rig.sampleAfter(0.1, 30);
    settings.setMonitoringEnabled(false);
    rig.motion.deliverNothing();
    EXPECT_EQ(std::pair(kind(), monitor.directionLabel()), std::pair(Kind::bad, QString()));
}

// A capture before start starts delivery itself and needs four samples; one
// cut short by a disconnect fails, and the samples after it open a fresh window.
TEST_F(PostureMonitorTest, CaptureStartsDeliveryNeedsFourSamplesAndFailsOnADisconnect) {
    int finished = 0;
    monitor.captureBaseline([&] { ++finished; });
    EXPECT_EQ(rig.motion.starts, 1);
    rig.hold(3, 0, 1.3);
    rig.sampleAfter(0.1, 5);
    EXPECT_NEAR(monitor.combinedDriftDegrees(), 2, 1e-9) << "classified without a window";
    const PosturePoint old = *settings.goodPosture();
    monitor.captureBaseline([&] { ++finished; });
    rig.hold(8, 2, 0.9, 0.3); // three samples
    rig.time.advance(0.5);
    EXPECT_EQ(std::pair(finished, kind()), std::pair(2, Kind::good));
    EXPECT_EQ(settings.goodPosture(), old);

    monitor.resetCalibration();
    rig.motion.deliverNothing();
    rig.sampleAfter(0.1, 20);
    monitor.captureBaseline();
    rig.hold(20, 0, 0.6);
    rig.motion.deliverNothing();
    rig.hold(20, 0, 0.7);
    EXPECT_EQ(std::pair(kind(), settings.isCalibrated()), std::pair(Kind::needsCalibration, false));
    rig.hold(20, 0, 2.4);
    EXPECT_TRUE(settings.isCalibrated());
}

// The reconnect window and the capture last their time on the monotonic clock
// whichever way the wall clock is set; the dates they store stay on the wall clock.
TEST_F(PostureMonitorTest, WindowAndCaptureLastTheirTimeWhenTheClockIsSet) {
    monitor.start();
    rig.sampleAfter(0, 5);
    rig.time.advance(1.0);
    rig.time.jumpClock(rig.time.now() - 600);
    rig.sampleAfter(1.1, 5);
    EXPECT_FALSE(settings.isCalibrated()) << "the window closed early";
    rig.sampleAfter(0.1, 5);
    ASSERT_TRUE(settings.isCalibrated()) << "the window was stretched by the clock";
    EXPECT_EQ(settings.goodPosture()->capturedAt(), rig.time.now());

    for (const double jump : {-600.0, 600.0}) {
        SCOPED_TRACE(jump);
        int finished = 0;
        monitor.captureBaseline([&] { ++finished; });
        rig.time.jumpClock(rig.time.now() + jump);
        const Instant jumped = rig.time.now();
        rig.hold(8 + jump / 600, -2, 1.1);
        rig.motion.deliver(kNaN, 0); // never counted
        EXPECT_EQ(finished, 0) << "the capture runs until its deadline";
        rig.time.advance(0.2); // the first 60 ms poll at or past 1.2 s
        EXPECT_EQ(finished, 1);
        expectBaseline(8 + jump / 600, -2);
        EXPECT_GE(settings.goodPosture()->capturedAt() - jumped, 1.2);
    }
    EXPECT_EQ(settings.diagnostics().calibrations, 2);
}

// Figures only an onlooker needs are announced on a real change, and only for
// the newest sample of a batch; a state change on the way is announced with
// the figures it was reached with.
TEST_F(PostureMonitorTest, AnnouncesRealChangesForTheNewestSampleOfABatch) {
    rig.startCalibrated();
    using Told = std::map<std::string, std::vector<long>>;
    Told told;              // the drift each announcement came with
    const QObject listener; // gone before what it fills
    const auto note = [&](const char* what) {
        return [&, what] { told[what].push_back(std::lround(monitor.combinedDriftDegrees())); };
    };
    using M = PostureMonitor;
    QObject::connect(&monitor, &M::combinedDriftDegreesChanged, &listener, note("drift"));
    QObject::connect(&monitor, &M::directionLabelChanged, &listener, note("label"));
    QObject::connect(&monitor, &M::driftFractionChanged, &listener, note("fraction"));
    QObject::connect(&monitor, &M::stateChanged, &listener, note("state"));
    for (const double pitch : {2, 3, 4, 5, 12, 13, 14, 14}) { // out of line from 12
        rig.time.advance(0.01);
        rig.motion.deliver(MotionSample{radians(pitch), 0, 0, pitch != 4 && pitch != 14});
    }
    EXPECT_EQ(
        told,
        (Told{{"drift", {4, 12, 14}}, {"label", {4}}, {"fraction", {4, 12, 14}}, {"state", {12}}}));
    settings.setSensitivityDegrees(0);
    EXPECT_EQ(monitor.driftFraction(), 0);

    // A lost stream ends a batch and clears what it held back.
    rig.motion.deliver(MotionSample{radians(20), 0, 0, true});
    rig.motion.deliverNothing();
    EXPECT_EQ(std::pair(monitor.combinedDriftDegrees(), monitor.directionLabel()),
              std::pair(0.0, QString()));
}

// A source reading in batches hands on samples that waited: each counts as of
// its arrival, so streak, alert, charged time and window come out as if read at once.
TEST_F(PostureMonitorTest, ASampleThatWaitedCountsAsOfItsArrival) {
    const auto late = [&](double pitchDegrees, double age, bool batchContinues = false) {
        rig.motion.deliver(MotionSample{radians(pitchDegrees), 0, age, batchContinues});
    };
    monitor.start();
    late(0, 0);
    rig.time.advance(2.5);
    late(2, 0.5, true);  // arrived 2.0 s in
    late(4, 0.25, true); // 2.25 s in: the window's last sample
    expectBaseline(2, 0);
    EXPECT_EQ(settings.goodPosture()->capturedAt(), rig.time.now() - 0.25);
    late(2, 0);
    const double monitored = today().monitoredSeconds;

    rig.time.advance(0.5);
    late(2, 0.375, true);
    late(30, 0.25, true);
    late(30, 0);
    const Instant since = rig.time.now() - 0.25;
    EXPECT_EQ(monitor.state(), PostureState::bad(since));
    EXPECT_DOUBLE_EQ(today().monitoredSeconds - monitored, 0.5);
    EXPECT_DOUBLE_EQ(today().slouchedSeconds, 0.25);

    // No alert for a sample that arrived just before the delay was up, read
    // after it; one for the first that arrived at it.
    rig.time.jumpClock(since + 5.125);
    late(30, 0.25);
    EXPECT_EQ(rig.alertsShown(), 0u);
    late(30, 0.125);
    EXPECT_EQ(rig.alertsShown(), 1u);
}

} // namespace
