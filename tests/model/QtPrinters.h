#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Readable gtest failure output for the Qt types our tests compare. Qt's types
// live in the global namespace, so their printers must too.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '[' << list.join(QStringLiteral("\", \"")).prepend(u'"').append(u'"').toStdString()
         << ']';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toPercentEncoding(" \"{}[]=:,.@/\\").toStdString() << '"';
}
