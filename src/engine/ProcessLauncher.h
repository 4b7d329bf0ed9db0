#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace backbeacon {

// How a child process ended.
struct ProcessExit {
    enum class Kind {
        exited,        // returned `code`
        crashed,       // killed by a signal
        failedToStart, // the program is missing or not executable
    };
    Kind kind = Kind::exited;
    int code = 0;
    // The last line it wrote to stderr, for the log.
    QString lastMessage;
};

// A running child. Destroying it stops the child and waits for it.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;
};

// Starts helper programs. The real one runs them as children that die with
// the app; tests use a fake that ends them by hand.
class ProcessLauncher {
public:
    struct Handlers {
        // Each line the child writes to stdout.
        std::function<void(const QString& line)> said;
        // Once, when the child has ended or could not be started.
        std::function<void(const ProcessExit& exit)> exited;
    };

    virtual ~ProcessLauncher() = default;
    // The handlers run on the main thread, never from within launch() and never
    // after the returned handle is gone.
    virtual std::unique_ptr<ChildProcess>
    launch(const QString& program, const QStringList& arguments, Handlers handlers) = 0;
};

} // namespace backbeacon
