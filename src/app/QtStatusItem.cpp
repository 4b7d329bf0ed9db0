#include "QtStatusItem.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPixmap>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcTray, "backbeacon.tray")

void addStatusMenuActions(QMenu& menu, StatusItem& item) {
    QObject::connect(menu.addAction(QStringLiteral("Open Backbeacon")), &QAction::triggered, &item,
                     &StatusItem::openRequested);
    QObject::connect(menu.addAction(QStringLiteral("Settings...")), &QAction::triggered, &item,
                     &StatusItem::settingsRequested);
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Quit Backbeacon")), &QAction::triggered, &item,
                     &StatusItem::quitRequested);
}

QtStatusItem::QtStatusItem(QObject* parent) : StatusItem(parent) {
    addStatusMenuActions(m_menu, *this);
    m_tray.setContextMenu(&m_menu);

    connect(&m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    emit clicked();
                }
            });

    m_hostCheck.setInterval(1000);
    connect(&m_hostCheck, &QTimer::timeout, this, &QtStatusItem::checkHost);
    m_hostCheck.start();
}

void QtStatusItem::setImage(const QImage& image) {
    const bool first = m_tray.icon().isNull();
    m_tray.setIcon(QIcon(QPixmap::fromImage(image)));
    if (first) {
        checkHost();
    }
}

void QtStatusItem::setToolTip(const QString& text) {
    m_tray.setToolTip(text.isEmpty() ? QStringLiteral("Backbeacon")
                                     : QStringLiteral("Backbeacon\n") + text);
}

QRect QtStatusItem::geometry() const {
    return m_tray.geometry();
}

qreal QtStatusItem::devicePixelRatio() const {
    return qApp->devicePixelRatio();
}

void QtStatusItem::checkHost() {
    // Shown only with an image: an empty icon is refused.
    const bool available = QSystemTrayIcon::isSystemTrayAvailable() && !m_tray.icon().isNull();
    if (available && !m_tray.isVisible()) {
        m_tray.show();
        qCInfo(lcTray) << "tray icon shown";
    } else if (!available && m_tray.isVisible()) {
        // Hidden, so that showing it again docks it into the next host.
        m_tray.hide();
        qCInfo(lcTray) << "tray host went away";
    }
    if (available != m_shown) {
        m_shown = available;
        emit shownChanged(available);
    }
}

} // namespace backbeacon
