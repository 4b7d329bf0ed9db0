#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFiles, "backbeacon.files")

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

AtomicFile::AtomicFile(QString target, mode_t mode, Posix& posix)
    : m_target(std::move(target)), m_mode(mode), m_posix(posix) {}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::discard() {
    if (!m_temporary.isEmpty()) {
        const int savedErrno = errno;
        m_posix.unlink(m_temporary.constData());
        m_temporary.clear();
        errno = savedErrno;
    }
}

int AtomicFile::write(std::string_view bytes) {
    discard();
    int error = EEXIST;
    for (int attempt = 0; attempt < 5 && error == EEXIST; ++attempt) {
        const QString unique = QString::number(QRandomGenerator::system()->generate64(), 16)
                                   .rightJustified(16, QLatin1Char('0'));
        m_temporary =
            QFile::encodeName(m_target + QLatin1Char('.') + unique + QStringLiteral(".tmp"));
        error = writeTemporary(bytes);
    }
    if (error != 0) {
        discard();
    }
    return error;
}

int AtomicFile::writeTemporary(std::string_view bytes) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = m_posix.open(m_temporary.constData(), kFlags, m_mode);
    if (fd < 0 && errno == ENOENT) {
        // The folder went away while we were running.
        const QByteArray folder = QFile::encodeName(QFileInfo(m_target).absolutePath());
        m_posix.mkdir(folder.constData(), 0700);
        fd = m_posix.open(m_temporary.constData(), kFlags, m_mode);
    }
    if (fd < 0) {
        const int error = errno;
        m_temporary.clear(); // not ours to remove
        return error;
    }
    int error = 0;
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0 && error == 0) {
        const ssize_t count = m_posix.write(fd, next, left);
        if (count > 0) {
            next += count;
            left -= static_cast<std::size_t>(count);
        } else if (count == 0) {
            error = ENOSPC; // no progress: give up as on a full disk rather than spin
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    // A full disk or an I/O error may only show here, when the data reaches the disk.
    if (error == 0 && m_posix.fsync(fd) != 0) {
        error = errno;
    }
    // close() can report a deferred write error too (network file systems).
    if (m_posix.close(fd) != 0 && error == 0) {
        error = errno;
    }
    return error;
}

int AtomicFile::commit() {
    if (m_temporary.isEmpty()) {
        return EINVAL;
    }
    const QByteArray target = QFile::encodeName(m_target);
    if (m_posix.rename(m_temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        discard();
        return error;
    }
    m_temporary.clear();
    syncFolder();
    return 0;
}

void AtomicFile::syncFolder() {
    // Makes the rename itself durable. Too late to undo: the target already holds
    // the new bytes, so a failure here is only logged.
    const QString folder = QFileInfo(m_target).absolutePath();
    const int fd =
        m_posix.open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    if (m_posix.fsync(fd) != 0 && errno != EINVAL) {
        qCWarning(lcFiles) << "syncing" << folder << "failed:" << qt_error_string(errno);
    }
    m_posix.close(fd);
}

int AtomicFile::replace(const QString& target, std::string_view bytes, mode_t mode, Posix& posix) {
    AtomicFile file(target, mode, posix);
    const int error = file.write(bytes);
    return error != 0 ? error : file.commit();
}

QStringList AtomicFile::leftoverTemporaries(const QString& target) {
    const QFileInfo info(target);
    const QString name = info.fileName();
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(name) +
                                     QStringLiteral("\\.[0-9a-f]{16}\\.tmp$"));
    QStringList found;
    const QDir folder = info.absoluteDir();
    const QStringList names =
        folder.entryList({name + QStringLiteral(".*.tmp")}, QDir::Files | QDir::System);
    for (const QString& candidate : names) {
        if (pattern.match(candidate).hasMatch()) {
            found << folder.filePath(candidate);
        }
    }
    return found;
}

} // namespace backbeacon
