#include "QtProcessLauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcProcess, "backbeacon.process")

namespace {

class QtChildProcess final : public QObject, public ChildProcess {
public:
    QtChildProcess(const QString& program, const QStringList& arguments,
                   ProcessLauncher::Handlers handlers)
        : m_handlers(std::move(handlers)) {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setStandardInputFile(QProcess::nullDevice());
        const pid_t parent = getpid();
        // Runs in the child between fork and exec: only async-signal-safe calls.
        m_process.setChildProcessModifier([parent] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            // The app died before the line above took effect.
            if (::getppid() != parent) {
                ::_exit(1);
            }
        });
        connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] {
            m_process.setReadChannel(QProcess::StandardOutput);
            while (m_process.canReadLine()) {
                const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                if (m_handlers.said) {
                    m_handlers.said(line);
                }
            }
        });
        connect(&m_process, &QProcess::readyReadStandardError, this, [this] {
            m_process.setReadChannel(QProcess::StandardError);
            while (m_process.canReadLine()) {
                m_lastMessage = QString::fromUtf8(m_process.readLine()).trimmed();
                qCDebug(lcProcess, "%s", qUtf8Printable(m_lastMessage));
            }
        });
        connect(&m_process, &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) {
                    finish({status == QProcess::CrashExit ? ProcessExit::Kind::crashed
                                                          : ProcessExit::Kind::exited,
                            code, m_lastMessage});
                });
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                finish({ProcessExit::Kind::failedToStart, 0, m_process.errorString()});
            }
        });
        m_process.start();
    }

    ~QtChildProcess() override {
        disconnect(&m_process, nullptr, this, nullptr);
        if (m_process.state() == QProcess::NotRunning) {
            return;
        }
        m_process.terminate();
        if (!m_process.waitForFinished(QtProcessLauncher::kStopGraceMilliseconds)) {
            m_process.kill();
            m_process.waitForFinished(1000);
        }
    }

private:
    // Queued, so the handler never runs inside launch() and never after the
    // handle is gone.
    void finish(ProcessExit exit) {
        if (m_finished) {
            return;
        }
        m_finished = true;
        QMetaObject::invokeMethod(
            this,
            [this, exit] {
                if (m_handlers.exited) {
                    m_handlers.exited(exit);
                }
            },
            Qt::QueuedConnection);
    }

    QProcess m_process;
    ProcessLauncher::Handlers m_handlers;
    QString m_lastMessage;
    bool m_finished = false;
};

} // namespace

std::unique_ptr<ChildProcess>
QtProcessLauncher::launch(const QString& program, const QStringList& arguments, Handlers handlers) {
    return std::make_unique<QtChildProcess>(program, arguments, std::move(handlers));
}

QString findCameraTool(const QString& applicationDir) {
    const QDir dir(applicationDir);
    for (const QString& candidate :
         {dir.filePath(QStringLiteral("backbeacon-camera")),
          dir.filePath(QStringLiteral("../../tools/backbeacon-camera/backbeacon-camera"))}) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable()) {
            return file.canonicalFilePath();
        }
    }
    return {};
}

} // namespace backbeacon
