#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace backbeacon::testing {

// Captures Qt log messages while it lives, as "category: message" lines.
// One at a time: it replaces the process-wide handler.
class MessageLog {
public:
    MessageLog() {
        s_lines = {};
        m_previous = qInstallMessageHandler(&MessageLog::record);
    }
    ~MessageLog() { qInstallMessageHandler(m_previous); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    const QStringList& lines() const { return s_lines; }

private:
    static void record(QtMsgType, const QMessageLogContext& context, const QString& message) {
        s_lines.append(QString::fromUtf8(context.category) + QStringLiteral(": ") + message);
    }

    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

} // namespace backbeacon::testing
