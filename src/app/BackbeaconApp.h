#pragma once

#include "RunMarker.h"
#include "ui/QuickViews.h"

#include <QImage>
#include <QObject>

#include <functional>
#include <memory>

namespace backbeacon {

class AppSettings;
class CameraSupervisor;
class Clock;
class LocalCalendar;
class LoginItem;
class MotionManager;
class ProcessLauncher;
class NotificationCenter;
class InsightCardSaver;
class NotificationManager;
class PostureMonitor;
class Preferences;
class SaveLocationChooser;
class StatisticsStore;
class StatsStorage;
class StatusBarController;
class StatusItem;
class TimerFactory;
class ViewHost;

// The desktop services the app runs on: the real ones in main(), fakes in tests.
struct AppPlatform {
    Preferences& preferences;
    LoginItem& loginItem;
    const Clock& clock;
    TimerFactory& timers;
    StatsStorage& statsStorage;
    LocalCalendar& calendar;
    NotificationCenter& notificationCenter;
    // The loopback receiver every head source sends to.
    MotionManager& motion;
    // Runs the camera tool, found at `cameraTool`, when the user chose the camera.
    ProcessLauncher& processLauncher;
    QString cameraTool;
    StatusItem& statusItem;
    // Builds the host of the panel and the Settings window over the models.
    std::function<std::unique_ptr<ViewHost>(const QuickViews::Models&)> makeViews;
    // Asks where the insight card goes.
    SaveLocationChooser& saveLocationChooser;
    // Where the run marker lives (the statistics folder); empty for none.
    QString markerFolder;
    // The notification icon's artwork and the folder its file goes to.
    std::function<QImage()> appIcon;
    QString scratchFolder;
};

// The running app: builds the five long-lived objects once, in order, counts
// the launch, and starts monitoring once the notification server has been
// asked about. Closing windows never ends it; `shutdown()` is the orderly quit.
class BackbeaconApp final : public QObject {
    Q_OBJECT

public:
    explicit BackbeaconApp(AppPlatform& platform, QObject* parent = nullptr);
    ~BackbeaconApp() override;

    AppSettings& settings() { return *m_settings; }
    StatisticsStore& stats() { return *m_stats; }
    NotificationManager& notifications() { return *m_notifications; }
    PostureMonitor& monitor() { return *m_monitor; }
    CameraSupervisor& camera() { return *m_camera; }
    StatusBarController& statusBarController() { return *m_statusBarController; }
    ViewHost& views() { return *m_views; }

    bool launchTaskFinished() const { return m_launchTaskFinished; }

    // Writes what the statistics throttle still holds and clears the run
    // marker. Safe to call more than once.
    void shutdown();

signals:
    void quitRequested();

private:
    void countLaunch();
    void runLaunchTask();

    AppPlatform& m_platform;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<StatisticsStore> m_stats;
    std::unique_ptr<NotificationManager> m_notifications;
    std::unique_ptr<CameraSupervisor> m_camera;
    std::unique_ptr<MotionManager> m_motion;
    std::unique_ptr<PostureMonitor> m_monitor;
    std::unique_ptr<ViewHost> m_views;
    std::unique_ptr<StatusBarController> m_statusBarController;
    std::unique_ptr<InsightCardSaver> m_cardSaver;
    RunMarker m_marker;
    bool m_launchTaskFinished = false;
    bool m_shutDown = false;
};

} // namespace backbeacon
