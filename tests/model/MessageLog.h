#pragma once

#include <QMutex>
#include <QStringList>

namespace backbeacon::testing {

// Captures Qt log messages as "category: message" while it lives; those above
// debug and info also in warnings(), which may be filled from any thread.
class MessageLog {
public:
    MessageLog() : m_previous(qInstallMessageHandler(&record)) {
        const QMutexLocker lock(&mutex());
        lines().clear();
        warningLines().clear();
    }
    ~MessageLog() { qInstallMessageHandler(m_previous); }

    static QStringList& lines() {
        static QStringList captured;
        return captured;
    }
    static QStringList warnings() {
        const QMutexLocker lock(&mutex());
        return warningLines();
    }

private:
    static QMutex& mutex() {
        static QMutex guard;
        return guard;
    }
    static QStringList& warningLines() {
        static QStringList captured;
        return captured;
    }
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        const QString line = QString::fromUtf8(context.category) + QStringLiteral(": ") + message;
        const QMutexLocker lock(&mutex());
        lines().append(line);
        if (type != QtDebugMsg && type != QtInfoMsg) {
            warningLines().append(line);
        }
    }
    QtMessageHandler m_previous;
};

} // namespace backbeacon::testing
