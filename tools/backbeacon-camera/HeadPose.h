#pragma once

#include <array>

namespace backbeacon::camera {

// One head pose in opentrack's units and signs: position in cm (x toward the
// user's right, y up, z away from the camera), angles in degrees (yaw positive
// turning toward the user's left, pitch positive looking up, roll positive
// tilting toward the left shoulder).
struct HeadPose {
    double x = 0;
    double y = 0;
    double z = 0;
    double yaw = 0;
    double pitch = 0;
    double roll = 0;
};

// dlib's 68 face landmarks, in frame pixels.
struct Point2 {
    double x = 0;
    double y = 0;
};
using FaceLandmarks = std::array<Point2, 68>;

} // namespace backbeacon::camera
