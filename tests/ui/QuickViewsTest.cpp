#include "ui/QuickViews.h"

#include "EngineRig.h"
#include "FakeProcessLauncher.h"
#include "engine/CameraSupervisor.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace backbeacon {
namespace {

struct ViewsRig {
    testing::EngineRig engine;
    testing::FakeProcessLauncher launcher;
    CameraSupervisor camera{engine.settings, launcher, engine.time.clock(), engine.time, {}};
    QuickViews views{{engine.settings, engine.stats, *engine.monitor, engine.notifications,
                      engine.time.clock(), engine.time, engine.calendar, camera}};
};

TEST(QuickViewsTest, TheEngineWaitsForTheFirstOpening) {
    ViewsRig rig;
    EXPECT_FALSE(rig.views.hasEngine());
    EXPECT_FALSE(rig.views.isPanelShown());
    rig.views.closePanel();
    EXPECT_FALSE(rig.views.hasEngine());
    rig.views.showPanel(QRect(1200, 0, 22, 22));
    EXPECT_TRUE(rig.views.hasEngine());
}

TEST(QuickViewsTest, EveryOpeningOfThePanelBuildsAFreshView) {
    ViewsRig rig;
    rig.views.showPanel(QRect(1200, 0, 22, 22));
    ASSERT_TRUE(rig.views.isPanelShown());
    QQuickWindow* panel = rig.views.panelWindow();
    EXPECT_TRUE(panel->flags().testFlag(Qt::FramelessWindowHint));
    QPointer<QQuickItem> first = rig.views.panelRoot();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSizeF(panel->size()));

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
}

TEST(QuickViewsTest, TheSettingsWindowIsBuiltOnceAndKeptAcrossClosing) {
    ViewsRig rig;
    rig.views.showSettingsWindow();
    QQuickWindow* window = rig.views.settingsWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title(), "Backbeacon");
    EXPECT_EQ(window->size(), QSize(460, 540));
    EXPECT_EQ(window->minimumSize(), QSize(460, 540));
    QQuickItem* content = window->contentItem()->childItems().value(0);
    ASSERT_TRUE(content);
    window->close();
    // Whatever changed while it was closed, the Authorization row is current.
    rig.engine.center.status = 1;
    rig.views.showSettingsWindow();
    EXPECT_EQ(rig.views.settingsWindow(), window);
    EXPECT_EQ(rig.engine.notifications.authorizationStatus(), 1);
    EXPECT_EQ(rig.engine.center.authorizationQueries, 2);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->contentItem()->childItems().value(0), content);
}

TEST(QuickViewsTest, ThePanelsActionsReachTheHost) {
    ViewsRig rig;
    QSignalSpy settings(&rig.views, &ViewHost::settingsWindowRequested);
    QSignalSpy quit(&rig.views, &ViewHost::quitRequested);
    rig.views.showPanel(QRect());
    QQuickItem* root = rig.views.panelRoot();
    ASSERT_TRUE(root);
    // The views call the host through `app`, as the panel's rows do.
    QMetaObject::invokeMethod(&rig.views, "openSettingsWindow");
    QMetaObject::invokeMethod(&rig.views, "quit");
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(quit.count(), 1);
}

// The panel is as tall as what it shows, and follows when the calibration view
// gives way to the taller monitor view while it is open.
TEST(QuickViewsTest, ThePanelsHeightFollowsItsContent) {
    ViewsRig rig;
    rig.views.showPanel(QRect(1200, 0, 22, 22));
    QQuickWindow* panel = rig.views.panelWindow();
    const int uncalibrated = panel->height();
    EXPECT_EQ(panel->width(), 308);
    EXPECT_GT(uncalibrated, 100);
    rig.engine.startCalibrated();
    ASSERT_TRUE(rig.engine.settings.isCalibrated());
    EXPECT_GT(panel->height(), uncalibrated + 100);
    EXPECT_EQ(rig.views.panelRoot()->height(), panel->height());
}

} // namespace
} // namespace backbeacon
