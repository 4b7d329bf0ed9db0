#pragma once

#include "engine/ProcessLauncher.h"

namespace backbeacon::testing {

// Children that live until the test ends them or the supervisor lets go.
class FakeProcessLauncher final : public ProcessLauncher {
public:
    struct Child final : ChildProcess {
        Child(FakeProcessLauncher& launcher, Handlers handlers)
            : launcher(launcher), handlers(std::move(handlers)) {
            launcher.running = this;
        }
        ~Child() override {
            if (launcher.running == this) {
                launcher.running = nullptr;
                ++launcher.stopped;
            }
        }
        FakeProcessLauncher& launcher;
        Handlers handlers;
    };

    std::unique_ptr<ChildProcess> launch(const QString& program, const QStringList& arguments,
                                         Handlers handlers) override {
        launches << program + u' ' + arguments.join(u' ');
        return std::make_unique<Child>(*this, std::move(handlers));
    }
    void say(const QString& line) { running->handlers.said(line); }
    // Ends the running child as the process would; the handle stays with the
    // supervisor until it drops it.
    void end(ProcessExit exit) {
        Child* child = running;
        running = nullptr;
        child->handlers.exited(exit);
    }
    void exitWith(int code) { end({ProcessExit::Kind::exited, code, QStringLiteral("gone")}); }

    QStringList launches;
    Child* running = nullptr;
    int stopped = 0;
};

} // namespace backbeacon::testing
