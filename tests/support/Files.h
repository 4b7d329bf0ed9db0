#pragma once

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace backbeacon::testing {

// The whole file, or "<missing>" when it cannot be read.
inline std::string readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

// Replaces the file, making its folder first.
inline void writeAll(const QString& path, QByteArrayView bytes) {
    QFile file(path);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes.data(), bytes.size()), bytes.size());
}

// The permission bits of a file or folder (with setuid, setgid and sticky); 0 if missing.
inline mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The files in `folder`, hidden ones too, by name.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

// Hands out a fresh path holding a copy of a file: what the next start of the
// program would read. QSettings shares one parsed copy per path within a
// process, so reopening the same path would not read the file again.
class NextStart {
public:
    QString copyOf(const QString& path) {
        const QString copy = m_dir.filePath(QStringLiteral("%1/Backbeacon.conf").arg(++m_count));
        writeAll(copy, QByteArray::fromStdString(readAll(path)));
        return copy;
    }

private:
    QTemporaryDir m_dir;
    int m_count = 0;
};

} // namespace backbeacon::testing
