#include "QSettingsPreferences.h"

#include "AtomicFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backbeacon {

namespace {

bool sameDouble(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

// Whether the value read back from the file is the one held in memory. Kinds
// other than ours come from the file itself and are only checked for presence.
bool sameValue(const QVariant& held, const QVariant& read) {
    switch (held.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        const auto number = storedValue::asDouble(read);
        return number && sameDouble(*number, held.toDouble());
    }
    case QMetaType::Bool:
        return storedValue::asBool(read) == held.toBool();
    case QMetaType::QByteArray:
        return storedValue::asData(read) == held.toByteArray();
    case QMetaType::QString:
        return read.typeId() == QMetaType::QString && read.toString() == held.toString();
    default:
        return true;
    }
}

} // namespace

QSettingsPreferences::QSettingsPreferences(const QString& filePath)
    : m_path(filePath), m_settings(filePath, QSettings::IniFormat) {
    // Qt parses sections lazily and reports some format errors only then.
    m_settings.allKeys();
    m_unreadable = m_settings.status() == QSettings::FormatError;
}

QString QSettingsPreferences::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Backbeacon/Backbeacon.conf");
}

std::optional<QVariant> QSettingsPreferences::lookup(const QString& key) const {
    if (const auto it = m_unsaved.constFind(key); it != m_unsaved.cend()) {
        return *it;
    }
    if (!m_settings.contains(key)) {
        return std::nullopt;
    }
    return m_settings.value(key);
}

std::optional<double> QSettingsPreferences::readDouble(const QString& key) const {
    const auto value = lookup(key);
    return value ? storedValue::asDouble(*value) : std::nullopt;
}

std::optional<bool> QSettingsPreferences::readBool(const QString& key) const {
    const auto value = lookup(key);
    return value ? storedValue::asBool(*value) : std::nullopt;
}

std::optional<QByteArray> QSettingsPreferences::readData(const QString& key) const {
    const auto value = lookup(key);
    return value ? storedValue::asData(*value) : std::nullopt;
}

void QSettingsPreferences::writeDouble(const QString& key, double value) {
    write(key, QVariant(value));
}

void QSettingsPreferences::writeBool(const QString& key, bool value) {
    write(key, QVariant(value));
}

void QSettingsPreferences::writeData(const QString& key, const QByteArray& value) {
    write(key, QVariant(value));
}

void QSettingsPreferences::remove(const QString& key) {
    write(key, std::nullopt);
}

void QSettingsPreferences::write(const QString& key, const std::optional<QVariant>& value) {
    m_unsaved.insert(key, value);
    // Nothing may replace a file we could not read until a copy of it is safe.
    if (m_unreadable) {
        if (!keepUnreadableCopy()) {
            return;
        }
        m_unreadable = false;
    }
    save();
}

void QSettingsPreferences::save() {
    for (auto it = m_unsaved.cbegin(); it != m_unsaved.cend(); ++it) {
        if (it.value()) {
            m_settings.setValue(it.key(), *it.value());
        } else {
            m_settings.remove(it.key());
        }
    }
    const QByteArray path = QFile::encodeName(m_path);
    const QByteArray previous = path + ".previous";
    ::unlink(previous.constData());
    struct stat info {};
    const bool existed = ::lstat(path.constData(), &info) == 0;
    const bool kept = existed && ::link(path.constData(), previous.constData()) == 0;

    m_settings.sync();

    if (fileHoldsSettings()) {
        m_unsaved.clear();
        if (kept) {
            ::unlink(previous.constData());
        }
        return;
    }
    // The new file is not what we hold: put the previous one back. When the
    // sync failed outright both names are the same file, so rename does nothing
    // and the extra name must go too.
    if (kept) {
        ::rename(previous.constData(), path.constData());
        ::unlink(previous.constData());
    } else if (!existed) {
        ::unlink(path.constData());
    }
}

// Reads the file back under a name of its own: QSettings shares one parsed copy
// per path within the process, so opening the same path again would not read it.
bool QSettingsPreferences::fileHoldsSettings() {
    const QByteArray path = QFile::encodeName(m_path);
    const QByteArray check = path + ".check-" +
                             QByteArray::number(QCoreApplication::applicationPid()) + '-' +
                             QByteArray::number(++m_checks);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        return m_settings.allKeys().isEmpty();
    }
    if (::link(path.constData(), check.constData()) != 0) {
        // A file system without hard links cannot be checked this way; there the
        // write is trusted as Qt reports it.
        return errno == EPERM || errno == EOPNOTSUPP;
    }
    bool same = true;
    {
        const QSettings written(QFile::decodeName(check), QSettings::IniFormat);
        QStringList held = m_settings.allKeys();
        QStringList read = written.allKeys();
        held.sort();
        read.sort();
        same = held == read;
        for (qsizetype i = 0; same && i < held.size(); ++i) {
            same = sameValue(m_settings.value(held[i]), written.value(held[i]));
        }
    }
    ::unlink(check.constData());
    return same;
}

bool QSettingsPreferences::keepUnreadableCopy() {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return !file.exists();
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    return AtomicFile::replace(m_path + QStringLiteral(".unreadable"),
                               {bytes.constData(), static_cast<std::size_t>(bytes.size())}) == 0;
}

} // namespace backbeacon
