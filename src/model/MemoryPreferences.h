#pragma once

#include "Preferences.h"

#include <QHash>
#include <QStringList>

namespace backbeacon {

// Preferences held in memory. Tests use it to start from a known store, to
// plant values of the wrong kind and to count writes.
class MemoryPreferences final : public Preferences {
public:
    std::optional<double> readDouble(const QString& key) const override;
    std::optional<bool> readBool(const QString& key) const override;
    std::optional<QByteArray> readData(const QString& key) const override;

    void writeDouble(const QString& key, double value) override;
    void writeBool(const QString& key, bool value) override;
    void writeData(const QString& key, const QByteArray& value) override;
    void remove(const QString& key) override;

    // Stores any value as it is, bypassing the typed writes (and the write count).
    void plant(const QString& key, const QVariant& value);
    QVariant raw(const QString& key) const { return m_values.value(key); }
    bool contains(const QString& key) const { return m_values.contains(key); }
    QStringList keys() const;
    bool isEmpty() const { return m_values.isEmpty(); }

    // Writes and removals made through the interface, in order: the key, or the
    // key prefixed with "-" for a removal.
    const QStringList& writeLog() const { return m_writeLog; }
    void clearWriteLog() { m_writeLog.clear(); }

private:
    QHash<QString, QVariant> m_values;
    QStringList m_writeLog;
};

} // namespace backbeacon
