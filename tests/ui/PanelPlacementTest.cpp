#include "ui/PanelPlacement.h"

#include <gtest/gtest.h>

#include <tuple>

namespace backbeacon {
namespace {

const QSize kPanel(308, 330);
const QRect kScreen(0, 0, 1280, 800);
const QRect kSecond(1280, 0, 1920, 1080);

TEST(PanelPlacementTest, ThePanelOpensOffTheIconOrPointerAndStaysOnTheScreen) {
    // The icon (or the pointer), the screen's free area, the panel's place.
    const std::tuple<QRect, QPoint, QRect, QPoint> cases[] = {
        // Under a tray in the middle of a top panel, centred.
        {{600, 0, 22, 22}, {5, 5}, {0, 24, 1280, 776}, {610 - 154, 26}},
        // At the right edge pushed left, at the left edge pushed right.
        {{1257, 1, 22, 22}, {}, kScreen, {972, 27}},
        {{2, 1, 22, 22}, {}, kScreen, {0, 27}},
        // Above a tray at the bottom.
        {{1000, 774, 22, 22}, {}, {0, 0, 1280, 770}, {1010 - 154, 774 - 4 - 330}},
        // The pointer where the icon is not known, on a second monitor too.
        {{}, {640, 10}, kScreen, {640 - 154, 15}},
        {{}, {3199, 1079}, kSecond, {3200 - 308, 1079 - 4 - 330}},
        // A screen too small keeps the top left visible.
        {{150, 60, 22, 22}, {}, {100, 50, 200, 200}, {100, 50}},
    };
    for (const auto& [icon, pointer, available, expected] : cases) {
        EXPECT_EQ(panelPosition(icon, pointer, kPanel, available), expected)
            << expected.x() << ',' << expected.y();
    }
}

// The host passes the point it was clicked at: the bar is taken to run along
// the nearest edge, as thick as twice the point's distance from it, and the
// panel opens toward the inside, off the bar.
TEST(PanelPlacementTest, AnActivationPointOpensThePanelTowardTheInsideOffTheBar) {
    // The point on its screen, the anchor taken from it, the panel's place.
    const std::tuple<QPoint, QRect, QRect, QPoint> cases[] = {
        // A bottom bar 25 px high clicked in its middle at the left end; a top bar.
        {{12, 787}, kScreen, {12, 775, 1, 25}, {0, 775 - 4 - 330}},
        {{1250, 12}, kScreen, {1250, 0, 1, 25}, {1280 - 308, 29}},
        // Bars at the sides: the panel opens beside them, level with the point.
        {{10, 400}, kScreen, {0, 400, 21, 1}, {25, 400 - 165}},
        {{1270, 400}, kScreen, {1261, 400, 19, 1}, {1261 - 4 - 308, 400 - 165}},
        // A point outside any bar is the anchor itself; a second screen's own edges count.
        {{640, 400}, kScreen, {640, 400, 1, 1}, {640 - 154, 405}},
        {{1290, 500}, kSecond, {1280, 500, 21, 1}, {1305, 500 - 165}},
    };
    for (const auto& [point, screen, anchor, panel] : cases) {
        SCOPED_TRACE(::testing::Message() << point.x() << ',' << point.y());
        EXPECT_EQ(activationAnchor(point, screen), anchor);
        EXPECT_EQ(panelPosition(anchor, {}, kPanel, screen), panel);
    }
    EXPECT_TRUE(activationAnchor({-5, 400}, kScreen).isEmpty());
    // Where a window manager keeps the bar out of the work area, that holds too.
    EXPECT_EQ(
        panelPosition(activationAnchor({12, 787}, kScreen), {}, kPanel, QRect(0, 0, 1280, 775)).y(),
        775 - 4 - 330);
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
