#pragma once

#include "StatsStorage.h"

#include <QString>

#include <sys/types.h>

namespace backbeacon {

// The system calls StatsFile makes, so tests can fail any of them. Each behaves
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

// The statistics file "stats.json" in a folder of its own.
//
// Replacement: the bytes go to a fresh temporary file beside it (created
// exclusively, mode 0600), written in full, flushed to disk and closed, each step
// checked; only then is it renamed over stats.json and the folder synced. Any
// failure before the rename removes the temporary file and leaves stats.json as
// it was. A process killed mid-save leaves at most a temporary file behind;
// load() removes such leftovers.
class StatsFile final : public StatsStorage {
public:
    static constexpr const char* kFileName = "stats.json";
    static constexpr const char* kUnreadableSuffix = ".unreadable";
    // Files bigger than this are not read (the store's own file stays under 20 KB).
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    explicit StatsFile(QString folder, Posix& posix = Posix::real());

    // $XDG_DATA_HOME/Backbeacon when it can be used, else a private folder:
    // $XDG_RUNTIME_DIR/Backbeacon (mode 0700), else $XDG_CACHE_HOME/Backbeacon.
    // Never the shared /tmp. Creates the folder it picks; empty if none works.
    static QString defaultFolder();

    QString folder() const { return m_folder; }
    QString filePath() const;
    QString unreadablePath() const;

    Loaded load() override;
    bool replace(std::string_view bytes, bool keepCurrentAside) override;

    // Temporary files of earlier, interrupted saves.
    QStringList leftoverTemporaries() const;

private:
    enum class Written { complete, notCreated, failed };
    Written writeTemporary(const QByteArray& path, std::string_view bytes);
    void syncFolder();

    QString m_folder;
    Posix& m_posix;
};

} // namespace backbeacon
