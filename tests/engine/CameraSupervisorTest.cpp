#include "engine/CameraSupervisor.h"

#include "EngineRig.h"
#include "FakeProcessLauncher.h"
#include "engine/HeadSourceMotionManager.h"

#include <gtest/gtest.h>

using namespace backbeacon;
using namespace backbeacon::testing;
using namespace Qt::StringLiterals;

namespace {

using Status = CameraSupervisor::Status;
using Kind = PostureState::Kind;

class CameraSupervisorTest : public ::testing::Test {
protected:
    EngineRig rig;
    FakeProcessLauncher launcher;
    CameraSupervisor camera{rig.settings, launcher,         rig.time.clock(),
                            rig.time,     u"/opt/bb/cam"_s, {u"--port"_s, u"4242"_s}};
    HeadSourceMotionManager source{rig.motion, camera};
    PostureMonitor monitor{rig.settings, rig.stats,        rig.notifications,
                           source,       rig.time.clock(), rig.time};
};

// The tool runs only while monitoring with the camera chosen; each failure
// waits twice as long as the one before, up to a minute, until a steady run
// starts the back-off over.
TEST_F(CameraSupervisorTest, RunsWhileChosenAndRestartsWithABackOff) {
    camera.setMonitoring(true);
    EXPECT_TRUE(launcher.launches.isEmpty()) << "the head tracker needs no tool";
    rig.settings.setHeadSource(HeadSource::camera);
    EXPECT_EQ(launcher.launches, QStringList(u"/opt/bb/cam --port 4242"_s));
    EXPECT_EQ(camera.status(), Status::starting);
    EXPECT_FALSE(camera.blocksMotion());
    for (const double wait : {1, 2, 4, 8, 16, 32, 60, 60}) {
        const auto launched = launcher.launches.size();
        launcher.exitWith(CameraSupervisor::kExitCameraBusy);
        rig.time.advance(wait - 0.01);
        EXPECT_EQ(launcher.launches.size(), launched) << wait;
        rig.time.advance(0.02);
        ASSERT_EQ(launcher.launches.size(), launched + 1) << wait;
        EXPECT_EQ(camera.status(), Status::cameraBusy) << "a retry is not yet a recovery";
    }
    launcher.say(QStringLiteral("reading pictures from /dev/video0"));
    EXPECT_EQ(camera.status(), Status::running);
    rig.time.advance(CameraSupervisor::kSteadyRun);
    launcher.end({ProcessExit::Kind::crashed, 0, {}});
    rig.time.advance(1.01);
    EXPECT_TRUE(camera.isToolRunning()) << "back to the first delay after a long run";

    rig.settings.setHeadSource(HeadSource::headTracker);
    EXPECT_EQ(std::pair(launcher.stopped, camera.status()), std::pair(1, Status::off));
    rig.settings.setHeadSource(HeadSource::camera);
    camera.setMonitoring(false);
    const auto launched = launcher.launches.size();
    rig.time.advance(120);
    EXPECT_EQ(launcher.stopped, 2);
    EXPECT_EQ(launcher.launches.size(), launched) << "nothing restarts what was stopped on purpose";
}

TEST(CameraSupervisorStatus, ExitStatusesSayWhyTheCameraIsNotRunning) {
    const auto status = [](ProcessExit::Kind kind, int code = 0) {
        return CameraSupervisor::statusFor({kind, code, {}});
    };
    using enum ProcessExit::Kind;
    EXPECT_EQ(
        std::vector({status(exited, 69), status(exited, 75), status(exited, 74), status(exited, 72),
                     status(failedToStart), status(crashed), status(exited, 0), status(exited, 1)}),
        std::vector({Status::noCamera, Status::cameraBusy, Status::cameraLost, Status::modelMissing,
                     Status::toolMissing, Status::failed, Status::failed, Status::failed}));
}

TEST_F(CameraSupervisorTest, TheMonitorShowsACameraFaultAsUnavailableUntilItRecovers) {
    QObject::connect(&camera, &CameraSupervisor::statusChanged, &monitor,
                     &PostureMonitor::refreshAvailability);
    rig.settings.setHeadSource(HeadSource::camera);
    monitor.start();
    rig.motion.deliver(0.1, 0.05);
    EXPECT_TRUE(monitor.connected());
    launcher.exitWith(CameraSupervisor::kExitNoCamera);
    EXPECT_FALSE(monitor.connected());
    rig.time.advance(10);
    EXPECT_EQ(monitor.state().kind(), Kind::unavailable) << "silence does not hide the fault";

    // The retry finds the camera: waiting again, and poses flow as before.
    launcher.say(QStringLiteral("reading pictures from /dev/video1"));
    EXPECT_EQ(monitor.state().kind(), Kind::needsCalibration);
}

} // namespace
