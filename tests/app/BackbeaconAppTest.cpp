#include "app/BackbeaconApp.h"

#include "AppFakes.h"
#include "FakeLoginItem.h"
#include "FakeProcessLauncher.h"
#include "FakeStatsStorage.h"
#include "ScriptedMotionManager.h"
#include "VirtualTime.h"
#include "app/SessionPlatform.h"
#include "app/StatusBarController.h"
#include "app/TimeZoneWatch.h"
#include "engine/PostureMonitor.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"
#include "notify/NotificationManager.h"
#include "stats/LocalCalendar.h"
#include "stats/StatisticsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace backbeacon::testing {
namespace {

using Kind = PostureState::Kind;

// A notification server that answers only when told to.
class SlowNotificationCenter final : public NotificationCenter {
public:
    void setNotificationCategories(std::vector<NotificationCategory>) override {}
    void add(const NotificationRequest&) override {}
    void getAuthorizationStatus(std::function<void(int)> done) override {
        pending.push_back(std::move(done));
    }
    void answer(int status) {
        for (auto& done : std::exchange(pending, {})) {
            done(status);
        }
    }
    std::vector<std::function<void(int)>> pending;
};

struct AppRig {
    QTemporaryDir folder;
    VirtualTime time;
    MemoryPreferences preferences;
    FakeLoginItem loginItem;
    FakeStatsStorage storage;
    LocalCalendar calendar{QTimeZone::utc()};
    SlowNotificationCenter center;
    ScriptedMotionManager motion;
    FakeProcessLauncher launcher;
    FakeStatusItem tray;
    FakeViewHost* views = nullptr;
    FakeSaveLocationChooser saveDialog;
    AppPlatform platform{
        .preferences = preferences,
        .loginItem = loginItem,
        .clock = time.clock(),
        .timers = time,
        .statsStorage = storage,
        .calendar = calendar,
        .notificationCenter = center,
        .motion = motion,
        .processLauncher = launcher,
        .cameraTool = QStringLiteral("/usr/bin/backbeacon-camera"),
        .statusItem = tray,
        .makeViews = [this](const QuickViews::Models&) -> std::unique_ptr<ViewHost> {
            auto host = std::make_unique<FakeViewHost>();
            views = host.get();
            return host;
        },
        .saveLocationChooser = saveDialog,
        .markerFolder = folder.path(),
        .appIcon = {},
        .scratchFolder = {}};

    std::unique_ptr<BackbeaconApp> launch() { return std::make_unique<BackbeaconApp>(platform); }
};

TEST(BackbeaconAppTest, MonitoringStartsOnceTheServerHasAnsweredUnlessSwitchedOff) {
    for (const QLatin1StringView off :
         {QLatin1StringView(), settingsKey::autoStart, settingsKey::monitoringEnabled}) {
        AppRig rig;
        if (!off.isEmpty()) {
            rig.preferences.writeBool(off, false);
        }
        auto app = rig.launch();
        // The authorization read follows the permission's answer.
        rig.center.answer(1);
        ASSERT_EQ(rig.center.pending.size(), 1u);
        EXPECT_FALSE(rig.motion.isDeviceMotionActive());
        rig.center.answer(1);
        // Denied, and monitoring starts all the same, unless switched off.
        EXPECT_TRUE(app->launchTaskFinished());
        EXPECT_EQ(rig.motion.isDeviceMotionActive(), off.isEmpty()) << off.data();
        EXPECT_TRUE(app->monitor().state().is(off.isEmpty() ? Kind::needsCalibration : Kind::idle));
    }
}

// With diagnostics on, a launch that finds the marker of a run that ended
// without an orderly quit counts it; an orderly quit takes the marker away.
TEST(BackbeaconAppTest, CountsRunsThatEndedWithoutAnOrderlyQuit) {
    AppRig rig;
    rig.preferences.writeBool(settingsKey::collectDiagnostics, true);
    rig.launch(); // never shut down: a crash
    auto app = rig.launch();
    EXPECT_EQ(app->settings().diagnostics().launches, 2);
    EXPECT_EQ(app->settings().diagnostics().unexpectedQuits, 1);
    app->shutdown();
    EXPECT_FALSE(QFile::exists(rig.folder.filePath(QStringLiteral("running"))));
}

// Saving the insight card closes the panel before the dialog opens; a quit
// from the tray or the views writes the time the throttle held back, once.
TEST(BackbeaconAppTest, TheTrayAndViewActionsReachTheApp) {
    AppRig rig;
    auto app = rig.launch();
    rig.center.answer(2); // permission, then the authorization read
    rig.center.answer(2);
    rig.views->showPanel({});
    emit rig.views->insightCardRequested();
    EXPECT_FALSE(rig.views->panelShown);
    EXPECT_TRUE(rig.saveDialog.requests.empty());
    rig.time.advance(0.2);
    EXPECT_EQ(rig.saveDialog.requests.size(), 1u);
    int quits = 0;
    QObject::connect(app.get(), &BackbeaconApp::quitRequested, [&] { ++quits; });
    emit rig.tray.quitRequested();
    emit rig.views->quitRequested();
    EXPECT_EQ(quits, 2);
    app->stats().addMonitored(1.0);
    app->stats().addMonitored(1.0); // within 5 s of the first save: held back
    const std::size_t before = rig.storage.writes();
    app->shutdown();
    app->shutdown();
    ASSERT_EQ(rig.storage.writes(), before + 1);
    EXPECT_NE(rig.storage.file.find("\"monitoredSeconds\":2.0"), std::string::npos);
}

TEST(TimeZoneWatchTest, TheCalendarFollowsTheSystemZoneWithinAMinute) {
    VirtualTime time;
    LocalCalendar calendar(QTimeZone("Europe/Berlin"));
    QTimeZone system("Europe/Berlin");
    TimeZoneWatch watch(calendar, time, [&] { return system; });
    time.advance(120);
    EXPECT_EQ(calendar.generation(), 0u); // no change, no new days
    system = QTimeZone("Asia/Tokyo");
    time.advance(60);
    EXPECT_EQ(calendar.timeZone().id(), "Asia/Tokyo");
    EXPECT_EQ(calendar.generation(), 1u);
    system = QTimeZone(); // unreadable: the last good one stays
    time.advance(60);
    EXPECT_EQ(calendar.timeZone().id(), "Asia/Tokyo");
}

// Wayland runs on Xwayland where it can, where the panel can be placed; what
// the user set stands.
TEST(SessionPlatformTest, WaylandRunsOnXwaylandWhereReachableAndNeverWithoutAFallback) {
    EXPECT_EQ(qpaPlatformFor("", ":0", "wayland-1"), QByteArray("xcb"));
    EXPECT_EQ(qpaPlatformFor("", "", "wayland-1"), QByteArray("wayland;xcb"));
    EXPECT_EQ(qpaPlatformFor("", ":0", ""), QByteArray("xcb"));
    EXPECT_EQ(qpaPlatformFor("", "", ""), std::nullopt);
    EXPECT_EQ(qpaPlatformFor("wayland", ":0", "wayland-1"), std::nullopt);
}

} // namespace
} // namespace backbeacon::testing
