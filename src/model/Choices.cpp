#include "Choices.h"

namespace backbeacon {

double rawValue(AlertDelay delay) {
    switch (delay) {
    case AlertDelay::fast:
        return 5;
    case AlertDelay::short_:
        return 10;
    case AlertDelay::normal:
        return 15;
    case AlertDelay::relaxed:
        return 30;
    case AlertDelay::lazy:
        return 60;
    }
    return 15;
}

double rawValue(NotificationCooldown cooldown) {
    switch (cooldown) {
    case NotificationCooldown::oneMin:
        return 60;
    case NotificationCooldown::twoMin:
        return 120;
    case NotificationCooldown::fiveMin:
        return 300;
    case NotificationCooldown::tenMin:
        return 600;
    case NotificationCooldown::fifteenMin:
        return 900;
    }
    return 300;
}

namespace {
template <typename Case, std::size_t N>
std::optional<Case> matchRaw(const std::array<Case, N>& cases, double seconds) {
    for (Case c : cases) {
        if (rawValue(c) == seconds) {
            return c;
        }
    }
    return std::nullopt;
}
} // namespace

std::optional<AlertDelay> alertDelayFromRawValue(double seconds) {
    return matchRaw(kAllAlertDelays, seconds);
}

std::optional<NotificationCooldown> notificationCooldownFromRawValue(double seconds) {
    return matchRaw(kAllNotificationCooldowns, seconds);
}

QString label(AlertDelay delay) {
    return QString::number(static_cast<int>(rawValue(delay))) + QStringLiteral(" seconds");
}

QString label(NotificationCooldown cooldown) {
    const int minutes = static_cast<int>(rawValue(cooldown) / 60);
    if (minutes == 1) {
        return QStringLiteral("1 minute");
    }
    return QString::number(minutes) + QStringLiteral(" minutes");
}

QByteArray rawValue(HeadSource source) {
    return source == HeadSource::camera ? QByteArrayLiteral("camera")
                                        : QByteArrayLiteral("headTracker");
}

std::optional<HeadSource> headSourceFromRawValue(QByteArrayView name) {
    for (HeadSource source : kAllHeadSources) {
        if (name == rawValue(source)) {
            return source;
        }
    }
    return std::nullopt;
}

QString label(HeadSource source) {
    return source == HeadSource::camera ? QStringLiteral("Camera")
                                        : QStringLiteral("Head tracker (UDP 4242)");
}

} // namespace backbeacon
