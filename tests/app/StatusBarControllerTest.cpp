#include "app/StatusBarController.h"

#include "AppFakes.h"
#include "EngineRig.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace backbeacon::testing {
namespace {

struct ControllerRig : EngineRig {
    FakeStatusItem tray;
    FakeViewHost views;
    std::unique_ptr<StatusBarController> controller;

    void build() {
        controller =
            std::make_unique<StatusBarController>(*monitor, tray, views, time.clock(), time);
    }
};

TEST(StatusBarControllerTest, HandsTheTrayAnImageOnlyWhenItChanges) {
    ControllerRig rig;
    rig.build();
    EXPECT_EQ(rig.tray.toolTip, "Backbeacon");
    ASSERT_EQ(rig.tray.images.size(), 1u);
    rig.time.advance(2.0); // ten quiet ticks
    EXPECT_EQ(rig.tray.images.size(), 1u);

    rig.startCalibrated();
    const std::size_t calibrated = rig.tray.images.size();
    EXPECT_GT(calibrated, 1u);
    const QColor dot = rig.tray.images.back().pixelColor(23, 9);
    EXPECT_NEAR(dot.redF(), 0.36, 0.01);
    EXPECT_NEAR(dot.greenF(), 0.58, 0.01);
    EXPECT_NEAR(dot.blueF(), 0.64, 0.01);

    // A head held at full drift flashes: red and white glyphs take turns.
    rig.hold(30, 0, 2.0, 0.05);
    const std::size_t flashing = rig.tray.images.size() - calibrated;
    EXPECT_GE(flashing, 4u);
    EXPECT_NE(rig.tray.images.back(), rig.tray.images[rig.tray.images.size() - 2]);
    EXPECT_EQ(rig.controller->imagesSent(), static_cast<int>(rig.tray.images.size()));
}

TEST(StatusBarControllerTest, DrawsAtTheTraysPixelRatio) {
    ControllerRig rig;
    rig.tray.ratio = 2.0;
    rig.build();
    EXPECT_EQ(rig.tray.images.back().size(), QSize(56, 36));
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

    QSignalSpy quit(rig.controller.get(), &StatusBarController::quitRequested);
    emit rig.tray.quitRequested();
    emit rig.views.quitRequested();
    EXPECT_EQ(quit.count(), 2);
}

TEST(StatusBarControllerTest, WithoutATrayHostThePanelOpensAsAWindowAfterTenSeconds) {
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

TEST(StatusBarControllerTest, ATrayHostThatComesUpLateMeansNoWindow) {
    ControllerRig rig;
    rig.tray.shown = false;
    rig.build();
    rig.time.advance(4);
    rig.tray.setShown(true);
    rig.time.advance(30);
    EXPECT_EQ(rig.views.panelWindowOpenings, 0);
}

} // namespace
} // namespace backbeacon::testing
