#pragma once

#include "NotificationCenter.h"
#include "SoundPlayer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>

#include <cstddef>
#include <deque>

namespace backbeacon {

// The desktop's notification server (org.freedesktop.Notifications) on the
// session bus. Every call is asynchronous: a server that is missing, hangs or
// goes away never holds up the main thread, and its failures are dropped.
// Servers that play no sounds (no "sound" capability) leave the alert's sound
// to `soundPlayer`, if there is one.
class FreedesktopNotificationCenter final : public NotificationCenter {
    Q_OBJECT

public:
    static constexpr const char* kDesktopEntry = "org.backbeacon.Backbeacon";
    // Notifications whose actions we still answer; older ones are forgotten.
    static constexpr std::size_t kMaxTracked = 64;
    // How long a call may go unanswered before it counts as failed.
    static constexpr int kCallTimeoutMs = 10'000;

    static constexpr const char* kSoundName = "message-new-instant";

    explicit FreedesktopNotificationCenter(QDBusConnection bus = QDBusConnection::sessionBus(),
                                           SoundPlayer* soundPlayer = nullptr,
                                           QObject* parent = nullptr);

    void setNotificationCategories(std::vector<NotificationCategory> categories) override;
    void add(const NotificationRequest& request) override;
    void getAuthorizationStatus(std::function<void(int status)> done) override;

    // Server ids of shown notifications we still answer actions for.
    std::size_t trackedCount() const { return m_shown.size(); }

private slots:
    void onActionInvoked(uint id, const QString& actionKey, const QDBusMessage& message);
    void onNotificationClosed(uint id, uint reason, const QDBusMessage& message);

private:
    // A notification a server showed for us. Ids are numbered by each server
    // afresh, so an id only means something together with the server's bus name.
    struct Shown {
        QString server;
        uint id = 0;
        QString requestIdentifier;
    };

    // Makes the call without waiting; `answered` runs later on this thread with
    // the reply or the failure.
    void send(const QDBusMessage& call,
              std::function<void(const QDBusPendingCall& answer)> answered);
    void serverChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    // Asks the server now on the bus what it can do; once per server.
    void readCapabilities();
    void remember(Shown shown);
    QString forget(const QString& server, uint id);

    QDBusConnection m_bus;
    SoundPlayer* m_soundPlayer;
    QDBusServiceWatcher m_serverWatcher;
    // Counts servers seen, so an answer from one that has since gone is dropped.
    unsigned m_serverGeneration = 0;
    std::vector<NotificationCategory> m_categories;
    std::deque<Shown> m_shown; // oldest first
};

} // namespace backbeacon
