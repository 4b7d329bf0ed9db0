#include "XdgAutostartLoginItem.h"

#include "AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backbeacon {

namespace {

QString failure(const char* what, const QByteArray& path, int error) {
    return QStringLiteral("cannot %1 %2: %3")
        .arg(QLatin1String(what), QFile::decodeName(path),
             QString::fromLocal8Bit(std::strerror(error)));
}

// Creates the folder and any missing parents, private to the user as the XDG
// rules ask.
std::optional<QString> makeFolder(const QByteArray& folder) {
    for (qsizetype end = 1; end <= folder.size(); ++end) {
        if (end < folder.size() && folder[end] != '/') {
            continue;
        }
        const QByteArray prefix = folder.left(end);
        if (::mkdir(prefix.constData(), 0700) != 0 && errno != EEXIST) {
            return failure("create the folder", prefix, errno);
        }
    }
    struct stat info {};
    if (::stat(folder.constData(), &info) != 0) {
        return failure("create the folder", folder, errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return failure("create the folder", folder, ENOTDIR);
    }
    return std::nullopt;
}

bool isReservedInExec(QChar c) {
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString autostartDirectory, QString executablePath)
    : m_directory(std::move(autostartDirectory)), m_executable(std::move(executablePath)) {}

QString XdgAutostartLoginItem::defaultAutostartDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString XdgAutostartLoginItem::desktopFilePath() const {
    return m_directory + u'/' + kDesktopFileName;
}

LoginItem::Status XdgAutostartLoginItem::status() const {
    // Anything we cannot read as a file would not start the program either.
    QFile file(desktopFilePath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
        return Status::notRegistered;
    }
    bool inEntryGroup = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inEntryGroup || equals < 0) {
            continue;
        }
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false")) {
            return Status::notRegistered;
        }
    }
    return Status::enabled;
}

std::optional<QString> XdgAutostartLoginItem::registerItem() {
    const QString program =
        m_executable.isEmpty() ? QCoreApplication::applicationFilePath() : m_executable;
    if (program.isEmpty()) {
        return QStringLiteral("the location of the running program is unknown");
    }
    const QByteArray folder =
        QFile::encodeName(QDir::cleanPath(QDir::current().absoluteFilePath(m_directory)));
    if (auto failed = makeFolder(folder)) {
        return failed;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Backbeacon\n"
                                         "Exec=%1\n"
                                         "Icon=org.backbeacon.Backbeacon\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(QFileInfo(program).absoluteFilePath()));
    // Written whole, so the session never finds a half-written entry.
    const QByteArray bytes = entry.toUtf8();
    const QByteArray target = folder + '/' + QFile::encodeName(kDesktopFileName);
    if (const int error = AtomicFile::replace(
            QFile::decodeName(target), {bytes.constData(), std::size_t(bytes.size())}, 0644)) {
        return failure("write", target, error);
    }
    return std::nullopt;
}

std::optional<QString> XdgAutostartLoginItem::unregisterItem() {
    const QByteArray path = QFile::encodeName(desktopFilePath());
    if (::unlink(path.constData()) != 0 && errno != ENOENT) {
        return failure("remove", path, errno);
    }
    return std::nullopt;
}

QString XdgAutostartLoginItem::execValue(const QString& program) {
    QString argument = program;
    // A literal percent sign would otherwise start a field code.
    argument.replace(u'%', QStringLiteral("%%"));
    if (std::any_of(program.cbegin(), program.cend(), isReservedInExec)) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
                quoted += u'\\';
            }
            quoted += c;
        }
        argument = quoted + u'"';
    }
    // The file's string escapes come on top of the quoting; they also keep a
    // line break in the path from starting a line of its own.
    QString value;
    for (const QChar c : argument) {
        if (c == u'\\') {
            value += QStringLiteral("\\\\");
        } else if (c == u'\n') {
            value += QStringLiteral("\\n");
        } else if (c == u'\t') {
            value += QStringLiteral("\\t");
        } else if (c == u'\r') {
            value += QStringLiteral("\\r");
        } else {
            value += c;
        }
    }
    return value;
}

} // namespace backbeacon
