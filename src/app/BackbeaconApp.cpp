#include "BackbeaconApp.h"

#include "StatusBarController.h"
#include "engine/CameraSupervisor.h"
#include "engine/HeadSourceMotionManager.h"
#include "engine/PostureMonitor.h"
#include "model/AppSettings.h"
#include "notify/NotificationCenter.h"
#include "notify/NotificationManager.h"
#include "stats/InsightCardSaver.h"
#include "stats/StatisticsStore.h"

#include <QPointer>

namespace backbeacon {

BackbeaconApp::BackbeaconApp(AppPlatform& platform, QObject* parent)
    : QObject(parent), m_platform(platform), m_marker(platform.markerFolder) {
    m_settings =
        std::make_unique<AppSettings>(platform.preferences, platform.loginItem, platform.clock);
    m_stats =
        std::make_unique<StatisticsStore>(platform.statsStorage, platform.clock, platform.calendar);
    m_notifications = std::make_unique<NotificationManager>(
        *m_settings, platform.notificationCenter, platform.clock);
    if (platform.appIcon) {
        m_notifications->setIconProvider(platform.appIcon);
    }
    m_notifications->setIconFolder(platform.scratchFolder);
    m_camera =
        std::make_unique<CameraSupervisor>(*m_settings, platform.processLauncher, platform.clock,
                                           platform.timers, platform.cameraTool);
    m_motion = std::make_unique<HeadSourceMotionManager>(platform.motion, *m_camera);
    m_monitor = std::make_unique<PostureMonitor>(*m_settings, *m_stats, *m_notifications, *m_motion,
                                                 platform.clock, platform.timers);
    connect(m_camera.get(), &CameraSupervisor::statusChanged, m_monitor.get(),
            &PostureMonitor::refreshAvailability);

    m_views = platform.makeViews({*m_settings, *m_stats, *m_monitor, *m_notifications,
                                  platform.clock, platform.timers, platform.calendar, *m_camera});
    m_statusBarController = std::make_unique<StatusBarController>(*m_monitor, *m_settings, *m_stats,
                                                                  platform.statusItem, *m_views,
                                                                  platform.clock, platform.timers);
    connect(m_statusBarController.get(), &StatusBarController::quitRequested, this,
            &BackbeaconApp::quitRequested);
    m_cardSaver = std::make_unique<InsightCardSaver>(*m_stats, platform.calendar,
                                                     platform.saveLocationChooser, platform.timers);
    // The panel goes first; the dialog follows once it has.
    connect(m_views.get(), &ViewHost::insightCardRequested, this, [this] {
        m_views->closePanel();
        m_cardSaver->saveInsightCard();
    });

    countLaunch();
    runLaunchTask();
}

BackbeaconApp::~BackbeaconApp() {
    // The views and the controller hold on to the models: they go first.
    m_cardSaver.reset();
    m_statusBarController.reset();
    m_views.reset();
}

void BackbeaconApp::countLaunch() {
    const bool leftBehind = m_marker.wasLeftBehind();
    if (m_settings->collectDiagnostics()) {
        m_settings->countDiagnostic(&Diagnostics::launches);
        if (leftBehind) {
            m_settings->countDiagnostic(&Diagnostics::unexpectedQuits);
        }
    }
    m_marker.place();
}

void BackbeaconApp::runLaunchTask() {
    QPointer<BackbeaconApp> self(this);
    // Asking for permission on this desktop is asking whether a notification
    // server answers; the answer itself is read by the refresh that follows.
    m_platform.notificationCenter.getAuthorizationStatus([self](int) {
        if (!self) {
            return;
        }
        self->m_notifications->refreshAuthorization([self] {
            if (!self) {
                return;
            }
            if (self->m_settings->monitoringEnabled() && self->m_settings->autoStart()) {
                self->m_monitor->start();
            }
            self->m_launchTaskFinished = true;
        });
    });
}

void BackbeaconApp::shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    // The samples still waiting in the head source count too.
    m_monitor->catchUp();
    m_stats->savePendingChanges();
    m_marker.remove();
}

} // namespace backbeacon
