#pragma once

#include "model/DailyStats.h"

#include <QColor>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <optional>
#include <vector>

namespace backbeacon {

class AppSettings;
class CameraSupervisor;
class Clock;
class LocalCalendar;
class NotificationManager;
class PostureMonitor;
class StatisticsStore;
class Timer;
class TimerFactory;

// What the panel and the Settings window show, worked out from the shared
// models by the rules in ViewRules.h. Each figure is announced only when its
// value really changes: the monitor reports at 50 Hz and the statistics on
// every tick, but the views repaint only when something they show moved.
class ViewModel final : public QObject {
    Q_OBJECT
    // The panel.
    Q_PROPERTY(bool isCalibrated READ isCalibrated NOTIFY isCalibratedChanged)
    Q_PROPERTY(int stateKind READ stateKind NOTIFY stateKindChanged)
    Q_PROPERTY(QString headline READ headline NOTIFY headlineChanged)
    Q_PROPERTY(QString driftText READ driftText NOTIFY driftTextChanged)
    Q_PROPERTY(double driftGauge READ driftGauge NOTIFY driftGaugeChanged)
    Q_PROPERTY(QString captureCaption READ captureCaption NOTIFY captureCaptionChanged)
    Q_PROPERTY(int todayScore READ todayScore NOTIFY todayScoreChanged)
    Q_PROPERTY(double todaySlouches READ todaySlouches NOTIFY todaySlouchesChanged)
    Q_PROPERTY(double todayFixes READ todayFixes NOTIFY todayFixesChanged)
    Q_PROPERTY(QString todayOutOfLine READ todayOutOfLine NOTIFY todayOutOfLineChanged)
    Q_PROPERTY(QVariantList strip READ strip NOTIFY stripChanged)
    // The seven-day total, shared by the panel and the History card.
    Q_PROPERTY(int weekScore READ weekScore NOTIFY weekScoreChanged)
    Q_PROPERTY(double weekSlouches READ weekSlouches NOTIFY weekSlouchesChanged)
    Q_PROPERTY(QString weekBadTime READ weekBadTime NOTIFY weekBadTimeChanged)
    // The Settings window.
    Q_PROPERTY(QString sensitivityText READ sensitivityText NOTIFY sensitivityTextChanged)
    Q_PROPERTY(
        QString sensitivitySentence READ sensitivitySentence NOTIFY sensitivitySentenceChanged)
    Q_PROPERTY(QStringList alertDelayLabels READ alertDelayLabels CONSTANT)
    Q_PROPERTY(QStringList cooldownLabels READ cooldownLabels CONSTANT)
    Q_PROPERTY(QStringList headSourceLabels READ headSourceLabels CONSTANT)
    Q_PROPERTY(int headSourceIndex READ headSourceIndex WRITE setHeadSourceIndex NOTIFY
                   headSourceIndexChanged)
    // The camera tool's state, shown under the head source while it is the camera.
    Q_PROPERTY(QString cameraStatusText READ cameraStatusText NOTIFY cameraStatusChanged)
    Q_PROPERTY(bool cameraFault READ cameraFault NOTIFY cameraStatusChanged)
    Q_PROPERTY(int alertDelayIndex READ alertDelayIndex WRITE setAlertDelayIndex NOTIFY
                   alertDelayIndexChanged)
    Q_PROPERTY(
        int cooldownIndex READ cooldownIndex WRITE setCooldownIndex NOTIFY cooldownIndexChanged)
    Q_PROPERTY(QString authorizationText READ authorizationText NOTIFY authorizationChanged)
    Q_PROPERTY(QColor authorizationColor READ authorizationColor NOTIFY authorizationChanged)
    Q_PROPERTY(QString soundPlayedByText READ soundPlayedByText NOTIFY soundPlayedByTextChanged)
    Q_PROPERTY(int historyCount READ historyCount NOTIFY historyCountChanged)
    Q_PROPERTY(QVariantList historyBars READ historyBars NOTIFY historyBarsChanged)
    Q_PROPERTY(QVariantList historyRows READ historyRows NOTIFY historyRowsChanged)
    Q_PROPERTY(bool snoozeLiesAhead READ snoozeLiesAhead NOTIFY snoozeLiesAheadChanged)
    Q_PROPERTY(QVariantList diagnosticCounts READ diagnosticCounts NOTIFY diagnosticCountsChanged)
    // Off in screenshot tests, so a picture never catches a view mid-animation.
    Q_PROPERTY(bool animationsEnabled READ animationsEnabled WRITE setAnimationsEnabled NOTIFY
                   animationsEnabledChanged)

public:
    struct Models {
        AppSettings& settings;
        StatisticsStore& stats;
        PostureMonitor& monitor;
        NotificationManager& notifications;
        const Clock& clock;
        TimerFactory& timers;
        const LocalCalendar& calendar;
        const CameraSupervisor& camera;
    };

    static constexpr int kStripDays = 7;
    static constexpr int kChartDays = 14;
    static constexpr int kListedDays = 5;
    // The live figures (drift, its text, the gauge) follow the monitor at this
    // pace, not the tracker's; a change of state shows at once.
    static constexpr double kLiveFigureInterval = 0.2;

    explicit ViewModel(Models models, QLocale locale = {}, QObject* parent = nullptr);
    ~ViewModel() override;

    bool isCalibrated() const { return m_isCalibrated; }
    int stateKind() const { return m_stateKind; }
    QString headline() const { return m_headline; }
    QString driftText() const { return m_driftText; }
    double driftGauge() const { return m_driftGauge; }
    QString captureCaption() const { return m_captureCaption; }
    int todayScore() const { return m_todayScore; }
    double todaySlouches() const { return m_todaySlouches; }
    double todayFixes() const { return m_todayFixes; }
    QString todayOutOfLine() const { return m_todayOutOfLine; }
    QVariantList strip() const { return m_strip; }
    int weekScore() const { return m_weekScore; }
    double weekSlouches() const { return m_weekSlouches; }
    QString weekBadTime() const { return m_weekBadTime; }
    QString sensitivityText() const { return m_sensitivityText; }
    QString sensitivitySentence() const { return m_sensitivitySentence; }
    QStringList alertDelayLabels() const;
    QStringList cooldownLabels() const;
    QStringList headSourceLabels() const;
    int headSourceIndex() const { return m_headSourceIndex; }
    void setHeadSourceIndex(int index);
    QString cameraStatusText() const { return m_cameraStatusText; }
    bool cameraFault() const { return m_cameraFault; }
    int alertDelayIndex() const { return m_alertDelayIndex; }
    void setAlertDelayIndex(int index);
    int cooldownIndex() const { return m_cooldownIndex; }
    void setCooldownIndex(int index);
    QString authorizationText() const { return m_authorizationText; }
    QColor authorizationColor() const { return m_authorizationColor; }
    // Under the sound switch: who plays the sound; empty while nobody knows.
    QString soundPlayedByText() const { return m_soundPlayedByText; }
    int historyCount() const { return m_historyCount; }
    QVariantList historyBars() const { return m_historyBars; }
    QVariantList historyRows() const { return m_historyRows; }
    bool snoozeLiesAhead() const { return m_snoozeLiesAhead; }
    QVariantList diagnosticCounts() const { return m_diagnosticCounts; }
    bool animationsEnabled() const { return m_animationsEnabled; }
    void setAnimationsEnabled(bool enabled);

    // The views' actions on the models.
    Q_INVOKABLE void captureBaseline();
    Q_INVOKABLE void resetCalibration();
    Q_INVOKABLE void cancelSnooze();
    Q_INVOKABLE void refreshAuthorization();

signals:
    void isCalibratedChanged();
    void stateKindChanged();
    void headlineChanged();
    void driftTextChanged();
    void driftGaugeChanged();
    void captureCaptionChanged();
    void todayScoreChanged();
    void todaySlouchesChanged();
    void todayFixesChanged();
    void todayOutOfLineChanged();
    void stripChanged();
    void weekScoreChanged();
    void weekSlouchesChanged();
    void weekBadTimeChanged();
    void sensitivityTextChanged();
    void sensitivitySentenceChanged();
    void headSourceIndexChanged();
    void cameraStatusChanged();
    void alertDelayIndexChanged();
    void cooldownIndexChanged();
    void authorizationChanged();
    void soundPlayedByTextChanged();
    void historyCountChanged();
    void historyBarsChanged();
    void historyRowsChanged();
    void snoozeLiesAheadChanged();
    void diagnosticCountsChanged();
    void animationsEnabledChanged();

private:
    template <typename T> void update(T& member, T value, void (ViewModel::*changed)());
    void updateMonitorFigures();
    void scheduleLiveFigures();
    void updateSettingsFigures();
    void updateHistory();
    void updateToday();
    void updateAuthorization();
    void updateSoundPlayedBy();
    void updateSnooze();
    void updateCameraStatus();

    // What today's entries and the week's figures were last made from, as
    // shown; seconds change on every tick, what is shown of them far less often.
    struct ShownDay {
        Instant date;
        int score;
        bool monitored;
        QString measured;
        QString outOfLine;
        std::int64_t slouches;
        std::int64_t fixes;
        int weekScore;
        std::int64_t weekSlouches;
        QString weekBadTime;
        bool operator==(const ShownDay&) const = default;
    };

    Models m_models;
    QLocale m_locale;
    std::vector<DailyStats> m_pastWeek;
    QVariantList m_pastStrip;
    QVariantList m_pastBars;
    QVariantList m_pastRows;
    std::optional<ShownDay> m_shownToday;
    std::unique_ptr<Timer> m_snoozeEnd;
    std::unique_ptr<Timer> m_liveFigures;

    bool m_isCalibrated = false;
    int m_stateKind = -1;
    QString m_headline;
    QString m_driftText;
    double m_driftGauge = 0;
    QString m_captureCaption;
    int m_todayScore = 100;
    double m_todaySlouches = 0;
    double m_todayFixes = 0;
    QString m_todayOutOfLine;
    QVariantList m_strip;
    int m_weekScore = 100;
    double m_weekSlouches = 0;
    QString m_weekBadTime;
    QString m_sensitivityText;
    QString m_sensitivitySentence;
    int m_headSourceIndex = -1;
    QString m_cameraStatusText;
    bool m_cameraFault = false;
    int m_alertDelayIndex = -1;
    int m_cooldownIndex = -1;
    QString m_authorizationText;
    QColor m_authorizationColor;
    QString m_soundPlayedByText;
    int m_historyCount = 0;
    QVariantList m_historyBars;
    QVariantList m_historyRows;
    bool m_snoozeLiesAhead = false;
    QVariantList m_diagnosticCounts;
    bool m_animationsEnabled = true;
};

} // namespace backbeacon
