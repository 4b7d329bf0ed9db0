#include "ViewRules.h"

#include "stats/LocalCalendar.h"
#include "stats/StatsInfographicRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace backbeacon {

namespace {

// Counters come from the statistics file; a corrupt one must not overflow the sum.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

// Far beyond any figure shown, yet well inside what a long long holds, so the
// conversion that follows is always defined.
constexpr double kLargestShown = 1e15;

QString withDegrees(double degrees) {
    return QString::number(roundedDegrees(degrees)) + QStringLiteral("°");
}

} // namespace

QString headline(const PostureState& state, double driftFraction, HeadSource source) {
    const bool camera = source == HeadSource::camera;
    switch (state.kind()) {
    case PostureState::Kind::bad:
        return QStringLiteral("Return to center");
    case PostureState::Kind::snoozed:
        return QStringLiteral("Snoozed");
    case PostureState::Kind::idle:
        return QStringLiteral("Monitoring paused");
    case PostureState::Kind::unavailable:
        return camera ? QStringLiteral("Camera unavailable")
                      : QStringLiteral("Head tracker unavailable");
    case PostureState::Kind::waitingForAirPods:
        return camera ? QStringLiteral("Waiting for camera")
                      : QStringLiteral("Waiting for head tracker");
    case PostureState::Kind::needsCalibration:
        return QStringLiteral("Set baseline");
    case PostureState::Kind::capturing:
        return QStringLiteral("Saving baseline");
    case PostureState::Kind::good:
        break;
    }
    return driftFraction > 0.6 ? QStringLiteral("Drifting forward") : QStringLiteral("Aligned");
}

QString cameraStatusText(CameraSupervisor::Status status) {
    using Status = CameraSupervisor::Status;
    switch (status) {
    case Status::off:
        return QStringLiteral("Starts with monitoring");
    case Status::starting:
        return QStringLiteral("Starting the camera…");
    case Status::running:
        return QStringLiteral("Camera on");
    case Status::noCamera:
        return QStringLiteral("No camera found; trying again");
    case Status::cameraBusy:
        return QStringLiteral("Camera in use by another program; trying again");
    case Status::cameraLost:
        return QStringLiteral("Camera stopped sending pictures; trying again");
    case Status::modelMissing:
        return QStringLiteral("Face model missing: install libdlib-data");
    case Status::toolMissing:
        return QStringLiteral("backbeacon-camera is not installed");
    case Status::failed:
        return QStringLiteral("Camera tool stopped; restarting");
    }
    return {};
}

QString calibrationCaption(const PostureState& state, bool isComplete) {
    if (state.is(PostureState::Kind::capturing)) {
        return QStringLiteral("Hold still");
    }
    return isComplete ? QStringLiteral("Save Baseline Again") : QStringLiteral("Save Baseline");
}

long long roundedDegrees(double degrees) {
    if (!std::isfinite(degrees)) {
        return 0;
    }
    return static_cast<long long>(std::round(std::clamp(degrees, -kLargestShown, kLargestShown)));
}

QString driftText(double combinedDegrees, const QString& directionLabel) {
    return withDegrees(combinedDegrees) + QLatin1Char(' ') +
           (directionLabel.isEmpty() ? QStringLiteral("leaning") : directionLabel);
}

double gaugeFraction(double fraction) {
    if (std::isnan(fraction)) {
        return 0.0;
    }
    return std::clamp(fraction, 0.0, 1.0);
}

double steadyGauge(double gauge, double shown) {
    if (gauge <= 0.0 || gauge >= 1.0) {
        return gauge;
    }
    if (std::abs(gauge - shown) <= kGaugeStep && shown < 1.0) {
        return shown;
    }
    return std::round(gauge / kGaugeStep) * kGaugeStep;
}

DailyStats sevenDayTotal(const std::vector<DailyStats>& recentDays, Instant startOfToday) {
    DailyStats total = DailyStats::freshDay(startOfToday);
    for (const DailyStats& day : recentDays) {
        total.monitoredSeconds += day.monitoredSeconds;
        total.slouchedSeconds += day.slouchedSeconds;
        total.slouches = saturatingAdd(total.slouches, day.slouches);
        total.fixes = saturatingAdd(total.fixes, day.fixes);
    }
    return total;
}

ColorComponents stripCellColor(int score) {
    if (score >= 80) {
        return Theme::accentBlue;
    }
    return score >= 50 ? Theme::mutedTeal : Theme::badRed;
}

double stripCellOpacity(const DailyStats& day) {
    return day.monitoredSeconds > 0 ? 1.0 : 0.5;
}

ColorComponents scoreColor(int score) {
    if (score >= 80) {
        return Theme::goodGreen;
    }
    return score >= 50 ? Theme::warningYellow : Theme::badRed;
}

double historyBarHeight(int score) {
    return std::max(score / 100.0 * 70.0, 8.0);
}

double historyBarOpacity(const DailyStats& day) {
    return day.monitoredSeconds > 0 ? 1.0 : 0.25;
}

QString formatDuration(double seconds) {
    if (std::isnan(seconds)) {
        return QStringLiteral("0s");
    }
    const auto n =
        static_cast<long long>(std::trunc(std::clamp(seconds, -kLargestShown, kLargestShown)));
    if (n < 60) {
        return QString::number(n) + QLatin1Char('s');
    }
    if (n < 3600) {
        return QString::number(n / 60) + QLatin1Char('m');
    }
    return QString::number(n / 3600) + QLatin1Char('h');
}

QString measuredText(const DailyStats& day) {
    if (day.monitoredSeconds > 0) {
        return QStringLiteral("Measured ") + formatDuration(day.monitoredSeconds);
    }
    return QStringLiteral("No signal");
}

QString dayRowDate(const DailyStats& day, const LocalCalendar& calendar, const QLocale& locale) {
    return StatsInfographicRenderer::mediumDate(calendar.localDate(day.date), locale);
}

QString narrowWeekday(const DailyStats& day, const LocalCalendar& calendar, const QLocale& locale) {
    return locale.standaloneDayName(calendar.localDate(day.date).dayOfWeek(),
                                    QLocale::NarrowFormat);
}

AuthorizationText authorizationText(int status) {
    switch (status) {
    case 2:
    case 3:
    case 4:
        return {QStringLiteral("Allowed"), Theme::goodGreen};
    case 1:
        return {QStringLiteral("Denied"), Theme::badRed};
    case 0:
        return {QStringLiteral("Not requested"), std::nullopt};
    default:
        return {QStringLiteral("Unknown"), std::nullopt};
    }
}

QString sensitivityText(double degrees) {
    return withDegrees(degrees) + QStringLiteral(" score");
}

QString sensitivitySentence(double degrees) {
    return QStringLiteral("Notify when your head drift signal rises more than ") +
           withDegrees(degrees) + QStringLiteral(" from the saved baseline.");
}

bool snoozeLiesAhead(std::optional<Instant> snoozeUntil, Instant now) {
    return snoozeUntil.has_value() && *snoozeUntil > now;
}

} // namespace backbeacon
