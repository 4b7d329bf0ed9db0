#pragma once

#include "StatsStorage.h"
#include "model/AtomicFile.h"

#include <QString>

namespace backbeacon {

// The statistics file "stats.json" in a folder of its own.
//
// Replaced as a whole through AtomicFile, so stats.json is always either the old
// or the new file. A process killed mid-save leaves at most a temporary file
// behind; load() removes such leftovers.
class StatsFile final : public StatsStorage {
public:
    static constexpr const char* kFileName = "stats.json";
    static constexpr const char* kUnreadableSuffix = ".unreadable";
    // Files bigger than this are not read (the store's own file stays under 20 KB).
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    // An empty folder (none could be had) stores nothing: loads find no file and
    // saves fail.
    explicit StatsFile(QString folder, Posix& posix = Posix::real());

    // $XDG_DATA_HOME/Backbeacon when it can be used, else the private scratch
    // folder (model/AppFolders.h). Creates the folder it picks; empty if none works.
    static QString defaultFolder();

    QString folder() const { return m_folder; }
    QString filePath() const;
    QString unreadablePath() const;

    Loaded load() override;
    bool replace(std::string_view bytes, bool keepCurrentAside) override;

    // Temporary files of earlier, interrupted saves.
    QStringList leftoverTemporaries() const;

private:
    QString m_folder;
    Posix& m_posix;
};

} // namespace backbeacon
