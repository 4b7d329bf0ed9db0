#pragma once

#include "NotificationCenter.h"
#include "NotificationIcon.h"
#include "model/Instant.h"

#include <QObject>

#include <functional>

namespace backbeacon {

class AppSettings;
class Clock;

// Decides when a posture alert is shown and turns its "Pause 10 min" action
// into a snooze. The only contact with the desktop's notification service.
class NotificationManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(int authorizationStatus READ authorizationStatus NOTIFY authorizationStatusChanged)
    Q_PROPERTY(bool soundPlayedByApp READ soundPlayedByApp NOTIFY soundPlayedByChanged)

public:
    using SnoozeHandler = std::function<void(int minutes)>;

    static constexpr int kSnoozeMinutes = 10;

    NotificationManager(AppSettings& settings, NotificationCenter& center, const Clock& clock,
                        QObject* parent = nullptr);

    // Requests the alert unless the cooldown since the last request holds it back.
    void notifyPostureAlert();
    // Asks the center again; authorizationStatus follows when it answers, and
    // then `answered` runs (not if the manager is gone by then).
    void refreshAuthorization(std::function<void()> answered = {});

    // 0 not determined, 1 denied, 2 authorized.
    int authorizationStatus() const { return m_authorizationStatus; }
    NotificationCenter& center() { return m_center; }
    // Who plays the alert's sound, as the notification server last told.
    SoundPlayedBy soundPlayedBy() const { return m_center.soundPlayedBy(); }
    bool soundPlayedByApp() const { return soundPlayedBy() == SoundPlayedBy::app; }

    const SnoozeHandler& snoozeHandler() const { return m_snoozeHandler; }
    void setSnoozeHandler(SnoozeHandler handler) { m_snoozeHandler = std::move(handler); }

    // Where the alert's picture comes from: the application icon, drawn by the
    // app shell. Without one (or with a null image) alerts carry no picture.
    void setIconProvider(NotificationIcon::ImageProvider appIcon) {
        m_icon.setAppIcon(std::move(appIcon));
    }
    // The folder the icon file goes to; the private scratch folder unless set.
    void setIconFolder(QString folder) { m_icon.setFolder(std::move(folder)); }

signals:
    void authorizationStatusChanged(int status);
    void soundPlayedByChanged();

private:
    void handleAction(const QString& requestIdentifier, const QString& actionIdentifier);
    void setAuthorizationStatus(int status);

    NotificationCenter& m_center;
    AppSettings& m_settings;
    const Clock& m_clock;
    Instant m_lastNotificationAt = Instant::distantPast();
    int m_authorizationStatus = 0;
    SnoozeHandler m_snoozeHandler;
    NotificationIcon m_icon;
};

} // namespace backbeacon
