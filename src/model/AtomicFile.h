#pragma once

#include <QString>

#include <string_view>
#include <sys/types.h>

namespace backbeacon {

// The system calls AtomicFile makes, so tests can fail any of them. Each behaves
// like the call of the same name: -1 and errno on failure.
class Posix {
public:
    virtual ~Posix() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t read(int fd, void* buffer, size_t size);
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int rename(const char* from, const char* to);
    virtual int unlink(const char* path);
    virtual int mkdir(const char* path, mode_t mode);

    static Posix& real();
};

// Replaces a file as a whole, so that a reader, a crash or a full disk never
// leaves it half written. The bytes go to a fresh temporary file beside the
// target ("<name>.<16 hex digits>.tmp", created exclusively), written in full,
// flushed to disk and closed, each step checked; only commit() renames it over
// the target and syncs the folder. Anything that fails before the rename
// removes the temporary file and leaves the target as it was.
//
// We write with plain system calls: Qt 6.4's QSaveFile::commit() reports
// success after a failed flush on a full disk and leaves an empty file.
class AtomicFile {
public:
    explicit AtomicFile(QString target, mode_t mode = 0600, Posix& posix = Posix::real());
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Writes the temporary file. 0 on success, else the errno of the failure.
    int write(std::string_view bytes);
    // Renames the written temporary file over the target. 0 or an errno.
    int commit();

    // write() then commit().
    static int replace(const QString& target, std::string_view bytes, mode_t mode = 0600,
                       Posix& posix = Posix::real());

    // Temporary files of earlier saves of `target` that were interrupted before
    // their rename (a killed process); nothing refers to them.
    static QStringList leftoverTemporaries(const QString& target);

private:
    void discard();
    int writeTemporary(std::string_view bytes);
    void syncFolder();

    QString m_target;
    mode_t m_mode;
    Posix& m_posix;
    QByteArray m_temporary; // set while a written temporary file awaits commit()
};

} // namespace backbeacon
