#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace backbeacon {

struct NotificationAction {
    QString identifier;
    QString title;
};

// A kind of notification and the actions offered on each one of that kind.
struct NotificationCategory {
    QString identifier;
    std::vector<NotificationAction> actions;
};

struct NotificationRequest {
    QString identifier; // ours, fresh for every request
    QString title;
    QString body;
    QString categoryIdentifier;
    QString attachmentPath; // an image file; empty for none
    bool sound = false;
};

// Who makes the alert's sound heard while sound is on.
enum class SoundPlayedBy {
    unknown, // no notification server has answered yet
    server,
    app,
};

// The desktop's notification service: the freedesktop D-Bus server in the
// app, a recording fake in tests. Main thread only; nothing here blocks.
class NotificationCenter : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    SoundPlayedBy soundPlayedBy() const { return m_soundPlayedBy; }

    // The categories requests may name; replaces any set before.
    virtual void setNotificationCategories(std::vector<NotificationCategory> categories) = 0;
    // Shows the notification if the service takes it; failures are dropped.
    virtual void add(const NotificationRequest& request) = 0;
    // Finds out whether notifications can be shown; `done` runs later on the
    // main thread with 1 (denied) or 2 (authorized).
    virtual void getAuthorizationStatus(std::function<void(int status)> done) = 0;

signals:
    // The user chose an action on a notification this center added.
    void actionInvoked(const QString& requestIdentifier, const QString& actionIdentifier);
    void soundPlayedByChanged();

protected:
    void setSoundPlayedBy(SoundPlayedBy playedBy) {
        if (playedBy != m_soundPlayedBy) {
            m_soundPlayedBy = playedBy;
            emit soundPlayedByChanged();
        }
    }

private:
    SoundPlayedBy m_soundPlayedBy = SoundPlayedBy::unknown;
};

} // namespace backbeacon
