#include "StatsFile.h"

#include "model/AppFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStatsFile, "backbeacon.stats")

namespace backbeacon {

namespace {

QByteArray encodedPath(const QString& path) {
    return QFile::encodeName(path);
}

} // namespace

StatsFile::StatsFile(QString folder, Posix& posix) : m_folder(std::move(folder)), m_posix(posix) {}

QString StatsFile::defaultFolder() {
    const QString folder =
        appFolderIn(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), false);
    return folder.isEmpty() ? privateScratchFolder() : folder;
}

QString StatsFile::filePath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kFileName);
}

QString StatsFile::unreadablePath() const {
    return filePath() + QLatin1String(kUnreadableSuffix);
}

QStringList StatsFile::leftoverTemporaries() const {
    return AtomicFile::leftoverTemporaries(filePath());
}

StatsStorage::Loaded StatsFile::load() {
    if (m_folder.isEmpty()) {
        return {}; // no folder could be had: nothing stored
    }
    // Left by a save that was killed before its rename; nothing refers to them.
    for (const QString& leftover : leftoverTemporaries()) {
        m_posix.unlink(encodedPath(leftover).constData());
    }

    Loaded loaded;
    const int fd = m_posix.open(encodedPath(filePath()).constData(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        loaded.outcome = errno == ENOENT ? Loaded::Outcome::missing : Loaded::Outcome::unreadable;
        return loaded;
    }
    loaded.outcome = Loaded::Outcome::read;
    char buffer[16 * 1024];
    for (;;) {
        const ssize_t count = m_posix.read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 || static_cast<qint64>(loaded.bytes.size()) + count > kMaxFileSize) {
            loaded.outcome = Loaded::Outcome::unreadable;
            loaded.bytes.clear();
            break;
        }
        if (count == 0) {
            break;
        }
        loaded.bytes.append(buffer, static_cast<std::size_t>(count));
    }
    m_posix.close(fd);
    return loaded;
}

bool StatsFile::replace(std::string_view bytes, bool keepCurrentAside) {
    // Without a folder the path would be "/stats.json": never write there.
    if (m_folder.isEmpty()) {
        return false;
    }
    AtomicFile file(filePath(), 0600, m_posix);
    int error = file.write(bytes);
    const QByteArray target = encodedPath(filePath());
    const QByteArray aside = encodedPath(unreadablePath());
    bool movedAside = false;
    if (error == 0 && keepCurrentAside) {
        // Keep the file we could not use; a newer unreadable file replaces an older copy.
        if (m_posix.rename(target.constData(), aside.constData()) == 0) {
            movedAside = true;
        } else if (errno != ENOENT) {
            error = errno;
        }
    }
    if (error == 0) {
        error = file.commit();
        // The new file did not take its place: the old one goes back, so a
        // failed save leaves stats.json as it found it.
        if (error != 0 && movedAside &&
            m_posix.rename(aside.constData(), target.constData()) != 0) {
            qCWarning(lcStatsFile) << "could not put" << filePath() << "back from"
                                   << unreadablePath() << ":" << qt_error_string(errno);
        }
    }
    if (error != 0) {
        qCDebug(lcStatsFile) << "saving" << filePath() << "failed:" << qt_error_string(error);
        errno = error;
        return false;
    }
    return true;
}

} // namespace backbeacon
