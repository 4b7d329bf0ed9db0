#include "NotificationManager.h"

#include "NotificationCenter.h"
#include "model/AppSettings.h"
#include "model/Clock.h"

#include <QPointer>
#include <QUuid>

namespace backbeacon {

namespace {
const QString kCategoryIdentifier = QStringLiteral("backbeacon.posture-alert");
const QString kSnoozeActionIdentifier = QStringLiteral("backbeacon.snooze10");
} // namespace

NotificationManager::NotificationManager(AppSettings& settings, NotificationCenter& center,
                                         const Clock& clock, QObject* parent)
    : QObject(parent), m_center(center), m_settings(settings), m_clock(clock) {
    connect(&m_center, &NotificationCenter::actionInvoked, this,
            &NotificationManager::handleAction);
    connect(&m_center, &NotificationCenter::soundPlayedByChanged, this,
            &NotificationManager::soundPlayedByChanged);
    m_center.setNotificationCategories(
        {{kCategoryIdentifier, {{kSnoozeActionIdentifier, QStringLiteral("Pause 10 min")}}}});
}

void NotificationManager::notifyPostureAlert() {
    const Instant now = m_clock.now();
    const double elapsed = now - m_lastNotificationAt;
    // A negative elapsed time means the wall clock was set back since the last
    // alert; holding alerts back until it catches up again would silence them
    // for as long as the clock jumped.
    if (elapsed >= 0 && m_settings.notificationCooldown() > elapsed) {
        return;
    }
    m_lastNotificationAt = now;

    NotificationRequest request;
    request.identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
    request.title = QStringLiteral("Posture signal");
    request.body = QStringLiteral("You are moving away from baseline. Return to center.");
    request.categoryIdentifier = kCategoryIdentifier;
    request.attachmentPath = m_icon.attachmentPath();
    request.sound = m_settings.soundEnabled();
    m_center.add(request);
}

void NotificationManager::refreshAuthorization(std::function<void()> answered) {
    QPointer<NotificationManager> self(this);
    m_center.getAuthorizationStatus([self, answered = std::move(answered)](int status) {
        if (self) {
            self->setAuthorizationStatus(status);
            if (answered) {
                answered();
            }
        }
    });
}

void NotificationManager::handleAction(const QString& /*requestIdentifier*/,
                                       const QString& actionIdentifier) {
    if (actionIdentifier == kSnoozeActionIdentifier && m_snoozeHandler) {
        m_snoozeHandler(kSnoozeMinutes);
    }
}

void NotificationManager::setAuthorizationStatus(int status) {
    if (status != m_authorizationStatus) {
        m_authorizationStatus = status;
        emit authorizationStatusChanged(status);
    }
}

} // namespace backbeacon
