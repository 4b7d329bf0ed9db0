#include "ViewsRig.h"

#include <QDir>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <gtest/gtest.h>

namespace backbeacon::testing {
namespace {

class ViewsScreenshotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { QQuickWindow::setGraphicsApi(QSGRendererInterface::Software); }

    // Renders the window and keeps the picture in the build folder.
    static QImage shoot(QQuickWindow& window, const QString& name) {
        QImage image = window.grabWindow();
        QDir().mkpath(QStringLiteral(BACKBEACON_SCREENSHOT_DIR));
        image.save(QStringLiteral(BACKBEACON_SCREENSHOT_DIR "/%1.png").arg(name));
        return image;
    }

    static QImage panel(ViewsRig& rig, const QString& name) {
        rig.views.showPanel(QRect());
        rig.views.viewModel()->setAnimationsEnabled(false);
        return shoot(*rig.views.panelWindow(), name);
    }
};

TEST_F(ViewsScreenshotTest, Panel) {
    ViewsRig uncalibrated;
    panel(uncalibrated, "panel-uncalibrated");
    ViewsRig rig({30, 200, 500, -1, 10, 100});
    rig.engine.startCalibrated();
    rig.engine.hold(14, 0, 2);
    panel(rig, "panel-drifting");
    ViewsRig settings({30, 200, 500, -1, 10, 100});
    settings.engine.settings.setCollectDiagnostics(true);
    settings.views.showSettingsWindow();
    QQuickWindow* window = settings.views.settingsWindow();
    window->resize(460, 1400);
    QCoreApplication::processEvents();
    shoot(*window, "settings-tall");
}

} // namespace
} // namespace backbeacon::testing
