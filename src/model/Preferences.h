#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace backbeacon {

// The per-user key-value store the settings live in. Values come in three
// kinds: doubles, booleans and data. A value that does not read as the kind
// its key expects counts as absent, so callers fall back to their defaults.
class Preferences {
public:
    virtual ~Preferences() = default;

    virtual std::optional<double> readDouble(const QString& key) const = 0;
    virtual std::optional<bool> readBool(const QString& key) const = 0;
    virtual std::optional<QByteArray> readData(const QString& key) const = 0;

    virtual void writeDouble(const QString& key, double value) = 0;
    virtual void writeBool(const QString& key, bool value) = 0;
    virtual void writeData(const QString& key, const QByteArray& value) = 0;
    virtual void remove(const QString& key) = 0;
};

// How a stored QVariant reads as each kind. Shared by the stores so that a value
// means the same in memory as it does after a trip through a text file, where
// every number and boolean comes back as a string.
namespace storedValue {

inline std::optional<double> asDouble(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toDouble();
    case QMetaType::QString: {
        bool ok = false;
        const double number = value.toString().toDouble(&ok);
        return ok ? std::optional(number) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

inline std::optional<bool> asBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == u"true") {
            return true;
        }
        if (text == u"false") {
            return false;
        }
    }
    return std::nullopt;
}

inline std::optional<QByteArray> asData(const QVariant& value) {
    if (value.typeId() == QMetaType::QByteArray) {
        return value.toByteArray();
    }
    return std::nullopt;
}

} // namespace storedValue

} // namespace backbeacon
