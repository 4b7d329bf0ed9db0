#pragma once

#include "backbeacon-camera/FaceTracker.h"
#include "backbeacon-camera/HeadPose.h"
#include "backbeacon-camera/HeadPoseEstimator.h"
#include "backbeacon-camera/OneEuroFilter.h"

#include <array>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <optional>

namespace backbeacon::camera {

// One frame in, the smoothed head pose out: grey conversion, the face
// tracker, the pose fit and a One-Euro filter per value.
class HeadPipeline {
public:
    explicit HeadPipeline(std::shared_ptr<const FaceModel> model);

    // The pose for a frame (BGR or grey) taken at `seconds`, or nothing when no
    // face is in view.
    std::optional<HeadPose> process(const cv::Mat& frame, double seconds);

    // The unsmoothed pose of the last frame with a face, for measuring.
    const std::optional<HeadPose>& lastRaw() const { return m_lastRaw; }
    const FaceTracker& tracker() const { return m_tracker; }

private:
    FaceTracker m_tracker;
    HeadPoseEstimator m_estimator;
    std::array<OneEuroFilter, 6> m_filters;
    cv::Mat m_grey;
    std::optional<double> m_lastSeenSeconds;
    std::optional<HeadPose> m_lastRaw;
};

} // namespace backbeacon::camera
