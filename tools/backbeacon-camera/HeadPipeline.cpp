#include "backbeacon-camera/HeadPipeline.h"

#include <opencv2/imgproc.hpp>

namespace backbeacon::camera {

namespace {

// Chosen with bench_camera_pose on still portraits with camera-like noise and
// 10° steps at 10 Hz: a still head moves a few tenths of a degree at most, a
// step is followed in about three frames.
constexpr OneEuroFilter::Tuning kAngleTuning{0.1, 0.05, 0.5};
// Pitch rests on the nose and chin, which the landmarks place four times less
// steadily than the eye line roll rests on: it is smoothed more while still.
constexpr OneEuroFilter::Tuning kPitchTuning{0.07, 0.03, 0.5};
constexpr OneEuroFilter::Tuning kPositionTuning{0.1, 0.1, 0.5};
// A face gone longer than this is a new start, not a continuation.
constexpr double kForgetAfterSeconds = 0.5;

} // namespace

HeadPipeline::HeadPipeline(std::shared_ptr<const FaceModel> model)
    : m_tracker(std::move(model)), m_filters{OneEuroFilter(kPositionTuning),
                                             OneEuroFilter(kPositionTuning),
                                             OneEuroFilter(kPositionTuning),
                                             OneEuroFilter(kAngleTuning),
                                             OneEuroFilter(kPitchTuning),
                                             OneEuroFilter(kAngleTuning)} {}

std::optional<HeadPose> HeadPipeline::process(const cv::Mat& frame, double seconds) {
    const cv::Mat* grey = &frame;
    if (frame.channels() == 3) {
        cv::cvtColor(frame, m_grey, cv::COLOR_BGR2GRAY);
        grey = &m_grey;
    } else if (frame.channels() == 4) {
        cv::cvtColor(frame, m_grey, cv::COLOR_BGRA2GRAY);
        grey = &m_grey;
    }
    if (m_lastSeenSeconds && seconds - *m_lastSeenSeconds > kForgetAfterSeconds) {
        for (OneEuroFilter& filter : m_filters) {
            filter.reset();
        }
        m_estimator.reset();
        m_lastSeenSeconds.reset();
    }
    const std::optional<FaceLandmarks> landmarks = m_tracker.track(*grey);
    std::optional<HeadPose> raw;
    if (landmarks) {
        raw = m_estimator.estimate(*landmarks, grey->cols, grey->rows);
    }
    if (!raw) {
        return std::nullopt;
    }
    m_lastSeenSeconds = seconds;
    m_lastRaw = raw;
    return HeadPose{
        m_filters[0].filter(raw->x, seconds),     m_filters[1].filter(raw->y, seconds),
        m_filters[2].filter(raw->z, seconds),     m_filters[3].filter(raw->yaw, seconds),
        m_filters[4].filter(raw->pitch, seconds), m_filters[5].filter(raw->roll, seconds)};
}

} // namespace backbeacon::camera
