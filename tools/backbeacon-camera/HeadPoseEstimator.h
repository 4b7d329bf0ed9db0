#pragma once

#include "backbeacon-camera/HeadPose.h"

#include <optional>
#include <span>

namespace backbeacon::camera {

// The head pose from one frame's landmarks: a generic adult face (eye
// corners, nose, chin) fitted to them with solvePnP, for a camera whose
// focal length is about the frame width and whose centre is the frame's.
struct FacePoint {
    int landmark; // dlib's number for it
    double x, y, z;
};
// The generic face, in mm, in the camera's axes when it looks straight into
// the lens: x to the image's right, y down, z away from the camera, the nose
// tip at the origin.
std::span<const FacePoint> genericFace();

class HeadPoseEstimator {
public:
    // Nothing when the fit fails or lands behind the camera.
    std::optional<HeadPose> estimate(const FaceLandmarks& landmarks, int frameWidth,
                                     int frameHeight);

    // Forgets the last fit, so the next one starts from scratch instead of
    // from a head that may since have moved far.
    void reset() { m_hasLast = false; }

private:
    bool m_hasLast = false;
    double m_rotation[3] = {};
    double m_translation[3] = {};
};

} // namespace backbeacon::camera
