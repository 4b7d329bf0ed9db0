#pragma once

#include "ViewHost.h"
#include "ViewModel.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QQuickItem>

#include <memory>

class QQmlComponent;
class QQmlEngine;
class QQuickWindow;

namespace backbeacon {

class ViewTheme;

// The panel and the Settings window in Qt Quick. The QML engine is made when
// one of them is first opened: a tray app that is never clicked never pays for
// it. The views see the shared models as `settings`, `stats`, `monitor` and
// `notifications`, what is shown of them as `viewModel`, the palette as
// `theme`, and this host as `app`.
class QuickViews final : public ViewHost {
    Q_OBJECT
    // Whether the last key or button pressed in a view was a key: focus rings
    // show only then, so the pointer's look stays as it is.
    Q_PROPERTY(bool keyboardInUse READ keyboardInUse NOTIFY keyboardInUseChanged)

public:
    using Models = ViewModel::Models;

    static constexpr int kPanelWidth = 308;
    static constexpr int kSettingsWidth = 460;
    static constexpr int kSettingsHeight = 540;

    explicit QuickViews(Models models, QObject* parent = nullptr);
    ~QuickViews() override;

    bool isPanelShown() const override;
    void showPanel(const QRect& iconGeometry) override;
    void showPanelAsWindow() override;
    Q_INVOKABLE void closePanel() override;
    void showSettingsWindow() override;

    bool keyboardInUse() const { return m_keyboardInUse; }
    bool hasEngine() const { return m_engine != nullptr; }
    QQuickWindow* panelWindow() const { return m_panel.get(); }
    QQuickWindow* settingsWindow() const { return m_settings.get(); }
    QQuickItem* panelRoot() const { return m_panelRoot; }
    QQuickItem* settingsRoot() const { return m_settingsRoot; }
    // Made with the engine; null before the first opening.
    ViewModel* viewModel() const { return m_viewModel.get(); }

    // For the views.
    Q_INVOKABLE void openSettingsWindow() { emit settingsWindowRequested(); }
    Q_INVOKABLE void quit() { emit quitRequested(); }
    Q_INVOKABLE void saveInsightCard() { emit insightCardRequested(); }

signals:
    void keyboardInUseChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ensureEngine();
    QQuickItem* createRoot(QQmlComponent& component, QQuickWindow& window);
    void preparePanel(bool asWindow);
    void placePanel();
    void timeOpening();

    Models m_models;
    std::unique_ptr<ViewModel> m_viewModel;
    std::unique_ptr<ViewTheme> m_theme;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQmlComponent> m_panelComponent;
    std::unique_ptr<QQmlComponent> m_settingsComponent;
    std::unique_ptr<QQuickWindow> m_panel;
    std::unique_ptr<QQuickWindow> m_settings;
    QPointer<QQuickItem> m_panelRoot;
    QPointer<QQuickItem> m_settingsRoot;
    bool m_panelIsPopup = true;
    // A popup placed past the window manager (Xwayland): it grabs the
    // keyboard and pointer rather than relying on focus.
    bool m_panelGrabs = false;
    QRect m_iconGeometry;
    // From the request to the first frame of an opening, for the log.
    QElapsedTimer m_opening;
    QMetaObject::Connection m_openingDrawn;
    int m_openings = 0;
    bool m_keyboardInUse = false;
};

} // namespace backbeacon
