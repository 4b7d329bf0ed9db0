#include "AppSettings.h"

#include "Clock.h"
#include "LoginItem.h"
#include "Preferences.h"
#include "RecordJson.h"

#include <QLoggingCategory>

#include <cmath>
#include <limits>
#include <string_view>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcSettings, "backbeacon.settings")

namespace {

// Replaces the value and tells whether it differed.
template <typename T> bool replace(T& current, const T& next) {
    const bool changed = !(current == next);
    current = next;
    return changed;
}

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

AppSettings::AppSettings(Preferences& preferences, LoginItem& loginItem, const Clock& clock,
                         QObject* parent)
    : QObject(parent), m_preferences(preferences), m_loginItem(loginItem), m_clock(clock) {
    loadProperties();
}

void AppSettings::loadProperties() {
    // A missing or unreadable number reads as 0. Infinities and NaN count as
    // unreadable too: only a hand-edited file holds them, and an endless delay
    // or cooldown would silence every alert for good.
    const auto number = [this](QLatin1StringView key) {
        const double value = m_preferences.readDouble(key).value_or(0.0);
        return std::isfinite(value) ? value : 0.0;
    };
    const double sensitivity = number(settingsKey::sensitivityDegrees);
    if (sensitivity >= kMinSensitivityDegrees && sensitivity <= kMaxSensitivityDegrees) {
        m_sensitivityDegrees = sensitivity;
    }
    const double delay = number(settingsKey::alertDelay);
    if (delay > 0) {
        m_alertDelay = delay;
    }
    const double cooldown = number(settingsKey::notificationCooldown);
    if (cooldown > 0) {
        m_notificationCooldown = cooldown;
    }

    m_soundEnabled = m_preferences.readBool(settingsKey::soundEnabled).value_or(true);
    m_monitoringEnabled = m_preferences.readBool(settingsKey::monitoringEnabled).value_or(true);
    m_autoStart = m_preferences.readBool(settingsKey::autoStart).value_or(true);
    if (const auto stored = m_preferences.readBool(settingsKey::launchAtLogin)) {
        m_launchAtLogin = *stored;
    } else {
        m_launchAtLogin = m_loginItem.status() == LoginItem::Status::enabled;
    }
    m_collectDiagnostics = m_preferences.readBool(settingsKey::collectDiagnostics).value_or(false);

    if (const auto stored = m_preferences.readData(settingsKey::headSource)) {
        m_headSource = headSourceFromRawValue(*stored).value_or(HeadSource::headTracker);
    }

    m_goodPosture = loadGoodPosture();
    // A deadline that passed while the application was not running is dropped.
    if (const auto stored = m_preferences.readDouble(settingsKey::snoozeUntil);
        stored && std::isfinite(*stored)) {
        const Instant deadline = Instant::fromUnixSeconds(*stored);
        if (deadline > m_clock.now()) {
            m_snoozeUntil = deadline;
        }
    }
    m_diagnostics = loadDiagnostics();
}

std::optional<PosturePoint> AppSettings::loadGoodPosture() const {
    const auto bytes = m_preferences.readData(settingsKey::goodPosture);
    return bytes ? json::decodePosturePoint(view(*bytes)) : std::nullopt;
}

Diagnostics AppSettings::loadDiagnostics() const {
    const auto bytes = m_preferences.readData(settingsKey::diagnostics);
    return bytes ? json::decodeDiagnostics(view(*bytes)).value_or(Diagnostics{}) : Diagnostics{};
}

// Every setter stores the value, writes it through even when unchanged, and
// only then notifies, so an observer that reads or assigns the store sees it
// already up to date.

void AppSettings::writeValue(QLatin1StringView key, double value) {
    m_preferences.writeDouble(key, value);
}

void AppSettings::writeValue(QLatin1StringView key, bool value) {
    m_preferences.writeBool(key, value);
}

template <typename T>
void AppSettings::assign(T& member, T value, QLatin1StringView key,
                         void (AppSettings::*changed)(T)) {
    const bool differs = replace(member, value);
    writeValue(key, value);
    if (differs) {
        emit(this->*changed)(value);
    }
}

void AppSettings::setSensitivityDegrees(double degrees) {
    assign(m_sensitivityDegrees, degrees, settingsKey::sensitivityDegrees,
           &AppSettings::sensitivityDegreesChanged);
}

void AppSettings::setAlertDelay(double seconds) {
    assign(m_alertDelay, seconds, settingsKey::alertDelay, &AppSettings::alertDelayChanged);
}

void AppSettings::setNotificationCooldown(double seconds) {
    assign(m_notificationCooldown, seconds, settingsKey::notificationCooldown,
           &AppSettings::notificationCooldownChanged);
}

void AppSettings::setSoundEnabled(bool enabled) {
    assign(m_soundEnabled, enabled, settingsKey::soundEnabled, &AppSettings::soundEnabledChanged);
}

void AppSettings::setMonitoringEnabled(bool enabled) {
    assign(m_monitoringEnabled, enabled, settingsKey::monitoringEnabled,
           &AppSettings::monitoringEnabledChanged);
}

void AppSettings::setAutoStart(bool enabled) {
    assign(m_autoStart, enabled, settingsKey::autoStart, &AppSettings::autoStartChanged);
}

void AppSettings::setLaunchAtLogin(bool enabled) {
    const bool changed = replace(m_launchAtLogin, enabled);
    m_preferences.writeBool(settingsKey::launchAtLogin, enabled);
    applyLaunchAtLogin(enabled);
    if (changed) {
        emit launchAtLoginChanged(enabled);
    }
}

void AppSettings::setCollectDiagnostics(bool enabled) {
    assign(m_collectDiagnostics, enabled, settingsKey::collectDiagnostics,
           &AppSettings::collectDiagnosticsChanged);
}

void AppSettings::setHeadSource(HeadSource source) {
    const bool changed = replace(m_headSource, source);
    m_preferences.writeData(settingsKey::headSource, rawValue(source));
    if (changed) {
        emit headSourceChanged(source);
    }
}

void AppSettings::setGoodPosture(const std::optional<PosturePoint>& baseline) {
    const bool wasCalibrated = isCalibrated();
    const bool changed = replace(m_goodPosture, baseline);
    persistGoodPosture();
    if (changed) {
        emit goodPostureChanged(m_goodPosture);
    }
    if (wasCalibrated != isCalibrated()) {
        emit isCalibratedChanged(isCalibrated());
    }
}

void AppSettings::setSnoozeUntil(std::optional<Instant> deadline) {
    const bool changed = replace(m_snoozeUntil, deadline);
    if (deadline) {
        m_preferences.writeDouble(settingsKey::snoozeUntil, deadline->unixSeconds());
    } else {
        m_preferences.remove(settingsKey::snoozeUntil);
    }
    if (changed) {
        emit snoozeUntilChanged(deadline);
    }
}

void AppSettings::setDiagnostics(const Diagnostics& counters) {
    const bool changed = replace(m_diagnostics, counters);
    persistDiagnostics();
    if (changed) {
        emit diagnosticsChanged(m_diagnostics);
    }
}

void AppSettings::countDiagnostic(std::int64_t Diagnostics::*counter) {
    if (!m_collectDiagnostics || counter == nullptr) {
        return;
    }
    Diagnostics next = m_diagnostics;
    // A stored record may hold the largest count already; stay there rather
    // than overflow.
    if (next.*counter < std::numeric_limits<std::int64_t>::max()) {
        ++(next.*counter);
    }
    setDiagnostics(next);
}

// A baseline that cannot be encoded (a float that is not finite) removes the key,
// so the next start finds no baseline rather than a broken one.
void AppSettings::persistGoodPosture() {
    const auto encoded = m_goodPosture ? json::encode(*m_goodPosture) : std::nullopt;
    if (encoded) {
        m_preferences.writeData(settingsKey::goodPosture, QByteArray::fromStdString(*encoded));
    } else {
        m_preferences.remove(settingsKey::goodPosture);
    }
}

void AppSettings::persistDiagnostics() {
    if (const auto encoded = json::encode(m_diagnostics)) {
        m_preferences.writeData(settingsKey::diagnostics, QByteArray::fromStdString(*encoded));
    } else {
        m_preferences.remove(settingsKey::diagnostics);
    }
}

void AppSettings::applyLaunchAtLogin(bool enabled) {
    const bool isEnabled = m_loginItem.status() == LoginItem::Status::enabled;
    if (enabled == isEnabled) {
        return;
    }
    const auto failure = enabled ? m_loginItem.registerItem() : m_loginItem.unregisterItem();
    if (failure) {
        qCWarning(lcSettings, "Backbeacon failed to update login item: %s",
                  qUtf8Printable(*failure));
    }
}

} // namespace backbeacon
