#pragma once

#include <QObject>
#include <QRect>

namespace backbeacon {

// Where the panel and the Settings window live. QuickViews shows them with Qt
// Quick; tests record the calls.
class ViewHost : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isPanelShown() const = 0;
    // Shows the panel with a freshly built view, as a popup under the tray
    // icon at `iconGeometry` (at the pointer when that is empty), or as an
    // ordinary window for desktops without a tray.
    virtual void showPanel(const QRect& iconGeometry) = 0;
    virtual void showPanelAsWindow() = 0;
    virtual void closePanel() = 0;
    // Builds the one Settings window on first use; later calls bring it back.
    virtual void showSettingsWindow() = 0;

signals:
    // Asked for from inside the views.
    void settingsWindowRequested();
    void quitRequested();
    void insightCardRequested();
};

} // namespace backbeacon
