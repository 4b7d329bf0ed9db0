#include "ui/QuickViews.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace backbeacon {
namespace {

// Stand-ins for the models: the views only read properties from them.
class FakeMonitor final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool connected READ connected CONSTANT)
    Q_PROPERTY(double combinedDriftDegrees READ combinedDriftDegrees CONSTANT)

public:
    bool connected() const { return true; }
    double combinedDriftDegrees() const { return 12.4; }
};

struct ViewsRig {
    QObject settings, stats, notifications;
    FakeMonitor monitor;
    QuickViews views{{&settings, &stats, &monitor, &notifications}};
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
    EXPECT_EQ(panel->size(), QSize(308, 330));
    EXPECT_TRUE(panel->flags().testFlag(Qt::FramelessWindowHint));
    QPointer<QQuickItem> first = rig.views.panelRoot();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSizeF(308, 330));

    rig.views.closePanel();
    EXPECT_FALSE(rig.views.isPanelShown());
    rig.views.showPanel(QRect());
    EXPECT_FALSE(first); // the old view is gone
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
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // not resizable
    QQuickItem* content = window->contentItem()->childItems().value(0);
    ASSERT_TRUE(content);
    window->close();
    rig.views.showSettingsWindow();
    EXPECT_EQ(rig.views.settingsWindow(), window);
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

} // namespace
} // namespace backbeacon

#include "QuickViewsTest.moc"
