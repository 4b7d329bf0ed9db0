// The backbeacon executable: one tray app per user, started from the desktop's
// menu or at login.

#include "AppIcon.h"
#include "BackbeaconApp.h"
#include "QtProcessLauncher.h"
#include "QtStatusItem.h"
#include "QuitSignals.h"
#include "SessionPlatform.h"
#include "SingleInstance.h"
#include "StatusBarController.h"
#include "StatusNotifierItem.h"
#include "TimeZoneWatch.h"
#include "engine/UdpMotionManager.h"
#include "model/AppFolders.h"
#include "model/Clock.h"
#include "model/QSettingsPreferences.h"
#include "model/Timer.h"
#include "model/XdgAutostartLoginItem.h"
#include "notify/CanberraSoundPlayer.h"
#include "notify/FreedesktopNotificationCenter.h"
#include "stats/LocalCalendar.h"
#include "stats/StatisticsStore.h"
#include "stats/StatsFile.h"
#include "ui/FileDialogSaveLocationChooser.h"
#include "ui/QuickViews.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSessionManager>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace backbeacon;

int main(int argc, char* argv[]) {
    // Answered before anything needs a display, so it works anywhere.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("backbeacon %s\n", BACKBEACON_VERSION);
            return 0;
        }
    }

    // The software scene graph keeps a tray app small: the GL path under Mesa
    // costs about 80 MiB more and opens the panel four times slower.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // Before the application picks its display.
    if (const auto platform = qpaPlatformFor(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
                                             qgetenv("WAYLAND_DISPLAY"))) {
        qputenv("QT_QPA_PLATFORM", *platform);
    }
    QApplication::setApplicationName(QStringLiteral("Backbeacon"));
    QApplication::setOrganizationName(QStringLiteral("Backbeacon"));
    QApplication::setApplicationVersion(QStringLiteral(BACKBEACON_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.backbeacon.Backbeacon"));
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    std::fprintf(stderr, "backbeacon: running on %s\n",
                 qPrintable(QGuiApplication::platformName()));
    application.setWindowIcon(QIcon(QPixmap::fromImage(appIconImage({256, 256}))));

    const QString scratch = privateScratchFolder();
    SingleInstance instance(scratch);
    if (instance.claim() == SingleInstance::Role::secondary) {
        if (instance.askPrimaryToOpenPanel()) {
            return 0;
        }
        std::fprintf(stderr, "Backbeacon is already running but did not answer.\n");
        return 1;
    }

    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &application,
                     &QCoreApplication::quit);

    QSettingsPreferences preferences;
    XdgAutostartLoginItem loginItem;
    SystemClock clock;
    QtTimerFactory timers;
    StatsFile statsFile(StatsFile::defaultFolder());
    LocalCalendar calendar;
    TimeZoneWatch timeZoneWatch(calendar, timers);
    CanberraSoundPlayer soundPlayer;
    FreedesktopNotificationCenter notificationCenter(QDBusConnection::sessionBus(), &soundPlayer);
    UdpMotionManager motion;
    QtProcessLauncher processLauncher;
    StatusNotifierStatusItem statusItem(QDBusConnection::sessionBus(),
                                        [] { return std::make_unique<QtStatusItem>(); });
    FileDialogSaveLocationChooser saveLocationChooser;
    AppPlatform platform{
        .preferences = preferences,
        .loginItem = loginItem,
        .clock = clock,
        .timers = timers,
        .statsStorage = statsFile,
        .calendar = calendar,
        .notificationCenter = notificationCenter,
        .motion = motion,
        .processLauncher = processLauncher,
        .cameraTool = findCameraTool(QCoreApplication::applicationDirPath()),
        .statusItem = statusItem,
        .makeViews = [](const QuickViews::Models& models) -> std::unique_ptr<ViewHost> {
            return std::make_unique<QuickViews>(models);
        },
        .saveLocationChooser = saveLocationChooser,
        .markerFolder = statsFile.folder(),
        .appIcon =
            [] {
                return appIconImage({128, 128});
            },
        .scratchFolder = scratch,
    };
    BackbeaconApp app(platform);

    QObject::connect(&instance, &SingleInstance::openPanelRequested, &app.statusBarController(),
                     &StatusBarController::openPopover);
    QObject::connect(&app, &BackbeaconApp::quitRequested, &application, &QCoreApplication::quit);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &app, &BackbeaconApp::shutdown);
    // The session is ending: whatever follows, the counted time is on disk.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &app,
                     [&app](QSessionManager&) { app.stats().savePendingChanges(); });

    return application.exec();
}
