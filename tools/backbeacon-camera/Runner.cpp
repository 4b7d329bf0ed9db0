#include "backbeacon-camera/Runner.h"

#include "backbeacon-camera/CameraSource.h"
#include "backbeacon-camera/FileSource.h"
#include "backbeacon-camera/HeadPipeline.h"
#include "backbeacon-camera/StopSignal.h"
#include "backbeacon-camera/UdpSender.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <opencv2/core/utility.hpp>
#include <stdexcept>

namespace backbeacon::camera {

namespace {

// Waits between attempts to get a busy or vanished camera back: about 15 s in
// all, long enough for a replug or another program's short grab.
constexpr double kBackoffSeconds[] = {1, 2, 4, 8};

enum class Outcome { Ready, Failed, Stopped };

// Opens the camera, trying again while it is busy (`retryAny`: whatever the
// reason, as after it vanished mid-stream).
Outcome openWithRetries(const CameraOptions& options, const CameraAccess& camera, bool retryAny,
                        std::unique_ptr<FrameSource>& source, ExitCode& failure,
                        std::string& error) {
    for (std::size_t attempt = 0;; ++attempt) {
        OpenedCamera opened = camera.open(options.device, options.rate);
        if (opened.source) {
            source = std::move(opened.source);
            return Outcome::Ready;
        }
        failure = opened.failure;
        error = opened.error;
        const bool retry = retryAny || opened.failure == ExitCode::CameraBusy;
        if (!retry || attempt == std::size(kBackoffSeconds)) {
            return Outcome::Failed;
        }
        if (!camera.wait(kBackoffSeconds[attempt])) {
            return Outcome::Stopped;
        }
    }
}

} // namespace

ExitCode runCamera(const CameraOptions& options, StopSignal& stop, std::string& error) {
    const CameraAccess camera{openCamera,
                              [&stop](double seconds) { return stop.sleepFor(seconds); }};
    return runCamera(options, stop, camera, error);
}

ExitCode runCamera(const CameraOptions& options, StopSignal& stop, const CameraAccess& camera,
                   std::string& error) {
    // A frame's few small resizes cost less than waking a pool of threads for
    // each of them.
    cv::setNumThreads(0);
    if (const auto problem = FaceModel::problemWith(options.model)) {
        error = *problem;
        return ExitCode::ModelUnreadable;
    }
    const std::unique_ptr<UdpSender> sender = UdpSender::open(options.port, error);
    if (!sender) {
        return ExitCode::SocketFailed;
    }

    std::unique_ptr<FrameSource> source;
    if (!options.input.empty()) {
        source = openRecording(options.input,
                               {options.rate, options.rateGiven, options.durationSeconds}, error);
        if (!source) {
            return ExitCode::InputUnreadable;
        }
    } else {
        ExitCode failure = ExitCode::NoCamera;
        switch (openWithRetries(options, camera, false, source, failure, error)) {
        case Outcome::Ready:
            break;
        case Outcome::Failed:
            return failure;
        case Outcome::Stopped:
            return ExitCode::Done;
        }
    }

    std::shared_ptr<const FaceModel> model;
    try {
        model = std::make_shared<const FaceModel>(options.model);
    } catch (const std::exception& e) {
        error = e.what();
        return ExitCode::ModelUnreadable;
    }
    HeadPipeline pipeline(model);

    const double period = 1 / options.rate;
    const auto started = std::chrono::steady_clock::now();
    double nextDue = 0;
    cv::Mat frame;
    bool announced = false;
    while (!stop.requested()) {
        double seconds = 0;
        const FrameSource::Read read = source->read(frame, seconds);
        if (read == FrameSource::Read::End) {
            return ExitCode::Done;
        }
        if (read == FrameSource::Read::Lost) {
            source.reset(); // let go of the device before trying it again
            ExitCode failure = ExitCode::CameraLost;
            switch (openWithRetries(options, camera, true, source, failure, error)) {
            case Outcome::Ready:
                continue;
            case Outcome::Failed:
                error = "the camera stopped delivering frames (" + error + ")";
                return ExitCode::CameraLost;
            case Outcome::Stopped:
                return ExitCode::Done;
            }
        }
        // The app that runs the tool takes this line as the sign that the
        // camera works.
        if (!announced) {
            const std::string& from = options.input.empty() ? options.device : options.input;
            std::printf("reading pictures from %s\n",
                        from.empty() ? "the first camera" : from.c_str());
            std::fflush(stdout);
            announced = true;
        }
        if (!source->realTime()) {
            const double wait =
                seconds -
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (wait > 0 && !stop.sleepFor(wait)) {
                return ExitCode::Done;
            }
        }
        // Frames come faster than they are analysed; take the one nearest
        // each analysis time.
        if (seconds < nextDue - period / 4) {
            continue;
        }
        nextDue = std::max(nextDue + period, seconds + period / 2);
        if (const auto pose = pipeline.process(frame, seconds)) {
            if (!sender->send(*pose, error)) {
                return ExitCode::SocketFailed;
            }
        }
    }
    return ExitCode::Done;
}

} // namespace backbeacon::camera
