#include "app/BackbeaconApp.h"

#include "AppFakes.h"
#include "FakeLoginItem.h"
#include "FakeNotificationCenter.h"
#include "FakeProcessLauncher.h"
#include "FakeStatsStorage.h"
#include "Files.h"
#include "ScriptedMotionManager.h"
#include "VirtualTime.h"
#include "app/StatusBarController.h"
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

// A notification server that answers only when told to.
class SlowNotificationCenter final : public NotificationCenter {
public:
    void setNotificationCategories(std::vector<NotificationCategory>) override {}
    void add(const NotificationRequest&) override {}
    void getAuthorizationStatus(std::function<void(int)> done) override {
        pending.push_back(std::move(done));
    }
    void answer(int status) {
        auto calls = std::move(pending);
        pending.clear();
        for (auto& done : calls) {
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
        .scratchFolder = {},
    };

    std::unique_ptr<BackbeaconApp> launch() { return std::make_unique<BackbeaconApp>(platform); }
    QString markerPath() const { return folder.filePath(QStringLiteral("running")); }
};

TEST(BackbeaconAppTest, FirstLaunchStartsMonitoringOnceTheServerHasAnswered) {
    AppRig rig;
    auto app = rig.launch();
    EXPECT_EQ(app->settings().diagnostics().launches, 0); // diagnostics are off by default
    EXPECT_FALSE(rig.tray.images.empty());
    EXPECT_EQ(rig.views->panelOpenings + rig.views->panelWindowOpenings, 0);

    // Permission is asked first; the authorization read follows its answer.
    ASSERT_EQ(rig.center.pending.size(), 1u);
    rig.center.answer(1);
    ASSERT_EQ(rig.center.pending.size(), 1u);
    EXPECT_FALSE(rig.motion.isDeviceMotionActive());
    rig.center.answer(1);
    // Denied, and monitoring starts all the same.
    EXPECT_EQ(app->notifications().authorizationStatus(), 1);
    EXPECT_TRUE(app->launchTaskFinished());
    EXPECT_TRUE(rig.motion.isDeviceMotionActive());
    EXPECT_TRUE(app->monitor().state().is(PostureState::Kind::needsCalibration));
}

TEST(BackbeaconAppTest, MonitoringStaysOffWithoutAutoStartOrWithMonitoringDisabled) {
    for (const auto key : {settingsKey::autoStart, settingsKey::monitoringEnabled}) {
        AppRig rig;
        rig.preferences.writeBool(key, false);
        auto app = rig.launch();
        rig.center.answer(2);
        rig.center.answer(2);
        EXPECT_TRUE(app->launchTaskFinished());
        EXPECT_FALSE(rig.motion.isDeviceMotionActive()) << key.data();
        EXPECT_TRUE(app->monitor().state().is(PostureState::Kind::idle));
    }
}

// With diagnostics on, every launch counts, and one that finds the marker of a
// run that ended without an orderly quit counts that too; with them off,
// nothing is counted.
TEST(BackbeaconAppTest, CountsLaunchesAndRunsThatEndedWithoutAnOrderlyQuit) {
    AppRig rig;
    rig.launch(); // ends without shutdown: the process "crashes"
    {
        auto app = rig.launch();
        EXPECT_EQ(app->settings().diagnostics().unexpectedQuits, 0) << "diagnostics are off";
        EXPECT_TRUE(QFile::exists(rig.markerPath()));
    }
    rig.preferences.writeBool(settingsKey::collectDiagnostics, true);
    {
        auto app = rig.launch();
        EXPECT_EQ(app->settings().diagnostics().launches, 1);
        EXPECT_EQ(app->settings().diagnostics().unexpectedQuits, 1);
        app->shutdown();
        EXPECT_FALSE(QFile::exists(rig.markerPath()));
    }
    auto app = rig.launch();
    EXPECT_EQ(app->settings().diagnostics().launches, 2);
    EXPECT_EQ(app->settings().diagnostics().unexpectedQuits, 1);
    EXPECT_TRUE(QFile::exists(rig.markerPath()));
}

TEST(BackbeaconAppTest, AnOrderlyQuitWritesTheTimeTheThrottleHeldBack) {
    AppRig rig;
    auto app = rig.launch();
    rig.center.answer(2);
    rig.center.answer(2);
    app->stats().addMonitored(1.0);
    app->stats().addMonitored(1.0); // throttled: within 5 s of the first save
    const std::size_t before = rig.storage.writes();
    app->shutdown();
    ASSERT_EQ(rig.storage.writes(), before + 1);
    EXPECT_NE(rig.storage.file.find("\"monitoredSeconds\":2.0"), std::string::npos)
        << rig.storage.file;
    app->shutdown();
    EXPECT_EQ(rig.storage.writes(), before + 1);
}

// Quit from the tray or the views reaches the app; saving the insight card
// closes the panel before the dialog opens.
TEST(BackbeaconAppTest, TheTrayAndViewActionsReachTheApp) {
    AppRig rig;
    auto app = rig.launch();
    int quits = 0;
    QObject::connect(app.get(), &BackbeaconApp::quitRequested, [&] { ++quits; });
    emit rig.tray.quitRequested();
    emit rig.views->quitRequested();
    EXPECT_EQ(quits, 2);

    rig.views->showPanel({});
    emit rig.views->insightCardRequested();
    EXPECT_FALSE(rig.views->panelShown);
    EXPECT_TRUE(rig.saveDialog.requests.empty());
    rig.time.advance(0.2);
    ASSERT_EQ(rig.saveDialog.requests.size(), 1u);
    EXPECT_TRUE(rig.saveDialog.requests.front().proposedName.endsWith(u".png"));
}

} // namespace
} // namespace backbeacon::testing
