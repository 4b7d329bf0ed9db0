#include "ui/PanelPlacement.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace backbeacon
