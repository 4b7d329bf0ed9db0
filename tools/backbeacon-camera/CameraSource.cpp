#include "backbeacon-camera/CameraSource.h"

#include "backbeacon-camera/V4l2Camera.h"
#include "backbeacon-camera/V4l2Device.h"
#include "backbeacon-camera/VideoModule.h"

namespace backbeacon::camera {

namespace {

// A camera that delivers its first frame: the one sign it really works.
OpenedCamera delivering(std::unique_ptr<FrameSource> source, const std::string& device) {
    cv::Mat frame;
    double seconds = 0;
    if (source->read(frame, seconds) == FrameSource::Read::Frame) {
        return {std::move(source), ExitCode::Done, {}};
    }
    source.reset();
    // Opening can race another program taking the camera.
    if (probeV4l2Device(device) == DeviceState::Busy) {
        return {nullptr, ExitCode::CameraBusy,
                "camera " + device + " is in use by another program"};
    }
    return {nullptr, ExitCode::NoCamera, "camera " + device + " delivers no frames"};
}

OpenedCamera openDevice(const std::string& device, double rate) {
    V4l2Camera::Failure failure = V4l2Camera::Failure::None;
    std::string error;
    std::unique_ptr<FrameSource> source = V4l2Camera::open(device, rate, failure, error);
    if (failure == V4l2Camera::Failure::NoFormat) {
        source = openCameraThroughVideoModule(device, rate, error);
        if (!source) {
            return {nullptr, ExitCode::NoCamera, error};
        }
    }
    switch (failure) {
    case V4l2Camera::Failure::None:
    case V4l2Camera::Failure::NoFormat:
        return delivering(std::move(source), device);
    case V4l2Camera::Failure::Busy:
        return {nullptr, ExitCode::CameraBusy, error};
    case V4l2Camera::Failure::Missing:
    case V4l2Camera::Failure::NotCapture:
    case V4l2Camera::Failure::Failed:
        break;
    }
    return {nullptr, ExitCode::NoCamera, error};
}

} // namespace

OpenedCamera openCamera(const std::string& device, double rate) {
    if (!device.empty()) {
        return openDevice(device, rate);
    }
    OpenedCamera busy;
    for (const std::string& node : videoDeviceNodes()) {
        // Metadata nodes sit beside most cameras; they are no failure.
        if (probeV4l2Device(node) == DeviceState::NotCapture) {
            continue;
        }
        OpenedCamera opened = openDevice(node, rate);
        if (opened.source) {
            return opened;
        }
        if (opened.failure == ExitCode::CameraBusy && busy.error.empty()) {
            busy = std::move(opened);
        }
    }
    if (!busy.error.empty()) {
        return busy;
    }
    return {nullptr, ExitCode::NoCamera, "no camera found (no /dev/video* delivers frames)"};
}

} // namespace backbeacon::camera
