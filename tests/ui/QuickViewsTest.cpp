#include "ViewsRig.h"

namespace backbeacon::testing {
namespace {

// The QML engine waits for the first opening. Every opening of the panel
// builds a fresh view, and the panel is as tall as what it shows, following
// when the calibration view gives way to the taller monitor view.
TEST_F(ViewsTest, ThePanelGetsAFreshViewEachOpeningAsTallAsItsContent) {
    ViewsRig rig;
    rig.views.closePanel();
    EXPECT_FALSE(rig.views.hasEngine());
    EXPECT_FALSE(rig.views.isPanelShown());
    rig.views.showPanel(QRect(1200, 0, 22, 22));
    ASSERT_TRUE(rig.views.isPanelShown());
    EXPECT_TRUE(rig.views.hasEngine());
    QQuickWindow* panel = rig.views.panelWindow();
    EXPECT_TRUE(panel->flags().testFlag(Qt::FramelessWindowHint));
    QPointer<QQuickItem> first = rig.views.panelRoot();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSizeF(panel->size()));
    const int uncalibrated = panel->height();
    EXPECT_GT(uncalibrated, 100);

    rig.views.closePanel();
    EXPECT_FALSE(rig.views.isPanelShown());
    // A closed panel keeps no view that would follow the monitor unseen.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    rig.views.showPanel(QRect());
    EXPECT_TRUE(rig.views.panelRoot());
    EXPECT_EQ(rig.views.panelWindow(), panel);

    // Without a tray the panel is an ordinary, framed window.
    rig.views.showPanelAsWindow();
    EXPECT_FALSE(panel->flags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(panel->title(), "Backbeacon");
    rig.engine.startCalibrated();
    ASSERT_TRUE(rig.engine.settings.isCalibrated());
    EXPECT_EQ(panel->width(), 308);
    EXPECT_GT(panel->height(), uncalibrated + 100);
    EXPECT_EQ(rig.views.panelRoot()->height(), panel->height());
}

TEST_F(ViewsTest, TheSettingsWindowIsBuiltOnceAndKeptAcrossClosing) {
    ViewsRig rig;
    QQuickWindow* window = openSettings(rig);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title(), "Backbeacon");
    EXPECT_EQ(window->minimumSize(), QSize(460, 540));
    QQuickItem* content = rig.views.settingsRoot();
    ASSERT_TRUE(content);
    window->close();
    // Whatever changed while it was closed, the Authorization row is current.
    rig.engine.center.status = 1;
    rig.views.showSettingsWindow();
    EXPECT_EQ(rig.views.settingsWindow(), window);
    EXPECT_EQ(rig.engine.notifications.authorizationStatus(), 1);
    EXPECT_EQ(rig.engine.center.authorizationQueries, 2);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(rig.views.settingsRoot(), content);
}

} // namespace
} // namespace backbeacon::testing
