#pragma once

#include "LoginItem.h"

#include <QString>

namespace backbeacon {

// The login item as an XDG autostart entry: a desktop file for our desktop id
// in the user's autostart folder. It counts as enabled while the file exists
// and neither hides nor disables itself.
class XdgAutostartLoginItem final : public LoginItem {
public:
    static inline const QString kDesktopFileName =
        QStringLiteral("org.backbeacon.Backbeacon.desktop");

    // An empty executable path means the running program's own.
    explicit XdgAutostartLoginItem(QString autostartDirectory = defaultAutostartDirectory(),
                                   QString executablePath = {});

    // $XDG_CONFIG_HOME/autostart
    static QString defaultAutostartDirectory();
    QString desktopFilePath() const;

    Status status() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

    // `program` as the Exec value of a desktop file: quoted when it holds
    // spaces or reserved characters, with the file's own escapes applied.
    static QString execValue(const QString& program);

private:
    QString m_directory;
    QString m_executable;
};

} // namespace backbeacon
