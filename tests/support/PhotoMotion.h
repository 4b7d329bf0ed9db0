#pragma once

#include "backbeacon-camera/FaceTracker.h"
#include "backbeacon-camera/HeadPose.h"

#include <memory>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>

namespace backbeacon::camera::photos {

// The folder scripts/test-photos.sh fills with Debian's sample portraits.
std::string photoDirectory();

// The portraits the camera tests and measurements replay.
inline const char* const kPhotoNames[] = {"astronaut.png", "grace_hopper.jpg"};

// A portrait from that folder, in colour; empty when it is not there.
cv::Mat loadPhoto(const std::string& name);

// The photo turned in its plane about its centre, counter-clockwise on screen
// for positive degrees: the subject's head tilts toward their right shoulder,
// since a camera does not mirror.
cv::Mat rotated(const cv::Mat& photo, double degrees);

// The photo as a camera whose focal length is the photo's width would see it
// after turning it about the horizontal line at row `axisRow` (through the
// face): positive degrees bring the top toward the camera and take the bottom
// away, as a head looking down does.
cv::Mat tilted(const cv::Mat& photo, double degrees, double axisRow);

// The photo with Gaussian noise of `sigma` grey levels, as a camera adds.
cv::Mat withNoise(const cv::Mat& photo, double sigma, unsigned seed);

// The photo centred on a canvas of the given size (cropped if larger), as a
// camera frame around the face.
cv::Mat framed(const cv::Mat& photo, int width, int height);

// The unsmoothed pose the tool sees in this one frame, found from scratch.
std::optional<HeadPose> poseOf(const std::shared_ptr<const FaceModel>& model, const cv::Mat& frame);

// The row through the middle of the face's landmarks, if a face is found.
std::optional<double> faceMiddleRow(const std::shared_ptr<const FaceModel>& model,
                                    const cv::Mat& frame);

} // namespace backbeacon::camera::photos
