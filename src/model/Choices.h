#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

namespace backbeacon {

// How long the head must stay out of line before an alert. `short` is a C++
// keyword, hence `short_`.
enum class AlertDelay { fast, short_, normal, relaxed, lazy };

// Shortest time between two posture notifications.
enum class NotificationCooldown { oneMin, twoMin, fiveMin, tenMin, fifteenMin };

// Where head poses come from. Both arrive as opentrack datagrams on the same
// loopback port; with the camera the app also runs backbeacon-camera.
enum class HeadSource { headTracker, camera };

inline constexpr std::array<AlertDelay, 5> kAllAlertDelays = {
    AlertDelay::fast, AlertDelay::short_, AlertDelay::normal, AlertDelay::relaxed,
    AlertDelay::lazy};

inline constexpr std::array<NotificationCooldown, 5> kAllNotificationCooldowns = {
    NotificationCooldown::oneMin, NotificationCooldown::twoMin, NotificationCooldown::fiveMin,
    NotificationCooldown::tenMin, NotificationCooldown::fifteenMin};

inline constexpr std::array<HeadSource, 2> kAllHeadSources = {HeadSource::headTracker,
                                                              HeadSource::camera};

double rawValue(AlertDelay delay);
double rawValue(NotificationCooldown cooldown);

// A case only for an exact match of its seconds: 20 or 59.9 give none.
std::optional<AlertDelay> alertDelayFromRawValue(double seconds);
std::optional<NotificationCooldown> notificationCooldownFromRawValue(double seconds);

// The stored name: "headTracker" or "camera"; anything else gives none.
QByteArray rawValue(HeadSource source);
std::optional<HeadSource> headSourceFromRawValue(QByteArrayView name);

QString label(AlertDelay delay);
QString label(NotificationCooldown cooldown);
QString label(HeadSource source);

} // namespace backbeacon
