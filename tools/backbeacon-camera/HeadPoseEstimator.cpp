#include "backbeacon-camera/HeadPoseEstimator.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <vector>

namespace backbeacon::camera {

namespace {

constexpr double kDegrees = 180.0 / 3.141592653589793;

// Only landmarks that hold still with the face's expression are used: the
// mouth's corners rise with a smile, which the fit would read as the head
// looking down, and the jaw line moves with the cheeks.
constexpr FacePoint kFace[] = {
    {30, 0, 0, 0},      // nose tip
    {27, 0, -48, 22},   // bridge of the nose between the eyes
    {33, 0, 13, 15},    // below the nose
    {36, -45, -35, 30}, // outer eye corner, image left
    {39, -16, -35, 24}, // inner eye corner, image left
    {42, 16, -35, 24},  // inner eye corner, image right
    {45, 45, -35, 30},  // outer eye corner, image right
    {8, 0, 68, 14},     // chin
};

} // namespace

std::span<const FacePoint> genericFace() {
    return kFace;
}

std::optional<HeadPose> HeadPoseEstimator::estimate(const FaceLandmarks& landmarks, int frameWidth,
                                                    int frameHeight) {
    std::vector<cv::Point3d> model;
    std::vector<cv::Point2d> image;
    for (const FacePoint& point : kFace) {
        model.emplace_back(point.x, point.y, point.z);
        const Point2& seen = landmarks[static_cast<std::size_t>(point.landmark)];
        image.emplace_back(seen.x, seen.y);
    }
    const double focal = frameWidth;
    const cv::Matx33d camera(focal, 0, frameWidth / 2.0, 0, focal, frameHeight / 2.0, 0, 0, 1);
    cv::Mat rotation(3, 1, CV_64F, m_rotation);
    cv::Mat translation(3, 1, CV_64F, m_translation);
    // The last fit is the best start: it keeps the answer on the same branch
    // from frame to frame and converges in a step or two. Without one, EPnP
    // gives the start; the iterative fit alone may settle on the mirror image
    // behind the camera.
    bool solved = m_hasLast || cv::solvePnP(model, image, camera, cv::noArray(), rotation,
                                            translation, false, cv::SOLVEPNP_EPNP);
    solved = solved && cv::solvePnP(model, image, camera, cv::noArray(), rotation, translation,
                                    true, cv::SOLVEPNP_ITERATIVE);
    if (!solved || !std::isfinite(m_translation[2]) || m_translation[2] <= 0) {
        m_hasLast = false;
        return std::nullopt;
    }
    m_hasLast = true;

    // The head's turn in the camera's axes as R = Rz(roll) Ry(yaw) Rx(pitch):
    // pitch about the head's own ear-to-ear axis, roll about the line of
    // sight, so turning the whole picture changes roll alone.
    cv::Matx33d r;
    cv::Rodrigues(rotation, r);
    const double cameraYaw = std::asin(std::clamp(-r(2, 0), -1.0, 1.0)); // + nose to image left
    const double cameraPitch = std::atan2(r(2, 1), r(2, 2));             // + chin away
    const double cameraRoll = std::atan2(r(1, 0), r(0, 0));              // + clockwise on screen

    // The camera does not mirror: the user's right is the image's left, so
    // clockwise on screen tilts toward the left shoulder, and a nose turning
    // to the image's left turns toward the user's right.
    HeadPose pose;
    pose.x = -m_translation[0] / 10;
    pose.y = -m_translation[1] / 10;
    pose.z = m_translation[2] / 10;
    pose.yaw = -cameraYaw * kDegrees;
    pose.pitch = -cameraPitch * kDegrees;
    pose.roll = cameraRoll * kDegrees;
    return pose;
}

} // namespace backbeacon::camera
