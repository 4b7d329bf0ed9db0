#include "backbeacon-camera/CameraSource.h"

#include "backbeacon-camera/V4l2Device.h"

#include <chrono>

namespace backbeacon::camera {

namespace {

// Enough for the face at a laptop's distance; more only costs conversions.
constexpr int kWidth = 640;
constexpr int kHeight = 480;

} // namespace

CameraSource::Opened CameraSource::openDevice(const std::string& device, double rate) {
    switch (probeV4l2Device(device)) {
    case DeviceState::Missing:
        return {nullptr, ExitCode::NoCamera, "no camera at " + device};
    case DeviceState::NotCapture:
        return {nullptr, ExitCode::NoCamera, device + " is not a video camera"};
    case DeviceState::Busy:
        return {nullptr, ExitCode::CameraBusy,
                "camera " + device + " is in use by another program"};
    case DeviceState::Ready:
        break;
    }
    std::unique_ptr<CameraSource> source(new CameraSource);
    source->m_device = device;
    cv::VideoCapture& capture = source->m_capture;
    if (capture.open(device, cv::CAP_V4L2)) {
        capture.set(cv::CAP_PROP_FRAME_WIDTH, kWidth);
        capture.set(cv::CAP_PROP_FRAME_HEIGHT, kHeight);
        // One buffer: the frame analysed is the newest, not one queued
        // behind frames that were skipped.
        capture.set(cv::CAP_PROP_BUFFERSIZE, 1);
        capture.set(cv::CAP_PROP_FPS, rate);
        if (capture.read(source->m_first) && !source->m_first.empty()) {
            return {std::move(source), ExitCode::Done, {}};
        }
    }
    // Opening can race another program taking the camera.
    if (probeV4l2Device(device) == DeviceState::Busy) {
        return {nullptr, ExitCode::CameraBusy,
                "camera " + device + " is in use by another program"};
    }
    return {nullptr, ExitCode::NoCamera, "camera " + device + " delivers no frames"};
}

CameraSource::Opened CameraSource::open(const std::string& device, double rate) {
    if (!device.empty()) {
        return openDevice(device, rate);
    }
    Opened busy;
    for (const std::string& node : videoDeviceNodes()) {
        Opened opened = openDevice(node, rate);
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

FrameSource::Read CameraSource::read(cv::Mat& image, double& seconds) {
    if (!m_first.empty()) {
        image = m_first;
        m_first = cv::Mat();
    } else if (!m_capture.read(image) || image.empty()) {
        return Read::Lost;
    }
    seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return Read::Frame;
}

} // namespace backbeacon::camera
