#pragma once

#include "MotionManager.h"
#include "PostureState.h"
#include "model/Instant.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace backbeacon {

class AppSettings;
class Clock;
class NotificationManager;
class StatisticsStore;
class Timer;
class TimerFactory;

// The posture engine: compares each head sample with the saved baseline,
// publishes the live figures, keeps the state, charges time to the statistics
// and asks for an alert once a bad streak has lasted the alert delay.
//
// Main thread only. Samples come from the motion manager; the connection is
// derived from them alone (a silence of more than 3 s, or a delivery without
// a sample, is a disconnect), and the first 2.2 s after every (re)connection
// become the new baseline. The capture and the reconnect window are timed on
// the timers' monotonic clock; dates (streaks, baselines, snoozes) on the wall
// clock. A sample counts as of its arrival (MotionSample::age), so a source
// reading in batches changes when results appear, never what they are.
class PostureMonitor final : public QObject {
    Q_OBJECT
    Q_PROPERTY(backbeacon::PostureState state READ state NOTIFY stateChanged)
    Q_PROPERTY(bool connected READ connected NOTIFY connectedChanged)
    Q_PROPERTY(double pitchDelta READ pitchDelta NOTIFY pitchDeltaChanged)
    Q_PROPERTY(double rollDelta READ rollDelta NOTIFY rollDeltaChanged)
    Q_PROPERTY(
        double combinedDriftDegrees READ combinedDriftDegrees NOTIFY combinedDriftDegreesChanged)
    Q_PROPERTY(QString directionLabel READ directionLabel NOTIFY directionLabelChanged)
    Q_PROPERTY(double driftFraction READ driftFraction NOTIFY driftFractionChanged)

public:
    static constexpr double kCaptureDuration = 1.2;
    static constexpr double kCapturePollInterval = 0.06;
    static constexpr std::size_t kMinimumCaptureSamples = 4;
    static constexpr double kConnectionCheckInterval = 1.0;
    static constexpr double kStalenessLimit = 3.0;
    static constexpr double kReconnectWindow = 2.2;
    // The longest a sample may wait in its source: while it could show (see
    // paceDelivery), and otherwise.
    static constexpr double kPromptDelay = 0.05;
    static constexpr double kRelaxedDelay = 0.25;

    PostureMonitor(AppSettings& settings, StatisticsStore& stats,
                   NotificationManager& notifications, MotionManager& manager, const Clock& clock,
                   TimerFactory& timers, QObject* parent = nullptr);
    ~PostureMonitor() override;

    // Starts motion delivery and the connection timer; harmless while running.
    void start();
    // The head source may fail or recover while delivery runs (a camera that
    // cannot be opened, then can again): the state follows it.
    void refreshAvailability();
    void snooze(int minutes);
    void cancelSnooze();
    // Saves the mean of the next 1.2 s of samples as the baseline. Returns at
    // once; `finished` (and captureFinished) follow when the capture has ended.
    void captureBaseline(std::function<void()> finished = {});
    void resetCalibration();
    // Hands the engine every sample that has arrived, for a reader about to
    // look at the figures (the tray, each time it draws).
    void catchUp();
    // Whether a view follows the live figures: samples are then handed on
    // promptly, as they are while an alert draws near or a capture runs.
    void setLiveViewOpen(bool open);

    const PostureState& state() const { return m_state; }
    bool connected() const { return m_connected; }
    // Whether the current bad streak has been alerted: until it ends.
    bool alerted() const {
        return m_state.is(PostureState::Kind::bad) && m_notifiedForCurrentBadStreak;
    }
    double pitchDelta() const { return m_pitchDelta; }
    double rollDelta() const { return m_rollDelta; }
    double combinedDriftDegrees() const { return m_combinedDriftDegrees; }
    const QString& directionLabel() const { return m_directionLabel; }
    // Drift relative to the threshold, capped at 1.5; 0 with no threshold.
    double driftFraction() const;

    // "tilting right", "tilting left", "toward bad posture", "leaning back" or
    // empty for a drift of 1 degree or less.
    static QString directionLabel(double dPitch, double dRoll, double combined);

signals:
    void stateChanged(const backbeacon::PostureState& state);
    void connectedChanged(bool connected);
    void pitchDeltaChanged(double radians);
    void rollDeltaChanged(double radians);
    void combinedDriftDegreesChanged(double degrees);
    void directionLabelChanged(const QString& label);
    void driftFractionChanged(double fraction);
    void captureFinished();

private:
    struct Orientation {
        double pitch;
        double roll;
    };
    struct Capture;

    void handle(const MotionSample& motion);
    void tickStats(Instant now, bool isBad);
    void pollCapture(Capture* capture);
    void finishCapture(Capture* capture);
    static Orientation meanOf(const std::vector<Orientation>& samples);

    void markDisconnected();
    void startConnectionTimer();
    void checkConnectionFreshness();
    void paceDelivery();
    void startReconnectBaseline(double pitch, double roll, double monotonicAt);
    bool collectReconnectBaseline(double pitch, double roll, Instant at, double monotonicAt);
    void adoptCurrentPostureAsBaseline(double pitch, double roll, Instant at);

    void setState(const PostureState& state);
    void setConnected(bool connected);
    void setFigures(double pitchDelta, double rollDelta, double combined, const QString& label);
    void clearFigures();
    void publishFigures();
    void updateDriftFraction();
    PostureState waitingOrUncalibrated() const;

    AppSettings& m_settings;
    StatisticsStore& m_stats;
    NotificationManager& m_notifications;
    MotionManager& m_manager;
    const Clock& m_clock;
    TimerFactory& m_timers;

    PostureState m_state;
    bool m_connected = false;
    double m_pitchDelta = 0;
    double m_rollDelta = 0;
    double m_combinedDriftDegrees = 0;
    QString m_directionLabel;
    double m_driftFraction = 0; // last value announced

    std::optional<Instant> m_lastTickAt;
    std::optional<Instant> m_lastMotionAt;
    std::unique_ptr<Timer> m_connectionTimer;
    // On the monotonic clock: setting the wall clock must not stretch the window.
    std::optional<double> m_reconnectBaselineUntil;
    std::vector<Orientation> m_reconnectBaselineSamples;
    bool m_notifiedForCurrentBadStreak = false;
    // Present while a capture collects; the vector keeps its capacity between
    // captures so the sample path does not allocate.
    bool m_collectingCapture = false;
    std::vector<Orientation> m_captureSamples;
    std::vector<std::unique_ptr<Capture>> m_captures;
    // The newest figures, not yet announced (see handle).
    struct Figures {
        double pitchDelta;
        double rollDelta;
        double combined;
    };
    std::optional<Figures> m_unpublished;
    bool m_liveViewOpen = false;
    double m_askedDelay = 0; // last asked of the motion source; 0 before
};

} // namespace backbeacon
