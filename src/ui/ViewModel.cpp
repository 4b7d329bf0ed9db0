#include "ViewModel.h"

#include "ViewRules.h"
#include "engine/CameraSupervisor.h"
#include "engine/PostureMonitor.h"
#include "model/AppSettings.h"
#include "model/Choices.h"
#include "model/Clock.h"
#include "model/Timer.h"
#include "notify/NotificationManager.h"
#include "stats/CardCanvas.h"
#include "stats/LocalCalendar.h"
#include "stats/StatisticsStore.h"

#include <QVariantMap>

#include <algorithm>

namespace backbeacon {

namespace {

// The secondary text colour, for figures the rules leave uncoloured.
QColor secondaryColor() {
    return toQColor(Theme::secondaryText);
}

template <typename Choice, std::size_t N>
QStringList labelsOf(const std::array<Choice, N>& choices) {
    QStringList labels;
    for (Choice choice : choices) {
        labels << label(choice);
    }
    return labels;
}

// A picker's row: the cases are listed in declaration order.
template <typename Choice> int indexOf(std::optional<Choice> choice) {
    return choice ? static_cast<int>(*choice) : -1;
}

} // namespace

ViewModel::ViewModel(Models models, QLocale locale, QObject* parent)
    : QObject(parent), m_models(models), m_locale(std::move(locale)),
      m_snoozeEnd(models.timers.createTimer()), m_liveFigures(models.timers.createTimer()) {
    PostureMonitor* monitor = &m_models.monitor;
    AppSettings* settings = &m_models.settings;
    StatisticsStore* stats = &m_models.stats;
    connect(monitor, &PostureMonitor::stateChanged, this, &ViewModel::updateMonitorFigures);
    connect(monitor, &PostureMonitor::driftFractionChanged, this, &ViewModel::scheduleLiveFigures);
    connect(monitor, &PostureMonitor::combinedDriftDegreesChanged, this,
            &ViewModel::scheduleLiveFigures);
    connect(monitor, &PostureMonitor::directionLabelChanged, this, &ViewModel::scheduleLiveFigures);

    connect(settings, &AppSettings::goodPostureChanged, this, &ViewModel::updateSettingsFigures);
    connect(settings, &AppSettings::sensitivityDegreesChanged, this,
            &ViewModel::updateSettingsFigures);
    connect(settings, &AppSettings::alertDelayChanged, this, &ViewModel::updateSettingsFigures);
    connect(settings, &AppSettings::notificationCooldownChanged, this,
            &ViewModel::updateSettingsFigures);
    connect(settings, &AppSettings::diagnosticsChanged, this, &ViewModel::updateSettingsFigures);
    connect(settings, &AppSettings::snoozeUntilChanged, this, &ViewModel::updateSnooze);
    // The headline names the head source.
    connect(settings, &AppSettings::headSourceChanged, this, &ViewModel::updateSettingsFigures);
    connect(settings, &AppSettings::headSourceChanged, this, &ViewModel::updateMonitorFigures);
    connect(&m_models.camera, &CameraSupervisor::statusChanged, this,
            &ViewModel::updateCameraStatus);

    connect(stats, &StatisticsStore::todayChanged, this, &ViewModel::updateToday);
    connect(stats, &StatisticsStore::historyChanged, this, &ViewModel::updateHistory);

    connect(&m_models.notifications, &NotificationManager::authorizationStatusChanged, this,
            &ViewModel::updateAuthorization);
    connect(&m_models.notifications, &NotificationManager::soundPlayedByChanged, this,
            &ViewModel::updateSoundPlayedBy);

    updateSettingsFigures();
    updateMonitorFigures();
    updateHistory();
    updateAuthorization();
    updateSoundPlayedBy();
    updateSnooze();
    updateCameraStatus();
}

ViewModel::~ViewModel() = default;

template <typename T> void ViewModel::update(T& member, T value, void (ViewModel::*changed)()) {
    if (member == value) {
        return;
    }
    member = std::move(value);
    emit(this->*changed)();
}

void ViewModel::scheduleLiveFigures() {
    if (!m_liveFigures->isActive()) {
        m_liveFigures->start(kLiveFigureInterval, [this] {
            m_liveFigures->stop();
            updateMonitorFigures();
        });
    }
}

void ViewModel::updateMonitorFigures() {
    // Whatever is pending is taken up now.
    m_liveFigures->stop();
    const PostureMonitor& monitor = m_models.monitor;
    const PostureState& state = monitor.state();
    update(m_stateKind, static_cast<int>(state.kind()), &ViewModel::stateKindChanged);
    update(m_headline,
           backbeacon::headline(state, monitor.driftFraction(), m_models.settings.headSource()),
           &ViewModel::headlineChanged);
    update(m_driftText,
           backbeacon::driftText(monitor.combinedDriftDegrees(), monitor.directionLabel()),
           &ViewModel::driftTextChanged);
    update(m_driftGauge, steadyGauge(gaugeFraction(monitor.driftFraction()), m_driftGauge),
           &ViewModel::driftGaugeChanged);
    update(m_captureCaption, calibrationCaption(state, m_isCalibrated),
           &ViewModel::captureCaptionChanged);
}

void ViewModel::updateSettingsFigures() {
    const AppSettings& settings = m_models.settings;
    update(m_isCalibrated, settings.goodPosture().has_value(), &ViewModel::isCalibratedChanged);
    update(m_captureCaption, calibrationCaption(m_models.monitor.state(), m_isCalibrated),
           &ViewModel::captureCaptionChanged);
    update(m_sensitivityText, backbeacon::sensitivityText(settings.sensitivityDegrees()),
           &ViewModel::sensitivityTextChanged);
    update(m_sensitivitySentence, backbeacon::sensitivitySentence(settings.sensitivityDegrees()),
           &ViewModel::sensitivitySentenceChanged);
    update(m_headSourceIndex, static_cast<int>(settings.headSource()),
           &ViewModel::headSourceIndexChanged);
    update(m_alertDelayIndex, indexOf(alertDelayFromRawValue(settings.alertDelay())),
           &ViewModel::alertDelayIndexChanged);
    update(m_cooldownIndex,
           indexOf(notificationCooldownFromRawValue(settings.notificationCooldown())),
           &ViewModel::cooldownIndexChanged);
    const Diagnostics& counts = settings.diagnostics();
    update(m_diagnosticCounts,
           QVariantList{double(counts.launches), double(counts.calibrations),
                        double(counts.alertsSent), double(counts.disconnects),
                        double(counts.unexpectedQuits)},
           &ViewModel::diagnosticCountsChanged);
}

namespace {

QVariantMap stripCell(const DailyStats& day) {
    return {{QStringLiteral("color"), toQColor(stripCellColor(day.score()))},
            {QStringLiteral("opacity"), stripCellOpacity(day)}};
}

QVariantMap historyBar(const DailyStats& day, const LocalCalendar& calendar,
                       const QLocale& locale) {
    const int score = day.score();
    return {{QStringLiteral("height"), historyBarHeight(score)},
            {QStringLiteral("color"), toQColor(scoreColor(score))},
            {QStringLiteral("opacity"), historyBarOpacity(day)},
            {QStringLiteral("weekday"), narrowWeekday(day, calendar, locale)}};
}

QVariantMap historyRow(const DailyStats& day, const LocalCalendar& calendar,
                       const QLocale& locale) {
    const int score = day.score();
    return {{QStringLiteral("date"), dayRowDate(day, calendar, locale)},
            {QStringLiteral("measured"), measuredText(day)},
            {QStringLiteral("score"), QString::number(score) + u'%'},
            {QStringLiteral("scoreColor"), toQColor(scoreColor(score))},
            {QStringLiteral("outOfLine"), formatDuration(day.slouchedSeconds)}};
}

} // namespace

// The past days change once a day; only today's entries are redone on a tick,
// and only when something they show has moved.
void ViewModel::updateHistory() {
    const std::vector<DailyStats>& history = m_models.stats.history();
    const auto past = [&history](int limit) {
        const auto count = std::min<std::size_t>(history.size(), std::size_t(limit - 1));
        return std::vector<DailyStats>(history.end() - static_cast<std::ptrdiff_t>(count),
                                       history.end());
    };
    m_pastWeek = past(kStripDays);
    m_pastStrip.clear();
    for (const DailyStats& day : m_pastWeek) {
        m_pastStrip << stripCell(day);
    }
    const std::vector<DailyStats> fortnight = past(kChartDays);
    m_pastBars.clear();
    for (const DailyStats& day : fortnight) {
        m_pastBars << historyBar(day, m_models.calendar, m_locale);
    }
    m_pastRows.clear();
    const auto listed = std::min<std::size_t>(fortnight.size(), kListedDays - 1);
    for (auto day = fortnight.rbegin(); day != fortnight.rbegin() + listed; ++day) {
        m_pastRows << historyRow(*day, m_models.calendar, m_locale);
    }
    update(m_historyCount, static_cast<int>(fortnight.size()) + 1, &ViewModel::historyCountChanged);
    m_shownToday.reset();
    updateToday();
}

void ViewModel::updateToday() {
    const DailyStats& today = m_models.stats.today();
    std::vector<DailyStats> week = m_pastWeek;
    week.push_back(today);
    const DailyStats total = sevenDayTotal(week, today.date);
    // Everything a view shows of today and of the week, as it is shown: whole
    // per cents, whole seconds (minutes past the first). A tick that changes
    // none of it announces nothing.
    const ShownDay shown{today.date,
                         today.score(),
                         today.monitoredSeconds > 0,
                         measuredText(today),
                         formatDuration(today.slouchedSeconds),
                         today.slouches,
                         today.fixes,
                         total.score(),
                         total.slouches,
                         formatDuration(total.slouchedSeconds)};
    if (m_shownToday == shown) {
        return;
    }
    m_shownToday = shown;
    update(m_todayScore, shown.score, &ViewModel::todayScoreChanged);
    update(m_todaySlouches, double(today.slouches), &ViewModel::todaySlouchesChanged);
    update(m_todayFixes, double(today.fixes), &ViewModel::todayFixesChanged);
    update(m_todayOutOfLine, shown.outOfLine, &ViewModel::todayOutOfLineChanged);

    update(m_strip, m_pastStrip + QVariantList{stripCell(today)}, &ViewModel::stripChanged);
    update(m_weekScore, shown.weekScore, &ViewModel::weekScoreChanged);
    update(m_weekSlouches, double(shown.weekSlouches), &ViewModel::weekSlouchesChanged);
    update(m_weekBadTime, shown.weekBadTime, &ViewModel::weekBadTimeChanged);

    update(m_historyBars, m_pastBars + QVariantList{historyBar(today, m_models.calendar, m_locale)},
           &ViewModel::historyBarsChanged);
    update(m_historyRows, QVariantList{historyRow(today, m_models.calendar, m_locale)} + m_pastRows,
           &ViewModel::historyRowsChanged);
}

void ViewModel::updateAuthorization() {
    const AuthorizationText status =
        backbeacon::authorizationText(m_models.notifications.authorizationStatus());
    const QColor color = status.color ? toQColor(*status.color) : secondaryColor();
    if (status.text != m_authorizationText || color != m_authorizationColor) {
        m_authorizationText = status.text;
        m_authorizationColor = color;
        emit authorizationChanged();
    }
}

void ViewModel::updateSoundPlayedBy() {
    QString text;
    switch (m_models.notifications.soundPlayedBy()) {
    case SoundPlayedBy::app:
        text = QStringLiteral("Played by Backbeacon");
        break;
    case SoundPlayedBy::server:
        text = QStringLiteral("Played by the notification server");
        break;
    case SoundPlayedBy::unknown:
        break;
    }
    update(m_soundPlayedByText, text, &ViewModel::soundPlayedByTextChanged);
}

// Re-checked when the snooze ends, so "Cancel Snooze" goes away by itself. A
// timer that fires early (the clock was set back) is simply armed again.
void ViewModel::updateSnooze() {
    const std::optional<Instant> until = m_models.settings.snoozeUntil();
    const Instant now = m_models.clock.now();
    const bool ahead = backbeacon::snoozeLiesAhead(until, now);
    update(m_snoozeLiesAhead, ahead, &ViewModel::snoozeLiesAheadChanged);
    if (ahead) {
        m_snoozeEnd->start(*until - now, [this] { updateSnooze(); });
    } else {
        m_snoozeEnd->stop();
    }
}

void ViewModel::updateCameraStatus() {
    const CameraSupervisor& camera = m_models.camera;
    const QString text = backbeacon::cameraStatusText(camera.status());
    if (text != m_cameraStatusText || camera.blocksMotion() != m_cameraFault) {
        m_cameraStatusText = text;
        m_cameraFault = camera.blocksMotion();
        emit cameraStatusChanged();
    }
}

QStringList ViewModel::headSourceLabels() const {
    return labelsOf(kAllHeadSources);
}

void ViewModel::setHeadSourceIndex(int index) {
    if (index >= 0 && index < static_cast<int>(kAllHeadSources.size())) {
        m_models.settings.setHeadSource(kAllHeadSources[index]);
    }
}

QStringList ViewModel::alertDelayLabels() const {
    return labelsOf(kAllAlertDelays);
}

QStringList ViewModel::cooldownLabels() const {
    return labelsOf(kAllNotificationCooldowns);
}

void ViewModel::setAlertDelayIndex(int index) {
    if (index >= 0 && index < static_cast<int>(kAllAlertDelays.size())) {
        m_models.settings.setAlertDelay(rawValue(kAllAlertDelays[index]));
    }
}

void ViewModel::setCooldownIndex(int index) {
    if (index >= 0 && index < static_cast<int>(kAllNotificationCooldowns.size())) {
        m_models.settings.setNotificationCooldown(rawValue(kAllNotificationCooldowns[index]));
    }
}

void ViewModel::setAnimationsEnabled(bool enabled) {
    update(m_animationsEnabled, enabled, &ViewModel::animationsEnabledChanged);
}

void ViewModel::captureBaseline() {
    m_models.monitor.captureBaseline();
}

void ViewModel::resetCalibration() {
    m_models.monitor.resetCalibration();
}

void ViewModel::cancelSnooze() {
    m_models.monitor.cancelSnooze();
}

void ViewModel::refreshAuthorization() {
    m_models.notifications.refreshAuthorization();
}

} // namespace backbeacon
