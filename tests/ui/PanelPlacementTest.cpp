#include "ui/PanelPlacement.h"

#include <gtest/gtest.h>

#include <utility>

namespace backbeacon {
namespace {

const QSize kPanel(308, 330);
const QRect kScreen(0, 0, 1280, 800);

TEST(PanelPlacementTest, SitsUnderTheIconCentredAndInsideTheScreen) {
    // A tray in the middle of a top panel.
    EXPECT_EQ(panelPosition(QRect(600, 0, 22, 22), {5, 5}, kPanel, QRect(0, 24, 1280, 776)),
              QPoint(610 - 154, 26));
    // At the right edge it is pushed left, not cut off.
    EXPECT_EQ(panelPosition(QRect(1257, 1, 22, 22), {}, kPanel, kScreen), QPoint(972, 27));
    // At the left edge it is pushed right.
    EXPECT_EQ(panelPosition(QRect(2, 1, 22, 22), {}, kPanel, kScreen).x(), 0);
}

TEST(PanelPlacementTest, OpensAboveATrayAtTheBottom) {
    const QRect available(0, 0, 1280, 770);
    EXPECT_EQ(panelPosition(QRect(1000, 774, 22, 22), {}, kPanel, available),
              QPoint(1010 - 154, 774 - 4 - 330));
}

TEST(PanelPlacementTest, FallsBackToThePointerWhenTheIconIsNotKnown) {
    EXPECT_EQ(panelPosition(QRect(), {640, 10}, kPanel, kScreen), QPoint(640 - 154, 15));
    // A pointer in a corner still keeps the panel on the screen of a second monitor.
    const QRect second(1280, 0, 1920, 1080);
    EXPECT_EQ(panelPosition(QRect(), {3199, 1079}, kPanel, second),
              QPoint(3200 - 308, 1079 - 4 - 330));
}

TEST(PanelPlacementTest, ATooSmallScreenKeepsTheTopLeftVisible) {
    const QRect tiny(100, 50, 200, 200);
    EXPECT_EQ(panelPosition(QRect(150, 60, 22, 22), {}, kPanel, tiny), QPoint(100, 50));
}

// The host passes the point it was clicked at: the bar is taken to run along
// the nearest edge, as thick as twice the point's distance from it.
TEST(PanelPlacementTest, AnActivationPointOpensThePanelTowardTheInsideOffTheBar) {
    // Bottom bar 25 px high, clicked in its middle at the left end.
    const QRect bottom = activationAnchor({12, 787}, kScreen);
    EXPECT_EQ(bottom, QRect(12, 775, 1, 25));
    EXPECT_EQ(panelPosition(bottom, {}, kPanel, kScreen), QPoint(0, 775 - 4 - 330));
    // Top bar, near the right end.
    const QRect top = activationAnchor({1250, 12}, kScreen);
    EXPECT_EQ(top, QRect(1250, 0, 1, 25));
    EXPECT_EQ(panelPosition(top, {}, kPanel, kScreen), QPoint(1280 - 308, 29));
    // Bars at the sides: the panel opens beside them, level with the point.
    const QRect left = activationAnchor({10, 400}, kScreen);
    EXPECT_EQ(left, QRect(0, 400, 21, 1));
    EXPECT_EQ(panelPosition(left, {}, kPanel, kScreen), QPoint(25, 400 - 165));
    const QRect right = activationAnchor({1270, 400}, kScreen);
    EXPECT_EQ(right, QRect(1261, 400, 19, 1));
    EXPECT_EQ(panelPosition(right, {}, kPanel, kScreen), QPoint(1261 - 4 - 308, 400 - 165));
    // Where a window manager keeps the bar out of the work area, that holds too.
    EXPECT_EQ(panelPosition(bottom, {}, kPanel, QRect(0, 0, 1280, 775)).y(), 775 - 4 - 330);
}

TEST(PanelPlacementTest, APointOutsideAnyBarIsTheAnchorItselfAndOffScreenIsNone) {
    EXPECT_EQ(activationAnchor({640, 400}, kScreen), QRect(640, 400, 1, 1));
    EXPECT_TRUE(activationAnchor({-5, 400}, kScreen).isEmpty());
    // A second screen's own edges count.
    const QRect second(1280, 0, 1920, 1080);
    EXPECT_EQ(activationAnchor({1290, 500}, second), QRect(1280, 500, 21, 1));
}

// Only the Xwayland of a Wayland session bypasses the window manager: there
// the compositor would centre a managed window; everywhere else the window
// manager places it and hands it the focus.
TEST(PanelPlacementTest, OnlyXwaylandPopupsBypassTheWindowManager) {
    const Qt::WindowFlags onXwayland = panelWindowFlags(false, "xcb", true);
    EXPECT_TRUE(onXwayland.testFlag(Qt::X11BypassWindowManagerHint));
    // A plain window type, which the compositor gives the keyboard on showing.
    EXPECT_EQ(onXwayland & Qt::WindowType_Mask, Qt::Window);
    for (const auto& [platform, wayland] :
         {std::pair<QByteArray, bool>{"xcb", false}, {"wayland", true}, {"offscreen", true}}) {
        const Qt::WindowFlags flags = panelWindowFlags(false, platform, wayland);
        EXPECT_FALSE(flags.testFlag(Qt::X11BypassWindowManagerHint)) << platform.constData();
        EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool) << platform.constData();
    }
    EXPECT_EQ(panelWindowFlags(true, "xcb", true), Qt::Window);
}

} // namespace
} // namespace backbeacon
