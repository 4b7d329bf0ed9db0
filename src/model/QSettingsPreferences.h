#pragma once

#include "Preferences.h"

#include <QMap>
#include <QSettings>

namespace backbeacon {

// Preferences in a QSettings INI file. Doubles are written as numbers, booleans
// as true/false and data as byte arrays; read back from the file numbers and
// booleans come as text, which is accepted only when it reads fully as the
// expected kind. Every write is synced to disk at once.
//
// Two guards against losing the file:
// - A file Qt cannot parse is copied aside as "<file>.unreadable" before the
//   first write replaces it with what Qt could make of it.
// - Qt reports a sync as successful even when a full disk left the new file
//   empty. Each sync keeps the previous file as a hard link and reads the new
//   one back; if it does not hold what was written, the previous file is put
//   back and the unsaved values go out again with the next write.
class QSettingsPreferences final : public Preferences {
public:
    explicit QSettingsPreferences(const QString& filePath = defaultFilePath());

    // $XDG_CONFIG_HOME/Backbeacon/Backbeacon.conf, where QSettings keeps the
    // user settings of organization and application "Backbeacon".
    static QString defaultFilePath();
    QString filePath() const { return m_path; }

    std::optional<double> readDouble(const QString& key) const override;
    std::optional<bool> readBool(const QString& key) const override;
    std::optional<QByteArray> readData(const QString& key) const override;

    void writeDouble(const QString& key, double value) override;
    void writeBool(const QString& key, bool value) override;
    void writeData(const QString& key, const QByteArray& value) override;
    void remove(const QString& key) override;

    // Whether every write so far has reached the file.
    bool isSaved() const { return m_unsaved.isEmpty(); }

private:
    std::optional<QVariant> lookup(const QString& key) const;
    void write(const QString& key, const std::optional<QVariant>& value);
    void save();
    bool keepUnreadableCopy();
    bool fileHoldsSettings();

    QString m_path;
    QSettings m_settings;
    // Writes not yet known to be in the file; an empty value is a removal.
    QMap<QString, std::optional<QVariant>> m_unsaved;
    bool m_unreadable = false;
    quint64 m_checks = 0;
};

} // namespace backbeacon
