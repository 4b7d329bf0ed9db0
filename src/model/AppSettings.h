#pragma once

#include "Choices.h"
#include "Diagnostics.h"
#include "Instant.h"
#include "PosturePoint.h"

#include <QLatin1StringView>
#include <QObject>

#include <cstdint>
#include <optional>

namespace backbeacon {

class Clock;
class LoginItem;
class Preferences;

// The keys of the preferences store, one per stored property.
namespace settingsKey {
inline constexpr QLatin1StringView sensitivityDegrees{"settings.sensitivityDegrees"};
inline constexpr QLatin1StringView alertDelay{"settings.alertDelay"};
inline constexpr QLatin1StringView notificationCooldown{"settings.notificationCooldown"};
inline constexpr QLatin1StringView soundEnabled{"settings.soundEnabled"};
inline constexpr QLatin1StringView monitoringEnabled{"settings.monitoringEnabled"};
inline constexpr QLatin1StringView autoStart{"settings.autoStart"};
inline constexpr QLatin1StringView launchAtLogin{"settings.launchAtLogin"};
inline constexpr QLatin1StringView collectDiagnostics{"settings.collectDiagnostics"};
inline constexpr QLatin1StringView goodPosture{"settings.goodPosture"};
inline constexpr QLatin1StringView snoozeUntil{"settings.snoozeUntil"};
inline constexpr QLatin1StringView diagnostics{"settings.diagnostics"};
inline constexpr QLatin1StringView headSource{"settings.headSource"};
} // namespace settingsKey

// Everything the user chooses and the few facts that must survive a restart.
// Reads the store once, at construction, and writes each property back on
// every assignment; observers hear only of real changes. Main thread only.
class AppSettings final : public QObject {
    Q_OBJECT
    Q_PROPERTY(double sensitivityDegrees READ sensitivityDegrees WRITE setSensitivityDegrees NOTIFY
                   sensitivityDegreesChanged)
    Q_PROPERTY(double alertDelay READ alertDelay WRITE setAlertDelay NOTIFY alertDelayChanged)
    Q_PROPERTY(double notificationCooldown READ notificationCooldown WRITE setNotificationCooldown
                   NOTIFY notificationCooldownChanged)
    Q_PROPERTY(bool soundEnabled READ soundEnabled WRITE setSoundEnabled NOTIFY soundEnabledChanged)
    Q_PROPERTY(bool monitoringEnabled READ monitoringEnabled WRITE setMonitoringEnabled NOTIFY
                   monitoringEnabledChanged)
    Q_PROPERTY(bool autoStart READ autoStart WRITE setAutoStart NOTIFY autoStartChanged)
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool collectDiagnostics READ collectDiagnostics WRITE setCollectDiagnostics NOTIFY
                   collectDiagnosticsChanged)
    Q_PROPERTY(bool isCalibrated READ isCalibrated NOTIFY isCalibratedChanged)

public:
    static constexpr double kDefaultSensitivityDegrees = 20;
    static constexpr double kMinSensitivityDegrees = 5;
    static constexpr double kMaxSensitivityDegrees = 30;
    static constexpr double kDefaultAlertDelay = 15;
    static constexpr double kDefaultNotificationCooldown = 300;

    // Reads every property; writes nothing. The login item is only asked for its
    // status, and only when no launch-at-login choice is stored.
    AppSettings(Preferences& preferences, LoginItem& loginItem, const Clock& clock,
                QObject* parent = nullptr);

    double sensitivityDegrees() const { return m_sensitivityDegrees; }
    void setSensitivityDegrees(double degrees);
    double alertDelay() const { return m_alertDelay; }
    void setAlertDelay(double seconds);
    double notificationCooldown() const { return m_notificationCooldown; }
    void setNotificationCooldown(double seconds);
    bool soundEnabled() const { return m_soundEnabled; }
    void setSoundEnabled(bool enabled);
    bool monitoringEnabled() const { return m_monitoringEnabled; }
    void setMonitoringEnabled(bool enabled);
    bool autoStart() const { return m_autoStart; }
    void setAutoStart(bool enabled);
    bool launchAtLogin() const { return m_launchAtLogin; }
    // Also brings the login item in line with the choice.
    void setLaunchAtLogin(bool enabled);
    bool collectDiagnostics() const { return m_collectDiagnostics; }
    void setCollectDiagnostics(bool enabled);

    // Stored as its name; an unknown name reads as the head tracker.
    HeadSource headSource() const { return m_headSource; }
    void setHeadSource(HeadSource source);

    const std::optional<PosturePoint>& goodPosture() const { return m_goodPosture; }
    void setGoodPosture(const std::optional<PosturePoint>& baseline);
    std::optional<Instant> snoozeUntil() const { return m_snoozeUntil; }
    void setSnoozeUntil(std::optional<Instant> deadline);
    const Diagnostics& diagnostics() const { return m_diagnostics; }
    void setDiagnostics(const Diagnostics& counters);

    bool isCalibrated() const { return m_goodPosture.has_value(); }

    // Adds 1 to one counter, e.g. countDiagnostic(&Diagnostics::alertsSent),
    // and stores the record; does nothing while collectDiagnostics is off.
    void countDiagnostic(std::int64_t Diagnostics::*counter);

signals:
    void sensitivityDegreesChanged(double degrees);
    void alertDelayChanged(double seconds);
    void notificationCooldownChanged(double seconds);
    void soundEnabledChanged(bool enabled);
    void monitoringEnabledChanged(bool enabled);
    void autoStartChanged(bool enabled);
    void launchAtLoginChanged(bool enabled);
    void collectDiagnosticsChanged(bool enabled);
    void headSourceChanged(backbeacon::HeadSource source);
    void goodPostureChanged(const std::optional<PosturePoint>& baseline);
    void snoozeUntilChanged(std::optional<Instant> deadline);
    void diagnosticsChanged(const Diagnostics& counters);
    void isCalibratedChanged(bool calibrated);

private:
    // A plain property: store, write through, notify on a real change.
    template <typename T>
    void assign(T& member, T value, QLatin1StringView key, void (AppSettings::*changed)(T));
    void writeValue(QLatin1StringView key, double value);
    void writeValue(QLatin1StringView key, bool value);
    void loadProperties();
    std::optional<PosturePoint> loadGoodPosture() const;
    Diagnostics loadDiagnostics() const;
    void persistGoodPosture();
    void persistDiagnostics();
    void applyLaunchAtLogin(bool enabled);

    Preferences& m_preferences;
    LoginItem& m_loginItem;
    const Clock& m_clock;

    double m_sensitivityDegrees = kDefaultSensitivityDegrees;
    double m_alertDelay = kDefaultAlertDelay;
    double m_notificationCooldown = kDefaultNotificationCooldown;
    bool m_soundEnabled = true;
    bool m_monitoringEnabled = true;
    bool m_autoStart = true;
    bool m_launchAtLogin = false;
    bool m_collectDiagnostics = false;
    HeadSource m_headSource = HeadSource::headTracker;
    std::optional<PosturePoint> m_goodPosture;
    std::optional<Instant> m_snoozeUntil;
    Diagnostics m_diagnostics;
};

} // namespace backbeacon
