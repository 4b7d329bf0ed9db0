#include "AppFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>

namespace backbeacon {

QString appFolderIn(const QString& base, bool ownerOnly) {
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        return {};
    }
    const QString folder = QDir::cleanPath(base + QStringLiteral("/Backbeacon"));
    if (ownerOnly) {
        // Made 0700 from the start, so it is never open to others even briefly.
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
            return {};
        }
    } else if (!QDir().mkpath(folder)) {
        return {};
    }
    return QFileInfo(folder).isDir() ? folder : QString();
}

QString privateScratchFolder() {
    // Not QStandardPaths::RuntimeLocation: without $XDG_RUNTIME_DIR it makes one in /tmp.
    const QString folder = appFolderIn(qEnvironmentVariable("XDG_RUNTIME_DIR"), true);
    if (!folder.isEmpty()) {
        return folder;
    }
    return appFolderIn(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
                       false);
}

} // namespace backbeacon
