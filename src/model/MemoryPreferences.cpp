#include "MemoryPreferences.h"

#include <algorithm>

namespace backbeacon {

std::optional<double> MemoryPreferences::readDouble(const QString& key) const {
    const auto it = m_values.constFind(key);
    return it == m_values.cend() ? std::nullopt : storedValue::asDouble(*it);
}

std::optional<bool> MemoryPreferences::readBool(const QString& key) const {
    const auto it = m_values.constFind(key);
    return it == m_values.cend() ? std::nullopt : storedValue::asBool(*it);
}

std::optional<QByteArray> MemoryPreferences::readData(const QString& key) const {
    const auto it = m_values.constFind(key);
    return it == m_values.cend() ? std::nullopt : storedValue::asData(*it);
}

void MemoryPreferences::writeDouble(const QString& key, double value) {
    m_values.insert(key, value);
    m_writeLog.append(key);
}

void MemoryPreferences::writeBool(const QString& key, bool value) {
    m_values.insert(key, value);
    m_writeLog.append(key);
}

void MemoryPreferences::writeData(const QString& key, const QByteArray& value) {
    m_values.insert(key, value);
    m_writeLog.append(key);
}

void MemoryPreferences::remove(const QString& key) {
    m_values.remove(key);
    m_writeLog.append(u'-' + key);
}

void MemoryPreferences::plant(const QString& key, const QVariant& value) {
    m_values.insert(key, value);
}

QStringList MemoryPreferences::keys() const {
    QStringList result = m_values.keys();
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace backbeacon
