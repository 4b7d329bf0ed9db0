#include "RunMarker.h"

#include "model/AtomicFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

#include <cstring>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcMarker, "backbeacon.app")

RunMarker::RunMarker(QString folder)
    : m_path(folder.isEmpty() ? QString() : folder + QStringLiteral("/running")) {}

bool RunMarker::wasLeftBehind() const {
    return !m_path.isEmpty() && QFile::exists(m_path);
}

void RunMarker::place() {
    if (m_path.isEmpty()) {
        return;
    }
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (const int error =
            AtomicFile::replace(m_path, std::string_view(pid.constData(), pid.size()), 0600);
        error != 0) {
        qCWarning(lcMarker) << "cannot write the run marker:" << std::strerror(error);
    }
}

void RunMarker::remove() {
    if (!m_path.isEmpty() && QFile::exists(m_path) && !QFile::remove(m_path)) {
        qCWarning(lcMarker) << "cannot remove the run marker" << m_path;
    }
}

} // namespace backbeacon
