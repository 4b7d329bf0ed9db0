#include "SingleInstance.h"

#include <QLocalSocket>
#include <QLoggingCategory>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcInstance, "backbeacon.app")

namespace {

const QByteArray kOpenPanel = QByteArrayLiteral("open-panel\n");

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const {
    return m_folder + QStringLiteral("/instance.socket");
}

SingleInstance::Role SingleInstance::claim() {
    if (m_folder.isEmpty()) {
        qCWarning(lcInstance) << "no private folder for the single-instance lock; not guarded";
        return Role::unguarded;
    }
    m_lock = std::make_unique<QLockFile>(m_folder + QStringLiteral("/instance.lock"));
    // Never stale by age: only a lock whose process is gone is taken over.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            return Role::secondary;
        }
        qCWarning(lcInstance) << "cannot write the single-instance lock; not guarded";
        return Role::unguarded;
    }
    // Holding the lock, any socket left here belongs to a run that has ended.
    QLocalServer::removeServer(socketPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socketPath())) {
        qCWarning(lcInstance) << "cannot listen for later launches:" << m_server.errorString();
    }
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return Role::primary;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // One short request per connection; anything else is dropped.
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kOpenPanel.size()) {
                    socket->abort();
                }
                return;
            }
            const QByteArray line = socket->readLine(kOpenPanel.size() + 1);
            socket->disconnectFromServer();
            if (line == kOpenPanel) {
                emit openPanelRequested();
            }
        });
    }
}

bool SingleInstance::askPrimaryToOpenPanel(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(kOpenPanel);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // The app hangs up once it has read the request.
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(timeoutMs);
    }
    return true;
}

} // namespace backbeacon
