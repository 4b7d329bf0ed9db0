#pragma once

#include <QStringList>

namespace backbeacon::testing {

// Captures Qt log messages as "category: message" while it lives.
class MessageLog {
public:
    MessageLog() : m_previous(qInstallMessageHandler(&record)) { lines().clear(); }
    ~MessageLog() { qInstallMessageHandler(m_previous); }

    static QStringList& lines() {
        static QStringList captured;
        return captured;
    }

private:
    static void record(QtMsgType, const QMessageLogContext& context, const QString& message) {
        lines().append(QString::fromUtf8(context.category) + QStringLiteral(": ") + message);
    }
    QtMessageHandler m_previous;
};

} // namespace backbeacon::testing
