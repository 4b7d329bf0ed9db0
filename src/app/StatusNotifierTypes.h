#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QList>
#include <QString>
#include <QVariantMap>

namespace backbeacon {

// The values the tray hosts read over D-Bus: the icon as a(iiay), the tool tip
// as (sa(iiay)ss) and the menu's tree as (ia{sv}av).

struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb; // 32-bit ARGB per pixel, big-endian, not premultiplied
    bool operator==(const SniPixmap&) const = default;
};
using SniPixmaps = QList<SniPixmap>;

struct SniToolTip {
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString description;
    bool operator==(const SniToolTip&) const = default;
};

struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};

struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

// Once per process, before the first object is exported or read.
void registerStatusNotifierTypes();

SniPixmap sniPixmap(const QImage& image);

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

} // namespace backbeacon

Q_DECLARE_METATYPE(backbeacon::SniPixmap)
Q_DECLARE_METATYPE(backbeacon::SniToolTip)
Q_DECLARE_METATYPE(backbeacon::DBusMenuLayout)
Q_DECLARE_METATYPE(backbeacon::DBusMenuItemProperties)
Q_DECLARE_METATYPE(backbeacon::DBusMenuEvent)
