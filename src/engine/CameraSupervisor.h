#pragma once

#include "ProcessLauncher.h"
#include "model/Instant.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace backbeacon {

class AppSettings;
class Clock;
class Timer;
class TimerFactory;

// Runs backbeacon-camera while monitoring runs with the camera as the head
// source, and tells why it is not running. The tool sends its poses to the
// same loopback port as any head tracker, so the samples themselves need no
// help from here.
class CameraSupervisor final : public QObject {
    Q_OBJECT

public:
    enum class Status {
        off,          // not wanted: another head source, or monitoring not started
        starting,     // started, no picture yet
        running,      // the tool reads pictures
        noCamera,     // no camera that delivers pictures
        cameraBusy,   // another program holds the camera
        cameraLost,   // the camera stopped delivering (unplugged)
        modelMissing, // the face model is not installed
        toolMissing,  // backbeacon-camera could not be started
        failed,       // the tool ended for another reason
    };
    Q_ENUM(Status)

    // Restarts wait this long after a failure, doubling up to the maximum; a
    // run that lasted kSteadyRun since its first picture starts over at the
    // first delay.
    static constexpr double kFirstRetryDelay = 1;
    static constexpr double kMaxRetryDelay = 60;
    static constexpr double kSteadyRun = 30;

    // The tool's exit statuses.
    static constexpr int kExitNoCamera = 69;
    static constexpr int kExitModelMissing = 72;
    static constexpr int kExitCameraLost = 74;
    static constexpr int kExitCameraBusy = 75;

    CameraSupervisor(AppSettings& settings, ProcessLauncher& launcher, const Clock& clock,
                     TimerFactory& timers, QString program, QStringList arguments = {},
                     QObject* parent = nullptr);
    ~CameraSupervisor() override;

    // Whether the posture monitor has its head source running.
    void setMonitoring(bool running);

    Status status() const { return m_status; }
    // The tool cannot deliver poses: the monitor shows the source as
    // unavailable until it can again.
    bool blocksMotion() const;
    bool isToolRunning() const { return m_child != nullptr; }
    // The wait before the next restart after a failure.
    double retryDelay() const { return m_retryDelay; }

    static Status statusFor(const ProcessExit& exit);

signals:
    void statusChanged(backbeacon::CameraSupervisor::Status status);

private:
    bool wanted() const;
    void update();
    void launch();
    void stop();
    void heard(const QString& line);
    void exited(const ProcessExit& exit);
    void setStatus(Status status);

    AppSettings& m_settings;
    ProcessLauncher& m_launcher;
    const Clock& m_clock;
    std::unique_ptr<Timer> m_retry;
    QString m_program;
    QStringList m_arguments;

    std::unique_ptr<ChildProcess> m_child;
    std::optional<Instant> m_readyAt;
    bool m_monitoring = false;
    Status m_status = Status::off;
    double m_retryDelay = kFirstRetryDelay;
};

} // namespace backbeacon
