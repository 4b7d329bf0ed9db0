#include "CameraSupervisor.h"

#include "model/AppSettings.h"
#include "model/Clock.h"
#include "model/Timer.h"

#include <QLoggingCategory>
#include <QPointer>

#include <algorithm>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcCamera, "backbeacon.camera")

namespace {

// What the tool prints on stdout once the first picture has come in.
constexpr QLatin1StringView kReadyLine{"reading"};

} // namespace

CameraSupervisor::CameraSupervisor(AppSettings& settings, ProcessLauncher& launcher,
                                   const Clock& clock, TimerFactory& timers, QString program,
                                   QStringList arguments, QObject* parent)
    : QObject(parent), m_settings(settings), m_launcher(launcher), m_clock(clock),
      m_retry(timers.createTimer()), m_program(std::move(program)),
      m_arguments(std::move(arguments)) {
    connect(&m_settings, &AppSettings::headSourceChanged, this, &CameraSupervisor::update);
}

// The child goes with the handle: it is asked to stop and waited for.
CameraSupervisor::~CameraSupervisor() = default;

void CameraSupervisor::setMonitoring(bool running) {
    m_monitoring = running;
    update();
}

bool CameraSupervisor::blocksMotion() const {
    return m_status != Status::off && m_status != Status::starting && m_status != Status::running;
}

CameraSupervisor::Status CameraSupervisor::statusFor(const ProcessExit& exit) {
    switch (exit.kind) {
    case ProcessExit::Kind::failedToStart:
        return Status::toolMissing;
    case ProcessExit::Kind::crashed:
        return Status::failed;
    case ProcessExit::Kind::exited:
        break;
    }
    switch (exit.code) {
    case kExitNoCamera:
        return Status::noCamera;
    case kExitModelMissing:
        return Status::modelMissing;
    case kExitCameraLost:
        return Status::cameraLost;
    case kExitCameraBusy:
        return Status::cameraBusy;
    default:
        // Even a clean exit is a failure here: the camera has no end.
        return Status::failed;
    }
}

bool CameraSupervisor::wanted() const {
    return m_monitoring && m_settings.headSource() == HeadSource::camera;
}

void CameraSupervisor::update() {
    if (!wanted()) {
        stop();
        return;
    }
    // A failed tool waits out its back-off before it runs again.
    if (!m_child && !m_retry->isActive()) {
        launch();
    }
}

void CameraSupervisor::launch() {
    QPointer<CameraSupervisor> self(this);
    m_readyAt.reset();
    m_child = m_launcher.launch(m_program, m_arguments,
                                {.said =
                                     [self](const QString& line) {
                                         if (self) {
                                             self->heard(line);
                                         }
                                     },
                                 .exited =
                                     [self](const ProcessExit& exit) {
                                         if (self) {
                                             self->exited(exit);
                                         }
                                     }});
    // While a fault is being retried it stays on show until the camera works.
    if (m_status == Status::off) {
        setStatus(Status::starting);
    }
}

void CameraSupervisor::stop() {
    m_retry->stop();
    m_child.reset();
    m_readyAt.reset();
    m_retryDelay = kFirstRetryDelay;
    setStatus(Status::off);
}

void CameraSupervisor::heard(const QString& line) {
    if (line.startsWith(kReadyLine) && !m_readyAt) {
        m_readyAt = m_clock.now();
        setStatus(Status::running);
    }
}

void CameraSupervisor::exited(const ProcessExit& exit) {
    m_child.reset();
    const Status status = statusFor(exit);
    const QString how = exit.kind == ProcessExit::Kind::exited
                            ? QStringLiteral("status %1").arg(exit.code)
                            : QStringLiteral("no exit status");
    qCWarning(lcCamera, "backbeacon-camera ended with %s: %s", qUtf8Printable(how),
              qUtf8Printable(exit.lastMessage));
    if (m_readyAt && m_clock.now() - *m_readyAt >= kSteadyRun) {
        m_retryDelay = kFirstRetryDelay;
    }
    m_readyAt.reset();
    setStatus(status);
    if (!wanted()) {
        return;
    }
    const double delay = m_retryDelay;
    m_retryDelay = std::min(m_retryDelay * 2, kMaxRetryDelay);
    QPointer<CameraSupervisor> self(this);
    m_retry->start(delay, [self] {
        if (self) {
            self->m_retry->stop();
            self->update();
        }
    });
}

void CameraSupervisor::setStatus(Status status) {
    if (m_status != status) {
        m_status = status;
        emit statusChanged(status);
    }
}

} // namespace backbeacon
