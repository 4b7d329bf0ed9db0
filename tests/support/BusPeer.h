#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

#include <gtest/gtest.h>

namespace backbeacon::testing {

// Another client of a service on the bus, as a tray host or a panel is: reads
// its properties and calls its methods. BlockWithGui keeps the event loop
// running while it waits, so a service in the test's own thread can answer.
struct BusPeer {
    QVariant property(const QString& path, const QString& interface, const QString& name) const {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << interface << name;
        const QDBusReply<QDBusVariant> reply = bus.call(get, mode);
        EXPECT_TRUE(reply.isValid())
            << name.toStdString() << ": " << reply.error().message().toStdString();
        return reply.value().variant();
    }
    // A property of a D-Bus type of its own, such as a struct.
    template <typename T>
    T value(const QString& path, const QString& interface, const QString& name) const {
        return qdbus_cast<T>(property(path, interface, name).value<QDBusArgument>());
    }
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) const {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return bus.call(message, mode);
    }

    QDBusConnection bus;
    QString service;
    QDBus::CallMode mode = QDBus::BlockWithGui;
};

} // namespace backbeacon::testing
