#pragma once

#include "ViewHost.h"

#include <QPointer>
#include <QQuickItem>

#include <memory>

class QQmlComponent;
class QQmlEngine;
class QQuickWindow;

namespace backbeacon {

// The panel and the Settings window in Qt Quick. The QML engine is made when
// one of them is first opened: a tray app that is never clicked never pays for
// it. The views see the shared models as `settings`, `stats`, `monitor` and
// `notifications`, and this host as `app`.
class QuickViews final : public ViewHost {
    Q_OBJECT

public:
    struct Models {
        QObject* settings = nullptr;
        QObject* stats = nullptr;
        QObject* monitor = nullptr;
        QObject* notifications = nullptr;
    };

    static constexpr int kPanelWidth = 308;
    static constexpr int kPanelHeight = 330;
    static constexpr int kSettingsWidth = 460;
    static constexpr int kSettingsHeight = 540;

    explicit QuickViews(Models models, QObject* parent = nullptr);
    ~QuickViews() override;

    bool isPanelShown() const override;
    void showPanel(const QRect& iconGeometry) override;
    void showPanelAsWindow() override;
    void closePanel() override;
    void showSettingsWindow() override;

    bool hasEngine() const { return m_engine != nullptr; }
    QQuickWindow* panelWindow() const { return m_panel.get(); }
    QQuickWindow* settingsWindow() const { return m_settings.get(); }
    QQuickItem* panelRoot() const { return m_panelRoot; }

    // For the views.
    Q_INVOKABLE void openSettingsWindow() { emit settingsWindowRequested(); }
    Q_INVOKABLE void quit() { emit quitRequested(); }

private:
    void ensureEngine();
    QQuickItem* createRoot(QQmlComponent& component, QQuickWindow& window);
    void preparePanel(bool asWindow);

    Models m_models;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQmlComponent> m_panelComponent;
    std::unique_ptr<QQmlComponent> m_settingsComponent;
    std::unique_ptr<QQuickWindow> m_panel;
    std::unique_ptr<QQuickWindow> m_settings;
    QPointer<QQuickItem> m_panelRoot;
    bool m_panelIsPopup = true;
};

} // namespace backbeacon
