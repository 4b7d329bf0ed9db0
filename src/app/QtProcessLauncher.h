#pragma once

#include "engine/ProcessLauncher.h"

namespace backbeacon {

// Children as real processes. Each gets SIGTERM when the app dies, however it
// dies, so a helper such as the camera tool never outlives it and never keeps
// the camera open.
class QtProcessLauncher final : public ProcessLauncher {
public:
    // How long a child is given to end after SIGTERM before it is killed.
    static constexpr int kStopGraceMilliseconds = 2000;

    std::unique_ptr<ChildProcess> launch(const QString& program, const QStringList& arguments,
                                         Handlers handlers) override;
};

// backbeacon-camera beside the app (installed), else where the build tree puts
// it; empty when neither exists.
QString findCameraTool(const QString& applicationDir);

} // namespace backbeacon
