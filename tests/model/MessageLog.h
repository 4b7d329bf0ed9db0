#pragma once

#include <QMutex>
#include <QStringList>

namespace backbeacon::testing {

// Captures Qt log messages as "category: message" while it lives; those above
// debug and info also in warnings(), which may be filled from any thread.
class MessageLog {
public:
    MessageLog() : m_previous(qInstallMessageHandler(&record)) {
        const QMutexLocker lock(&state().mutex);
        state().lines.clear();
        state().warnings.clear();
    }
    ~MessageLog() { qInstallMessageHandler(m_previous); }

    static QStringList& lines() { return state().lines; }
    static QStringList warnings() {
        const QMutexLocker lock(&state().mutex);
        return state().warnings;
    }

private:
    struct State {
        QMutex mutex;
        QStringList lines, warnings;
    };
    static State& state() {
        static State captured;
        return captured;
    }
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        const QString line = QString::fromUtf8(context.category) + QStringLiteral(": ") + message;
        const QMutexLocker lock(&state().mutex);
        state().lines.append(line);
        if (type != QtDebugMsg && type != QtInfoMsg) {
            state().warnings.append(line);
        }
    }
    QtMessageHandler m_previous;
};

} // namespace backbeacon::testing
