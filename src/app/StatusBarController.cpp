#include "StatusBarController.h"

#include "StatusIndicator.h"
#include "StatusItem.h"
#include "engine/PostureMonitor.h"
#include "model/AppSettings.h"
#include "model/Clock.h"
#include "model/Timer.h"
#include "stats/StatisticsStore.h"
#include "ui/ViewHost.h"
#include "ui/ViewRules.h"

#include <QLoggingCategory>
#include <QPointer>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcStatus, "backbeacon.app")

StatusBarController::StatusBarController(PostureMonitor& monitor, const AppSettings& settings,
                                         const StatisticsStore& stats, StatusItem& statusItem,
                                         ViewHost& views, const Clock& clock, TimerFactory& timers,
                                         QObject* parent)
    : QObject(parent), m_monitor(monitor), m_settings(settings), m_stats(stats),
      m_statusItem(statusItem), m_views(views), m_clock(clock), m_updateTimer(timers.createTimer()),
      m_trayGrace(timers.createTimer()) {
    configureStatusItem();
    connect(&m_statusItem, &StatusItem::clicked, this, &StatusBarController::togglePopover);
    connect(&m_statusItem, &StatusItem::openRequested, this, &StatusBarController::openPopover);
    connect(&m_statusItem, &StatusItem::settingsRequested, this,
            &StatusBarController::openSettingsWindow);
    connect(&m_statusItem, &StatusItem::quitRequested, this, &StatusBarController::quitRequested);
    connect(&m_views, &ViewHost::settingsWindowRequested, this,
            &StatusBarController::openSettingsWindow);
    connect(&m_views, &ViewHost::quitRequested, this, &StatusBarController::quitRequested);

    QPointer<StatusBarController> self(this);
    m_updateTimer->start(kRedrawInterval, [self] {
        if (self) {
            self->updateStatusItem();
        }
    });
    if (!m_statusItem.isShown()) {
        m_trayGrace->start(kTrayGraceSeconds, [self] {
            if (self) {
                self->checkTrayHost();
            }
        });
    }
}

StatusBarController::~StatusBarController() = default;

void StatusBarController::configureStatusItem() {
    updateStatusItem();
}

void StatusBarController::updateStatusItem() {
    // The engine reads the head source at its own pace while nobody looks;
    // what the tray shows is brought up to date here, in the same wake-up.
    m_monitor.setLiveViewOpen(m_views.isPanelShown());
    m_monitor.catchUp();
    const PostureState state = m_monitor.state();
    const bool connected = m_monitor.connected();
    const double fraction = m_monitor.driftFraction();
    // The dot in perceptible steps; the flash from the figure itself.
    m_dotFraction = statusIndicator::dotFraction(fraction, m_dotFraction);
    const Drawn drawn{statusIndicator::indicatorColor(state, connected, *m_dotFraction),
                      statusIndicator::symbolColor(state, connected, fraction, m_clock.now()),
                      m_statusItem.devicePixelRatio()};
    const QString toolTip = statusIndicator::toolTip(
        headline(state, fraction, m_settings.headSource()), m_stats.today());
    if (toolTip != m_toolTip) {
        m_statusItem.setToolTip(toolTip);
        m_toolTip = toolTip;
    }
    m_statusItem.setMood(statusIndicator::mood(state, connected, m_monitor.alerted()));
    // The image is a function of these three: the same ones draw the same image.
    if (m_imagesSent > 0 && drawn == m_lastDrawn) {
        return;
    }
    // The one image for an XEmbed tray, and the sized ones for a
    // StatusNotifierItem: the item may move between the two at any time.
    m_statusItem.setImage(statusIndicator::statusImage(drawn.indicator, drawn.symbol, drawn.ratio));
    const QList<int> sizes = m_statusItem.imageSizes();
    if (!sizes.isEmpty()) {
        QList<QImage> images;
        for (int size : sizes) {
            images.push_back(
                statusIndicator::squareStatusImage(drawn.indicator, drawn.symbol, size));
        }
        m_statusItem.setImages(images);
    }
    m_lastDrawn = drawn;
    ++m_imagesSent;
}

void StatusBarController::checkTrayHost() {
    m_trayGrace->stop();
    if (!m_statusItem.isShown() && !m_views.isPanelShown()) {
        qCInfo(lcStatus) << "no tray host after" << kTrayGraceSeconds
                         << "s: opening the panel as a window";
        showLivePanel();
        m_views.showPanelAsWindow();
    }
}

void StatusBarController::togglePopover() {
    if (m_views.isPanelShown()) {
        m_views.closePanel();
        m_monitor.setLiveViewOpen(false);
        return;
    }
    showLivePanel();
    m_views.showPanel(m_statusItem.geometry());
}

void StatusBarController::showLivePanel() {
    m_monitor.setLiveViewOpen(true);
    m_monitor.catchUp();
}

void StatusBarController::openPopover() {
    if (!m_views.isPanelShown()) {
        showLivePanel();
        if (m_statusItem.isShown()) {
            m_views.showPanel(m_statusItem.geometry());
        } else {
            m_views.showPanelAsWindow();
        }
    }
}

void StatusBarController::openSettingsWindow() {
    m_views.closePanel();
    m_views.showSettingsWindow();
}

} // namespace backbeacon
