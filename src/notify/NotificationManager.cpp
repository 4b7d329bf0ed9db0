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
    m_center.setNotificationCategories(
        {{kCategoryIdentifier, {{kSnoozeActionIdentifier, QStringLiteral("Pause 10 min")}}}});
}

void NotificationManager::notifyPostureAlert() {
    const Instant now = m_clock.now();
    if (m_settings.notificationCooldown() > now - m_lastNotificationAt) {
        return;
    }
    m_lastNotificationAt = now;

    NotificationRequest request;
    request.identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
    request.title = QStringLiteral("Posture signal");
    request.body = QStringLiteral("You are moving away from baseline. Return to center.");
    request.categoryIdentifier = kCategoryIdentifier;
    request.sound = m_settings.soundEnabled();
    m_center.add(request);
}

void NotificationManager::refreshAuthorization() {
    QPointer<NotificationManager> self(this);
    m_center.getAuthorizationStatus([self](int status) {
        if (self) {
            self->setAuthorizationStatus(status);
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
