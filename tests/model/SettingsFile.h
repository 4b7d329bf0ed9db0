#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace backbeacon::testing {

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Hands out a fresh path holding a copy of a file: what the next start of the
// program would read. QSettings shares one parsed copy per path within a
// process, so reopening the same path would not read the file again.
class NextStart {
public:
    QString copyOf(const QString& path) {
        const QString copy = m_dir.filePath(QStringLiteral("%1/Backbeacon.conf").arg(++m_count));
        writeFile(copy, readFile(path));
        return copy;
    }

private:
    QTemporaryDir m_dir;
    int m_count = 0;
};

} // namespace backbeacon::testing
