#include "FreedesktopNotificationCenter.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>

Q_LOGGING_CATEGORY(lcNotifyBus, "backbeacon.notify")

namespace backbeacon {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage serverCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection bus,
                                                             SoundPlayer* soundPlayer,
                                                             QObject* parent)
    : NotificationCenter(parent), m_bus(std::move(bus)), m_soundPlayer(soundPlayer),
      m_serverWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange) {
    // Bound to the server's name, so other processes cannot fake its signals.
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString, QDBusMessage)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint, QDBusMessage)));
    connect(&m_serverWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &FreedesktopNotificationCenter::serverChanged);
    readCapabilities();
}

void FreedesktopNotificationCenter::setNotificationCategories(
    std::vector<NotificationCategory> categories) {
    m_categories = std::move(categories);
}

void FreedesktopNotificationCenter::add(const NotificationRequest& request) {
    QStringList actions;
    const auto category =
        std::find_if(m_categories.begin(), m_categories.end(),
                     [&](const auto& c) { return c.identifier == request.categoryIdentifier; });
    if (category != m_categories.end()) {
        for (const NotificationAction& action : category->actions) {
            actions << action.identifier << action.title;
        }
    }

    QVariantMap hints;
    hints.insert(QStringLiteral("category"), request.categoryIdentifier);
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry));
    if (!request.attachmentPath.isEmpty()) {
        hints.insert(QStringLiteral("image-path"),
                     QUrl::fromLocalFile(request.attachmentPath).toString(QUrl::FullyEncoded));
    }
    const bool ourSound = request.sound && soundPlayedBy() == SoundPlayedBy::app;
    if (request.sound && !ourSound) {
        hints.insert(QStringLiteral("sound-name"), QString::fromLatin1(kSoundName));
    } else {
        // Also when we play it ourselves: one sound, never the server's as well.
        hints.insert(QStringLiteral("suppress-sound"), true);
    }

    QDBusMessage call = serverCall(QStringLiteral("Notify"));
    call << QStringLiteral("Backbeacon") << 0u << QString::fromLatin1(kDesktopEntry)
         << request.title << request.body << actions << hints << -1;

    send(call, [this, requestIdentifier = request.identifier](const QDBusPendingCall& answer) {
        const QDBusPendingReply<uint> reply = answer;
        if (reply.isError()) {
            qCDebug(lcNotifyBus) << "notification not shown:" << reply.error().message();
            return;
        }
        remember({reply.reply().service(), reply.value(), requestIdentifier});
    });
    if (ourSound) {
        m_soundPlayer->play(QString::fromLatin1(kSoundName));
    }
}

void FreedesktopNotificationCenter::getAuthorizationStatus(std::function<void(int status)> done) {
    send(serverCall(QStringLiteral("GetServerInformation")),
         [done = std::move(done)](const QDBusPendingCall& answer) {
             const bool answered = !answer.isError();
             if (!answered) {
                 qCDebug(lcNotifyBus) << "no notification server:" << answer.error().message();
             }
             if (done) {
                 done(answered ? 2 : 1);
             }
         });
}

void FreedesktopNotificationCenter::send(
    const QDBusMessage& call, std::function<void(const QDBusPendingCall& answer)> answered) {
    const QDBusPendingCall pending = m_bus.asyncCall(call, kCallTimeoutMs);
    if (pending.isFinished()) {
        // Failed before it was sent (no session bus at all): a watcher would never
        // report it, yet the caller still expects its answer later, not now.
        QMetaObject::invokeMethod(
            this, [pending, answered = std::move(answered)] { answered(pending); },
            Qt::QueuedConnection);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [answered = std::move(answered)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                answered(*finished);
            });
}

void FreedesktopNotificationCenter::onActionInvoked(uint id, const QString& actionKey,
                                                    const QDBusMessage& message) {
    const QString requestIdentifier = forget(message.service(), id);
    if (requestIdentifier.isEmpty()) {
        return; // another application's notification
    }
    // Some servers keep the bubble up after an action; the choice is made, so close it.
    QDBusMessage close = serverCall(QStringLiteral("CloseNotification"));
    close << id;
    m_bus.asyncCall(close, kCallTimeoutMs);
    emit actionInvoked(requestIdentifier, actionKey);
}

void FreedesktopNotificationCenter::onNotificationClosed(uint id, uint /*reason*/,
                                                         const QDBusMessage& message) {
    forget(message.service(), id);
}

void FreedesktopNotificationCenter::serverChanged(const QString& /*name*/, const QString& oldOwner,
                                                  const QString& newOwner) {
    // Whatever the server that went away showed for us went with it.
    std::erase_if(m_shown, [&](const Shown& shown) { return shown.server == oldOwner; });
    if (newOwner.isEmpty()) {
        ++m_serverGeneration; // an answer still on its way is the old server's
        setSoundPlayedBy(SoundPlayedBy::unknown);
        return;
    }
    // A new server may play sounds where the last did not, or the other way.
    readCapabilities();
}

void FreedesktopNotificationCenter::readCapabilities() {
    const unsigned generation = ++m_serverGeneration;
    send(serverCall(QStringLiteral("GetCapabilities")),
         [this, generation](const QDBusPendingCall& answer) {
             if (generation != m_serverGeneration) {
                 return; // another server has come since
             }
             const QDBusPendingReply<QStringList> reply = answer;
             if (reply.isError()) {
                 setSoundPlayedBy(SoundPlayedBy::unknown);
                 return;
             }
             const QStringList capabilities = reply.value();
             qCDebug(lcNotifyBus) << "notification server capabilities:" << capabilities;
             if (capabilities.contains(QStringLiteral("sound"))) {
                 setSoundPlayedBy(SoundPlayedBy::server);
             } else {
                 setSoundPlayedBy(m_soundPlayer ? SoundPlayedBy::app : SoundPlayedBy::unknown);
             }
         });
}

void FreedesktopNotificationCenter::remember(Shown shown) {
    forget(shown.server, shown.id);
    if (m_shown.size() >= kMaxTracked) {
        m_shown.pop_front();
    }
    m_shown.push_back(std::move(shown));
}

QString FreedesktopNotificationCenter::forget(const QString& server, uint id) {
    const auto found = std::find_if(m_shown.begin(), m_shown.end(), [&](const Shown& shown) {
        return shown.id == id && shown.server == server;
    });
    if (found == m_shown.end()) {
        return {};
    }
    QString requestIdentifier = std::move(found->requestIdentifier);
    m_shown.erase(found);
    return requestIdentifier;
}

} // namespace backbeacon
