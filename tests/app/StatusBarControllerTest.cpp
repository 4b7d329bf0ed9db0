#include "app/StatusBarController.h"

#include "AppFakes.h"
#include "Colors.h"
#include "EngineRig.h"
#include "app/StatusIndicator.h"
#include "stats/CardCanvas.h"

#include <gtest/gtest.h>

namespace backbeacon::testing {
namespace {

struct ControllerRig : EngineRig {
    FakeStatusItem tray;
    FakeViewHost views;
    std::unique_ptr<StatusBarController> controller;

    void build() {
        controller = std::make_unique<StatusBarController>(*monitor, settings, stats, tray, views,
                                                           time.clock(), time);
    }
    QColor dot() const { return tray.images.back().pixelColor(23, 9); }
};

// The tray is handed an image only when it changes: not on quiet ticks, nor
// for a tracker's jitter, which moves the dot's colour by amounts nobody sees.
// A real drift shows within a tick; full drift turns the dot red at once and
// flashes the glyph, red and white taking turns.
TEST(StatusBarControllerTest, TheTrayGetsAnImageOnlyWhenWhatItShowsChanges) {
    ControllerRig rig;
    rig.settings.setSensitivityDegrees(20);
    rig.build();
    ASSERT_EQ(rig.tray.images.size(), 1u);
    rig.time.advance(2.0); // ten quiet ticks
    EXPECT_EQ(rig.tray.images.size(), 1u);

    rig.startCalibrated();
    const std::size_t settled = rig.tray.images.size();
    EXPECT_GT(settled, 1u);
    EXPECT_TRUE(near(rig.dot(), QColor::fromRgbF(0.36f, 0.58f, 0.64f), 2.55));
    const double jitter[] = {0.3, -0.5, 0.6, 0.1, -0.6, 0.4, 0.5, -0.2};
    for (int i = 0; i < 500; ++i) { // 10 s at 50 Hz
        rig.sampleAfter(0.02, jitter[i % 8], jitter[(i + 3) % 8]);
    }
    EXPECT_EQ(rig.tray.images.size(), settled);

    const auto dotAfter = [&rig](double pitch) {
        rig.sampleAfter(0.02, pitch);
        rig.time.advance(StatusBarController::kRedrawInterval);
        return rig.dot();
    };
    for (const double pitch : {5.0, 10.0, 14.0, 19.0}) {
        EXPECT_TRUE(near(dotAfter(pitch), toQColor(Theme::driftColorComponents(pitch / 20)), 10.2))
            << pitch;
    }
    EXPECT_TRUE(near(dotAfter(20.5), toQColor(Theme::badRed), 2.55));

    const std::size_t drifted = rig.tray.images.size();
    rig.hold(30, 0, 2.0, 0.05);
    EXPECT_GE(rig.tray.images.size() - drifted, 4u);
    EXPECT_NE(rig.tray.images.back(), rig.tray.images[rig.tray.images.size() - 2]);
    EXPECT_EQ(rig.controller->imagesSent(), static_cast<int>(rig.tray.images.size()));
}

TEST(StatusBarControllerTest, ClicksToggleThePanelAndSettingsReplaceIt) {
    ControllerRig rig;
    rig.build();
    emit rig.tray.clicked();
    EXPECT_TRUE(rig.views.panelShown);
    EXPECT_EQ(rig.views.lastIconGeometry, rig.tray.iconGeometry);
    emit rig.tray.clicked();
    EXPECT_FALSE(rig.views.panelShown);
    emit rig.tray.clicked();
    EXPECT_EQ(rig.views.panelOpenings, 2);

    // From inside the panel: the panel gives way to the Settings window.
    emit rig.views.settingsWindowRequested();
    EXPECT_FALSE(rig.views.panelShown);
    EXPECT_EQ(rig.views.settingsShowings, 1);
    emit rig.tray.settingsRequested();
    EXPECT_EQ(rig.views.settingsShowings, 2);

    // "Open Backbeacon" and a second launch open, never close.
    emit rig.tray.openRequested();
    rig.controller->openPopover();
    EXPECT_TRUE(rig.views.panelShown);
    EXPECT_EQ(rig.views.panelOpenings, 3);
}

// The engine reads the head source at its own pace while only the tray looks:
// each redraw first takes in what has arrived, and an open panel asks for
// samples promptly for as long as it stays open.
TEST(StatusBarControllerTest, EachRedrawCatchesUpAndAnOpenPanelKeepsSamplesPrompt) {
    ControllerRig rig;
    rig.build();
    rig.startCalibrated();
    rig.time.advance(StatusBarController::kRedrawInterval / 2); // between two redraws
    const int before = rig.motion.pendingDeliveries;
    rig.time.advance(1.0);
    EXPECT_EQ(rig.motion.pendingDeliveries - before, 5) << "one catch-up per redraw";
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kRelaxedDelay);

    emit rig.tray.clicked();
    EXPECT_EQ(rig.motion.pendingDeliveries - before, 6) << "the panel opens on current figures";
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kPromptDelay);
    rig.time.advance(1.0);
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kPromptDelay);
    emit rig.tray.clicked();
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kRelaxedDelay);

    // Closed from elsewhere (it lost focus): noticed at the next redraw.
    rig.controller->openPopover();
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kPromptDelay);
    rig.views.closePanel();
    rig.time.advance(StatusBarController::kRedrawInterval);
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kRelaxedDelay);
}

TEST(StatusBarControllerTest, WithoutATrayHostThePanelOpensAsAWindowAfterTenSeconds) {
    ControllerRig late;
    late.tray.shown = false;
    late.build();
    late.time.advance(4);
    late.tray.setShown(true);
    late.time.advance(30);
    EXPECT_EQ(late.views.panelWindowOpenings, 0) << "a tray host that came up late";

    ControllerRig rig;
    rig.tray.shown = false;
    rig.build();
    rig.time.advance(9.9);
    EXPECT_EQ(rig.views.panelWindowOpenings, 0);
    rig.time.advance(0.2);
    EXPECT_EQ(rig.views.panelWindowOpenings, 1);
    rig.time.advance(60);
    EXPECT_EQ(rig.views.panelWindowOpenings, 1);
    // Without a tray icon to anchor to, a second launch opens the window too.
    rig.views.panelShown = false;
    rig.controller->openPopover();
    EXPECT_EQ(rig.views.panelWindowOpenings, 2);
}

// A StatusNotifierItem takes a set of square images, an XEmbed tray one at its
// pixel ratio; the tool tip tells the state and today's score, and the item
// asks for attention while an alerted streak lasts, not before, not after.
TEST(StatusBarControllerTest, SizedImagesToolTipAndAttentionFollowTheMonitor) {
    ControllerRig rig;
    rig.settings.setAlertDelay(2);
    rig.tray.sizes = {16, 64};
    rig.tray.ratio = 2.0;
    rig.build();
    ASSERT_EQ(rig.tray.imageSets.size(), 1u);
    ASSERT_EQ(rig.tray.images.size(), 1u);
    EXPECT_EQ(rig.tray.images[0].size(), QSize(56, 36));
    EXPECT_EQ(rig.tray.imageSets[0][0].size(), QSize(16, 16));
    EXPECT_EQ(rig.tray.imageSets[0][1].size(), QSize(64, 64));
    EXPECT_EQ(rig.tray.mood, StatusItem::Mood::idle);

    rig.startCalibrated();
    rig.hold(0, 0, 60.0, 0.5);
    EXPECT_EQ(rig.tray.mood, StatusItem::Mood::live);
    EXPECT_EQ(rig.tray.toolTip, "Aligned \u00b7 today 100 %");

    rig.hold(30, 0, 1.0);
    EXPECT_EQ(rig.tray.mood, StatusItem::Mood::live) << "before the alert";
    rig.hold(30, 0, 1.5);
    ASSERT_EQ(rig.alertsShown(), 1u);
    EXPECT_EQ(rig.tray.mood, StatusItem::Mood::alert);
    EXPECT_TRUE(rig.tray.toolTip.startsWith("Return to center")) << rig.tray.toolTip.toStdString();
    rig.hold(0, 0, 0.5);
    EXPECT_EQ(rig.tray.mood, StatusItem::Mood::live);
    EXPECT_EQ(rig.controller->imagesSent(), static_cast<int>(rig.tray.imageSets.size()));
}

} // namespace
} // namespace backbeacon::testing
