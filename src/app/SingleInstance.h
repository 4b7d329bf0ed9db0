#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace backbeacon {

// One running app per user. The first launch holds a lock file in the private
// scratch folder and listens on a local socket beside it; a later launch finds
// the lock taken and asks the running one, through the socket, to open its
// panel.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Role {
        primary,   // this process is the app
        secondary, // another process is the app
        unguarded, // no private folder to hold the lock: run without the guard
    };

    // `folder` is the private scratch folder (0700); empty for none.
    explicit SingleInstance(QString folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    Role claim();
    // Secondary only: asks the running app to open its panel; false when it
    // could not be reached within `timeoutMs`.
    bool askPrimaryToOpenPanel(int timeoutMs = 3000);

    QString socketPath() const;

signals:
    void openPanelRequested();

private:
    void acceptConnections();

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

} // namespace backbeacon
