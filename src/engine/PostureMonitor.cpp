#include "PostureMonitor.h"

#include "model/AppSettings.h"
#include "model/Clock.h"
#include "model/Timer.h"
#include "notify/NotificationManager.h"
#include "stats/StatisticsStore.h"

#include <QPointer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace backbeacon {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegreesPerRadian = 180.0 / kPi;

using Kind = PostureState::Kind;

} // namespace

// One running capture: its poll timer and its deadline. Captures started
// close together each run to their own deadline over the shared sample list.
struct PostureMonitor::Capture {
    std::unique_ptr<Timer> timer;
    double deadline; // monotonic seconds
    std::function<void()> finished;
};

PostureMonitor::PostureMonitor(AppSettings& settings, StatisticsStore& stats,
                               NotificationManager& notifications, MotionManager& manager,
                               const Clock& clock, TimerFactory& timers, QObject* parent)
    : QObject(parent), m_settings(settings), m_stats(stats), m_notifications(notifications),
      m_manager(manager), m_clock(clock), m_timers(timers) {
    // A reconnect window at 50 to 100 Hz holds up to about 220 samples; room
    // for them up front keeps the sample path free of allocations.
    m_reconnectBaselineSamples.reserve(256);
    m_captureSamples.reserve(256);

    QPointer<PostureMonitor> self(this);
    m_notifications.setSnoozeHandler([self](int minutes) {
        if (self) {
            self->snooze(minutes);
        }
    });
    connect(&m_settings, &AppSettings::sensitivityDegreesChanged, this,
            &PostureMonitor::updateDriftFraction);
}

PostureMonitor::~PostureMonitor() = default;

double PostureMonitor::driftFraction() const {
    const double sensitivity = m_settings.sensitivityDegrees();
    if (!(sensitivity > 0)) {
        return 0;
    }
    return std::min(m_combinedDriftDegrees / sensitivity, 1.5);
}

void PostureMonitor::start() {
    if (!m_manager.isDeviceMotionAvailable()) {
        setState(PostureState::unavailable());
        return;
    }
    if (m_manager.isDeviceMotionActive()) {
        return;
    }
    QPointer<PostureMonitor> self(this);
    m_manager.startDeviceMotionUpdates([self](const std::optional<MotionSample>& motion) {
        if (!self) {
            return;
        }
        if (motion) {
            self->handle(*motion);
        } else {
            self->markDisconnected();
        }
        if (!motion || !motion->batchContinues) {
            self->publishFigures();
        }
        self->paceDelivery();
    });
    startConnectionTimer();
    setState(waitingOrUncalibrated());
    paceDelivery();
}

void PostureMonitor::catchUp() {
    if (m_manager.isDeviceMotionActive()) {
        m_manager.deliverPending();
    }
}

void PostureMonitor::setLiveViewOpen(bool open) {
    m_liveViewOpen = open;
    paceDelivery();
}

void PostureMonitor::paceDelivery() {
    // Prompt where a late sample would show: a view following the figures, a
    // capture that ends on its own clock, a streak on its way to an alert.
    // Otherwise the tray catches up when it draws, and dates stay right anyway.
    const bool prompt = m_liveViewOpen || m_collectingCapture || m_state.is(Kind::capturing) ||
                        (m_state.is(Kind::bad) && !m_notifiedForCurrentBadStreak);
    const double delay = prompt ? kPromptDelay : kRelaxedDelay;
    if (delay != m_askedDelay && m_manager.isDeviceMotionActive()) {
        m_askedDelay = delay;
        m_manager.setMaximumDelay(delay);
    }
}

void PostureMonitor::refreshAvailability() {
    // Before start() there is nothing to follow: start() asks for itself.
    if (!m_manager.isDeviceMotionActive()) {
        return;
    }
    if (!m_manager.isDeviceMotionAvailable()) {
        markDisconnected();
        setState(PostureState::unavailable());
    } else if (m_state.is(Kind::unavailable)) {
        setState(waitingOrUncalibrated());
    }
}

void PostureMonitor::handle(const MotionSample& motion) {
    const double pitch = motion.pitch;
    const double roll = motion.roll;
    // The motion sources drop these already; a NaN here would read as "in
    // line" and could end up as a baseline.
    if (!std::isfinite(pitch) || !std::isfinite(roll)) {
        return;
    }
    // As of its arrival: a sample read in a later batch counts as if read at once.
    const Instant now = m_clock.now() - motion.age;
    const double monotonicNow = m_timers.monotonicSeconds() - motion.age;

    const bool wasConnected = m_connected;
    m_lastMotionAt = now;
    setConnected(true);

    if (m_collectingCapture) {
        m_captureSamples.push_back({pitch, roll});
        return;
    }
    if (m_state.is(Kind::capturing)) {
        return;
    }

    if (wasConnected) {
        if (collectReconnectBaseline(pitch, roll, now, monotonicNow)) {
            return;
        }
    } else {
        startReconnectBaseline(pitch, roll, monotonicNow);
        return;
    }

    const std::optional<PosturePoint>& baseline = m_settings.goodPosture();
    if (!baseline) {
        setState(PostureState::needsCalibration());
        return;
    }

    const double dPitch = pitch - baseline->pitch();
    const double dRoll = roll - baseline->roll();
    const double combined = std::sqrt(dPitch * dPitch + dRoll * dRoll) * kDegreesPerRadian;
    // Within a batch only the newest figures can be seen: the rest are not
    // announced, unless the state changes on the way (setState).
    m_unpublished = Figures{dPitch, dRoll, combined};
    if (!motion.batchContinues) {
        publishFigures();
    }

    if (const std::optional<Instant> until = m_settings.snoozeUntil()) {
        if (now < *until) {
            if (!m_state.is(Kind::snoozed)) {
                setState(PostureState::snoozed(*until));
            }
            tickStats(now, false);
            return;
        }
        m_settings.setSnoozeUntil(std::nullopt);
    }

    const double sensitivity = m_settings.sensitivityDegrees();
    tickStats(now, m_state.is(Kind::bad));

    if (combined > sensitivity) {
        // A clock set back before the streak began would hold the alert back
        // for as long as the clock was moved; the streak starts over instead.
        // Not once it has alerted: that would alert and count the same
        // slouch again, and its return in line would count no fix.
        if (!m_state.is(Kind::bad) || (now < m_state.date() && !m_notifiedForCurrentBadStreak)) {
            setState(PostureState::bad(now));
            m_notifiedForCurrentBadStreak = false;
            return;
        }
        if (m_notifiedForCurrentBadStreak) {
            return;
        }
        if (now - m_state.date() < m_settings.alertDelay()) {
            return;
        }
        m_notifications.notifyPostureAlert();
        m_notifiedForCurrentBadStreak = true;
        m_stats.recordSlouch();
        m_settings.countDiagnostic(&Diagnostics::alertsSent);
        return;
    }

    if (m_state.is(Kind::bad) && m_notifiedForCurrentBadStreak) {
        m_stats.recordFix();
    }
    setState(PostureState::good());
    m_notifiedForCurrentBadStreak = false;
}

void PostureMonitor::tickStats(Instant now, bool isBad) {
    if (m_lastTickAt) {
        const double dt = now - *m_lastTickAt;
        m_stats.addMonitored(dt);
        if (isBad) {
            m_stats.addSlouched(dt);
        }
    }
    m_lastTickAt = now;
}

QString PostureMonitor::directionLabel(double dPitch, double dRoll, double combined) {
    static const QString tiltingRight = QStringLiteral("tilting right");
    static const QString tiltingLeft = QStringLiteral("tilting left");
    static const QString towardBadPosture = QStringLiteral("toward bad posture");
    static const QString leaningBack = QStringLiteral("leaning back");

    if (!(combined > 1.0)) {
        return {};
    }
    const double p = std::abs(dPitch * kDegreesPerRadian);
    const double r = std::abs(dRoll * kDegreesPerRadian);
    if (r > 1.4 * p) {
        return dRoll > 0 ? tiltingRight : tiltingLeft;
    }
    return dPitch > 0 ? towardBadPosture : leaningBack;
}

void PostureMonitor::snooze(int minutes) {
    const Instant until = m_clock.now() + static_cast<double>(minutes) * 60.0;
    m_settings.setSnoozeUntil(until);
    setState(PostureState::snoozed(until));
}

void PostureMonitor::cancelSnooze() {
    m_settings.setSnoozeUntil(std::nullopt);
    if (m_state.is(Kind::snoozed)) {
        setState(m_settings.isCalibrated() ? PostureState::good()
                                           : PostureState::needsCalibration());
    }
}

// --- Baseline calibration ---------------------------------------------------

void PostureMonitor::captureBaseline(std::function<void()> finished) {
    // Captures that have ended are kept until here: a timer is not destroyed
    // from inside its own tick.
    std::erase_if(m_captures, [](const auto& capture) { return !capture->timer->isActive(); });

    if (!m_manager.isDeviceMotionAvailable()) {
        if (finished) {
            finished();
        }
        emit captureFinished();
        return;
    }
    if (!m_manager.isDeviceMotionActive()) {
        start();
    }
    setState(PostureState::capturing());
    m_collectingCapture = true;
    m_captureSamples.clear();
    m_reconnectBaselineUntil.reset();
    m_reconnectBaselineSamples.clear();

    auto capture = std::make_unique<Capture>();
    capture->deadline = m_timers.monotonicSeconds() + kCaptureDuration;
    capture->finished = std::move(finished);
    capture->timer = m_timers.createTimer();
    Capture* raw = capture.get();
    QPointer<PostureMonitor> self(this);
    raw->timer->start(kCapturePollInterval, [self, raw] {
        if (self) {
            self->pollCapture(raw);
        }
    });
    m_captures.push_back(std::move(capture));
    paceDelivery();
}

void PostureMonitor::pollCapture(Capture* capture) {
    if (m_timers.monotonicSeconds() >= capture->deadline) {
        capture->timer->stop();
        finishCapture(capture);
    }
}

void PostureMonitor::finishCapture(Capture* capture) {
    std::vector<Orientation> samples;
    if (m_collectingCapture) {
        samples.swap(m_captureSamples);
        m_captureSamples.reserve(samples.capacity());
        m_collectingCapture = false;
    }

    if (samples.size() < kMinimumCaptureSamples) {
        setState(m_settings.isCalibrated() ? PostureState::good()
                                           : PostureState::needsCalibration());
    } else {
        const Orientation mean = meanOf(samples);
        m_settings.setGoodPosture(PosturePoint(mean.pitch, mean.roll, m_clock.now()));
        m_settings.countDiagnostic(&Diagnostics::calibrations);
        setState(PostureState::good());
        m_lastTickAt.reset();
        m_notifiedForCurrentBadStreak = false;
    }

    // Last, so that a new capture started from here sees the finished state.
    auto finished = std::move(capture->finished);
    if (finished) {
        finished();
    }
    emit captureFinished();
    paceDelivery();
}

// Plain arithmetic means, summed in arrival order; `samples` is never empty.
PostureMonitor::Orientation PostureMonitor::meanOf(const std::vector<Orientation>& samples) {
    double pitchSum = 0;
    double rollSum = 0;
    for (const Orientation& sample : samples) {
        pitchSum += sample.pitch;
        rollSum += sample.roll;
    }
    const auto count = static_cast<double>(samples.size());
    return {pitchSum / count, rollSum / count};
}

void PostureMonitor::resetCalibration() {
    m_settings.setGoodPosture(std::nullopt);
    setState(m_manager.isDeviceMotionActive() ? PostureState::needsCalibration()
                                              : PostureState::idle());
}

// --- Connection tracking and the reconnect baseline -------------------------

void PostureMonitor::startConnectionTimer() {
    if (!m_connectionTimer) {
        m_connectionTimer = m_timers.createTimer();
    }
    QPointer<PostureMonitor> self(this);
    m_connectionTimer->start(kConnectionCheckInterval, [self] {
        if (self) {
            self->checkConnectionFreshness();
        }
    });
}

void PostureMonitor::checkConnectionFreshness() {
    if (!m_connected || !m_lastMotionAt) {
        return;
    }
    if (m_clock.now() - *m_lastMotionAt > kStalenessLimit) {
        markDisconnected();
    }
}

void PostureMonitor::markDisconnected() {
    if (!m_connected && !m_lastTickAt && !m_lastMotionAt) {
        return;
    }
    if (m_connected) {
        m_settings.countDiagnostic(&Diagnostics::disconnects);
    }
    setConnected(false);
    m_lastTickAt.reset();
    m_lastMotionAt.reset();
    clearFigures();
    m_notifiedForCurrentBadStreak = false;
    m_collectingCapture = false;
    m_captureSamples.clear();
    m_reconnectBaselineUntil.reset();
    m_reconnectBaselineSamples.clear();

    if (m_settings.monitoringEnabled() && m_manager.isDeviceMotionActive()) {
        setState(waitingOrUncalibrated());
    }
    paceDelivery();
}

void PostureMonitor::startReconnectBaseline(double pitch, double roll, double monotonicAt) {
    m_reconnectBaselineUntil = monotonicAt + kReconnectWindow;
    m_reconnectBaselineSamples.clear();
    m_reconnectBaselineSamples.push_back({pitch, roll});
    clearFigures();
    m_lastTickAt.reset();
    m_notifiedForCurrentBadStreak = false;
    setState(waitingOrUncalibrated());
}

bool PostureMonitor::collectReconnectBaseline(double pitch, double roll, Instant at,
                                              double monotonicAt) {
    if (!m_reconnectBaselineUntil) {
        return false;
    }
    m_reconnectBaselineSamples.push_back({pitch, roll});
    // The window's length on the monotonic clock; the baseline's date, `at`,
    // on the wall clock like every stored date.
    if (monotonicAt >= *m_reconnectBaselineUntil) {
        m_reconnectBaselineUntil.reset();
        const Orientation mean = meanOf(m_reconnectBaselineSamples);
        m_reconnectBaselineSamples.clear();
        adoptCurrentPostureAsBaseline(mean.pitch, mean.roll, at);
    }
    return true;
}

void PostureMonitor::adoptCurrentPostureAsBaseline(double pitch, double roll, Instant at) {
    m_settings.setGoodPosture(PosturePoint(pitch, roll, at));
    clearFigures();
    m_lastTickAt.reset();
    m_notifiedForCurrentBadStreak = false;
    setState(PostureState::good());
}

// --- Observable properties --------------------------------------------------

void PostureMonitor::setState(const PostureState& state) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    // Who follows the state reads the figures it was reached with.
    publishFigures();
    emit stateChanged(m_state);
    paceDelivery();
}

void PostureMonitor::setConnected(bool connected) {
    if (connected != m_connected) {
        m_connected = connected;
        emit connectedChanged(connected);
    }
}

void PostureMonitor::setFigures(double pitchDelta, double rollDelta, double combined,
                                const QString& label) {
    if (pitchDelta != m_pitchDelta) {
        m_pitchDelta = pitchDelta;
        emit pitchDeltaChanged(pitchDelta);
    }
    if (rollDelta != m_rollDelta) {
        m_rollDelta = rollDelta;
        emit rollDeltaChanged(rollDelta);
    }
    if (combined != m_combinedDriftDegrees) {
        m_combinedDriftDegrees = combined;
        emit combinedDriftDegreesChanged(combined);
        updateDriftFraction();
    }
    if (label != m_directionLabel) {
        m_directionLabel = label;
        emit directionLabelChanged(m_directionLabel);
    }
}

void PostureMonitor::publishFigures() {
    if (const std::optional<Figures> figures = std::exchange(m_unpublished, std::nullopt)) {
        setFigures(figures->pitchDelta, figures->rollDelta, figures->combined,
                   directionLabel(figures->pitchDelta, figures->rollDelta, figures->combined));
    }
}

void PostureMonitor::clearFigures() {
    m_unpublished.reset();
    setFigures(0, 0, 0, QString());
}

void PostureMonitor::updateDriftFraction() {
    const double fraction = driftFraction();
    if (fraction != m_driftFraction) {
        m_driftFraction = fraction;
        emit driftFractionChanged(fraction);
    }
}

PostureState PostureMonitor::waitingOrUncalibrated() const {
    return m_settings.isCalibrated() ? PostureState::waitingForAirPods()
                                     : PostureState::needsCalibration();
}

} // namespace backbeacon
