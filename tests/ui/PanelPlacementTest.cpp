#include "ui/PanelPlacement.h"

#include <gtest/gtest.h>

#include <tuple>

namespace backbeacon {
namespace {

const QSize kPanel(308, 330);
const QRect kScreen(0, 0, 1280, 800);
const QRect kSecond(1280, 0, 1920, 1080);

TEST(PanelPlacementTest, ThePanelOpensOffTheIconPointerOrBarOnTheScreenAsAFittingWindow) {
    // The icon (or the pointer), the screen's free area, the panel's place:
    // under a tray in the middle of a top panel, centred; at the right edge
    // pushed left, at the left edge pushed right; above a tray at the bottom;
    // the pointer where the icon is not known, on a second monitor too; a
    // screen too small keeps the top left visible.
    const std::tuple<QRect, QPoint, QRect, QPoint> cases[] = {
        {{600, 0, 22, 22}, {5, 5}, {0, 24, 1280, 776}, {610 - 154, 26}},
        {{1257, 1, 22, 22}, {}, kScreen, {972, 27}},
        {{2, 1, 22, 22}, {}, kScreen, {0, 27}},
        {{1000, 774, 22, 22}, {}, {0, 0, 1280, 770}, {1010 - 154, 774 - 4 - 330}},
        {{}, {640, 10}, kScreen, {640 - 154, 15}},
        {{}, {3199, 1079}, kSecond, {3200 - 308, 1079 - 4 - 330}},
        {{150, 60, 22, 22}, {}, {100, 50, 200, 200}, {100, 50}}};
    for (const auto& [icon, pointer, available, expected] : cases) {
        EXPECT_EQ(panelPosition(icon, pointer, kPanel, available), expected)
            << expected.x() << ',' << expected.y();
    }
    // The host passes the point it was clicked at: the bar is taken to run
    // along the nearest edge, as thick as twice the point's distance from it,
    // and the panel opens toward the inside, off the bar. The point on its
    // screen, the anchor taken from it, the panel's place: a bottom bar 25 px
    // high clicked in its middle at the left end; a top bar; bars at the sides,
    // the panel beside them level with the point; a point outside any bar is
    // the anchor itself; a second screen's own edges count.
    const std::tuple<QPoint, QRect, QRect, QPoint> points[] = {
        {{12, 787}, kScreen, {12, 775, 1, 25}, {0, 775 - 4 - 330}},
        {{1250, 12}, kScreen, {1250, 0, 1, 25}, {1280 - 308, 29}},
        {{10, 400}, kScreen, {0, 400, 21, 1}, {25, 400 - 165}},
        {{1270, 400}, kScreen, {1261, 400, 19, 1}, {1261 - 4 - 308, 400 - 165}},
        {{640, 400}, kScreen, {640, 400, 1, 1}, {640 - 154, 405}},
        {{1290, 500}, kSecond, {1280, 500, 21, 1}, {1305, 500 - 165}}};
    for (const auto& [point, screen, anchor, panel] : points) {
        SCOPED_TRACE(::testing::Message() << point.x() << ',' << point.y());
        EXPECT_EQ(activationAnchor(point, screen), anchor);
        EXPECT_EQ(panelPosition(anchor, {}, kPanel, screen), panel);
    }
    EXPECT_TRUE(activationAnchor({-5, 400}, kScreen).isEmpty());
    // Only the Xwayland of a Wayland session bypasses the window manager, with
    // a plain window type the compositor gives the keyboard on showing: there
    // the compositor would centre a managed window; everywhere else the window
    // manager places it and hands it the focus. Without a tray, an ordinary
    // window.
    const std::tuple<bool, QByteArray, bool, Qt::WindowFlags> flags[] = {
        {false, "xcb", true, Qt::Window | Qt::X11BypassWindowManagerHint},
        {false, "xcb", false, Qt::Tool},
        {false, "wayland", true, Qt::Tool},
        {false, "offscreen", true, Qt::Tool},
        {true, "xcb", true, Qt::Window}};
    const Qt::WindowFlags kept = Qt::WindowType_Mask | Qt::X11BypassWindowManagerHint;
    for (const auto& [window, platform, wayland, want] : flags) {
        EXPECT_EQ(panelWindowFlags(window, platform, wayland) & kept, want) << platform.data();
    }
}

} // namespace
} // namespace backbeacon
