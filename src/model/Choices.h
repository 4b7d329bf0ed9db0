#pragma once

#include <QString>

#include <array>
#include <optional>

namespace backbeacon {

// How long the head must stay out of line before an alert. `short` is a C++
// keyword, hence `short_`.
enum class AlertDelay { fast, short_, normal, relaxed, lazy };

// Shortest time between two posture notifications.
enum class NotificationCooldown { oneMin, twoMin, fiveMin, tenMin, fifteenMin };

inline constexpr std::array<AlertDelay, 5> kAllAlertDelays = {
    AlertDelay::fast, AlertDelay::short_, AlertDelay::normal, AlertDelay::relaxed,
    AlertDelay::lazy};

inline constexpr std::array<NotificationCooldown, 5> kAllNotificationCooldowns = {
    NotificationCooldown::oneMin, NotificationCooldown::twoMin, NotificationCooldown::fiveMin,
    NotificationCooldown::tenMin, NotificationCooldown::fifteenMin};

double rawValue(AlertDelay delay);
double rawValue(NotificationCooldown cooldown);

// A case only for an exact match of its seconds: 20 or 59.9 give none.
std::optional<AlertDelay> alertDelayFromRawValue(double seconds);
std::optional<NotificationCooldown> notificationCooldownFromRawValue(double seconds);

QString label(AlertDelay delay);
QString label(NotificationCooldown cooldown);

} // namespace backbeacon
