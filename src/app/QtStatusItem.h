#pragma once

#include "StatusItem.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace backbeacon {

// The tray menu's entries, each raising the item's own request. Some hosts
// (GNOME's AppIndicator extension) open this menu on a left click, so
// everything a click offers is in it too.
void addStatusMenuActions(QMenu& menu, StatusItem& item);

// The tray icon through QSystemTrayIcon: StatusNotifierItem where the session
// offers a watcher, XEmbed otherwise. The session's panel may come up after
// the app, so the host is looked for again every second until one is there.
class QtStatusItem final : public StatusItem {
    Q_OBJECT

public:
    explicit QtStatusItem(QObject* parent = nullptr);

    void setImage(const QImage& image) override;
    void setToolTip(const QString& text) override;
    bool isShown() const override { return m_shown; }
    QRect geometry() const override;
    qreal devicePixelRatio() const override;

private:
    void checkHost();

    QMenu m_menu;
    QSystemTrayIcon m_tray;
    QTimer m_hostCheck;
    bool m_shown = false;
};

} // namespace backbeacon
