#include "StatsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStatsFile, "backbeacon.stats")

namespace backbeacon {

int Posix::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t Posix::read(int fd, void* buffer, size_t size) {
    return ::read(fd, buffer, size);
}
ssize_t Posix::write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}
int Posix::fsync(int fd) {
    return ::fsync(fd);
}
int Posix::close(int fd) {
    return ::close(fd);
}
int Posix::rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int Posix::unlink(const char* path) {
    return ::unlink(path);
}
int Posix::mkdir(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}

Posix& Posix::real() {
    static Posix posix;
    return posix;
}

namespace {

const QString kAppFolder = QStringLiteral("/Backbeacon");

// "stats.json.<16 hex digits>.tmp": the only names load() will remove.
const QRegularExpression& temporaryName() {
    static const QRegularExpression pattern(QStringLiteral("^stats\\.json\\.[0-9a-f]{16}\\.tmp$"));
    return pattern;
}

QByteArray encodedPath(const QString& path) {
    return QFile::encodeName(path);
}

// `base`/Backbeacon if `base` is an absolute path and the folder exists or can be made.
QString usableFolder(const QString& base, bool ownerOnly) {
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        return {};
    }
    const QString folder = QDir::cleanPath(base + kAppFolder);
    if (ownerOnly) {
        // Made 0700 from the start, so it is never open to others even briefly.
        if (::mkdir(encodedPath(folder).constData(), 0700) != 0 && errno != EEXIST) {
            return {};
        }
    } else if (!QDir().mkpath(folder)) {
        return {};
    }
    return QFileInfo(folder).isDir() ? folder : QString();
}

} // namespace

StatsFile::StatsFile(QString folder, Posix& posix) : m_folder(std::move(folder)), m_posix(posix) {}

QString StatsFile::defaultFolder() {
    QString folder =
        usableFolder(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), false);
    if (folder.isEmpty()) {
        // Not QStandardPaths::RuntimeLocation: without $XDG_RUNTIME_DIR it makes one in /tmp.
        folder = usableFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"), true);
    }
    if (folder.isEmpty()) {
        folder = usableFolder(
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation), false);
    }
    return folder;
}

QString StatsFile::filePath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kFileName);
}

QString StatsFile::unreadablePath() const {
    return filePath() + QLatin1String(kUnreadableSuffix);
}

QStringList StatsFile::leftoverTemporaries() const {
    QStringList found;
    const QStringList names =
        QDir(m_folder).entryList({QStringLiteral("stats.json.*.tmp")}, QDir::Files | QDir::System);
    for (const QString& name : names) {
        if (temporaryName().match(name).hasMatch()) {
            found << m_folder + QLatin1Char('/') + name;
        }
    }
    return found;
}

StatsStorage::Loaded StatsFile::load() {
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

StatsFile::Written StatsFile::writeTemporary(const QByteArray& path, std::string_view bytes) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = m_posix.open(path.constData(), kFlags, 0600);
    if (fd < 0 && errno == ENOENT) {
        // The folder went away since start-up.
        m_posix.mkdir(encodedPath(m_folder).constData(), 0755);
        fd = m_posix.open(path.constData(), kFlags, 0600);
    }
    if (fd < 0) {
        return Written::notCreated;
    }
    bool ok = true;
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t count = m_posix.write(fd, next, left);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            if (count == 0) {
                errno = ENOSPC; // no progress: give up like on a full disk rather than spin
            }
            ok = false;
            break;
        }
        next += count;
        left -= static_cast<std::size_t>(count);
    }
    // A full disk or an I/O error may only show here, when the data reaches the disk.
    ok = ok && m_posix.fsync(fd) == 0;
    const int savedErrno = errno;
    // close() can report a deferred write error too (network file systems).
    if (m_posix.close(fd) != 0) {
        return Written::failed;
    }
    errno = savedErrno;
    return ok ? Written::complete : Written::failed;
}

bool StatsFile::replace(std::string_view bytes, bool keepCurrentAside) {
    const QByteArray target = encodedPath(filePath());
    QByteArray temporary;
    Written written = Written::notCreated;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString unique = QString::number(QRandomGenerator::system()->generate64(), 16)
                                   .rightJustified(16, QLatin1Char('0'));
        temporary = encodedPath(filePath() + QLatin1Char('.') + unique + QStringLiteral(".tmp"));
        written = writeTemporary(temporary, bytes);
        if (written != Written::notCreated || errno != EEXIST) {
            break;
        }
    }

    bool ok = written == Written::complete;
    if (ok && keepCurrentAside) {
        // Keep the file we could not use; a newer unreadable file replaces an older copy.
        const QByteArray aside = encodedPath(unreadablePath());
        ok = m_posix.rename(target.constData(), aside.constData()) == 0 || errno == ENOENT;
    }
    if (ok) {
        ok = m_posix.rename(temporary.constData(), target.constData()) == 0;
    }
    if (!ok) {
        const int savedErrno = errno;
        if (written != Written::notCreated) {
            m_posix.unlink(temporary.constData());
        }
        qCDebug(lcStatsFile) << "saving" << filePath() << "failed:" << qt_error_string(savedErrno);
        errno = savedErrno;
        return false;
    }
    syncFolder();
    return true;
}

void StatsFile::syncFolder() {
    // Makes the rename itself durable. Too late to undo: stats.json already holds
    // the new bytes, so a failure here is only logged.
    const int fd =
        m_posix.open(encodedPath(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    if (m_posix.fsync(fd) != 0 && errno != EINVAL) {
        qCWarning(lcStatsFile) << "syncing" << m_folder << "failed:" << qt_error_string(errno);
    }
    m_posix.close(fd);
}

} // namespace backbeacon
