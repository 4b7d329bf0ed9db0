#pragma once

#include "model/Theme.h"

#include <QObject>

#include <memory>
#include <optional>

namespace backbeacon {

class AppSettings;
class Clock;
class PostureMonitor;
class StatisticsStore;
class StatusItem;
class Timer;
class TimerFactory;
class ViewHost;

// Everything the user sees of the app outside its views: the tray icon, redrawn
// five times a second from the monitor (with its tool tip and whether it asks
// for attention), the panel it opens and the one Settings
// window. Without a tray host for 10 s the panel opens as an ordinary window,
// so the app is never out of reach.
class StatusBarController final : public QObject {
    Q_OBJECT

public:
    static constexpr double kRedrawInterval = 0.2;
    static constexpr double kTrayGraceSeconds = 10.0;

    // The views reach the shared models through `views`, which the app builds
    // over them; the controller itself only reads the monitor.
    StatusBarController(PostureMonitor& monitor, const AppSettings& settings,
                        const StatisticsStore& stats, StatusItem& statusItem, ViewHost& views,
                        const Clock& clock, TimerFactory& timers, QObject* parent = nullptr);
    ~StatusBarController() override;

    void togglePopover();
    // Shows the panel, and leaves it open if it already is (a second launch).
    void openPopover();
    void openSettingsWindow();

    // How many images went to the tray: each one is a D-Bus round trip under
    // StatusNotifierItem, so unchanged images are not sent.
    int imagesSent() const { return m_imagesSent; }

signals:
    void quitRequested();

private:
    void configureStatusItem();
    void updateStatusItem();
    void checkTrayHost();
    // Before the panel shows: the figures it opens on are current, and stay so.
    void showLivePanel();

    PostureMonitor& m_monitor;
    const AppSettings& m_settings;
    const StatisticsStore& m_stats;
    StatusItem& m_statusItem;
    ViewHost& m_views;
    const Clock& m_clock;
    std::unique_ptr<Timer> m_updateTimer;
    std::unique_ptr<Timer> m_trayGrace;
    struct Drawn {
        ColorComponents indicator;
        ColorComponents symbol;
        qreal ratio = 1.0;
        bool operator==(const Drawn&) const = default;
    };
    Drawn m_lastDrawn;
    std::optional<double> m_dotFraction;
    QString m_toolTip;
    int m_imagesSent = 0;
};

} // namespace backbeacon
