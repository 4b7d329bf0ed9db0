#include "PhotoMotion.h"

#include "backbeacon-camera/HeadPipeline.h"

#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace backbeacon::camera::photos {

std::string photoDirectory() {
    return BACKBEACON_TEST_PHOTOS_DIR;
}

cv::Mat loadPhoto(const std::string& name) {
    return cv::imread(photoDirectory() + "/" + name, cv::IMREAD_COLOR);
}

cv::Mat rotated(const cv::Mat& photo, double degrees) {
    const cv::Point2f centre(photo.cols / 2.0F, photo.rows / 2.0F);
    cv::Mat turned;
    cv::warpAffine(photo, turned, cv::getRotationMatrix2D(centre, degrees, 1.0), photo.size(),
                   cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return turned;
}

cv::Mat tilted(const cv::Mat& photo, double degrees, double axisRow) {
    const double f = photo.cols;
    const double cx = photo.cols / 2.0;
    const double cy = photo.rows / 2.0;
    const double angle = degrees * M_PI / 180;
    // Each corner as a point on the photo's plane at depth f, turned about the
    // axis, seen again through the same pinhole.
    std::vector<cv::Point2f> from, to;
    for (const cv::Point2f corner :
         {cv::Point2f(0, 0), cv::Point2f(photo.cols, 0), cv::Point2f(photo.cols, photo.rows),
          cv::Point2f(0, photo.rows)}) {
        const double x = corner.x - cx;
        const double below = corner.y - axisRow;
        const double y = axisRow - cy + below * std::cos(angle);
        const double z = f + below * std::sin(angle);
        from.push_back(corner);
        to.emplace_back(static_cast<float>(cx + f * x / z), static_cast<float>(cy + f * y / z));
    }
    cv::Mat seen;
    cv::warpPerspective(photo, seen, cv::getPerspectiveTransform(from, to), photo.size(),
                        cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return seen;
}

cv::Mat withNoise(const cv::Mat& photo, double sigma, unsigned seed) {
    cv::RNG rng(seed);
    cv::Mat noise(photo.size(), CV_32FC(photo.channels()));
    rng.fill(noise, cv::RNG::NORMAL, 0.0, sigma);
    cv::Mat noisy;
    photo.convertTo(noisy, CV_32F);
    noisy += noise;
    noisy.convertTo(noisy, photo.type()); // saturates at 0 and 255
    return noisy;
}

cv::Mat framed(const cv::Mat& photo, int width, int height) {
    cv::Mat canvas(height, width, photo.type(), cv::Scalar::all(90));
    const int w = std::min(width, photo.cols);
    const int h = std::min(height, photo.rows);
    photo(cv::Rect((photo.cols - w) / 2, (photo.rows - h) / 2, w, h))
        .copyTo(canvas(cv::Rect((width - w) / 2, (height - h) / 2, w, h)));
    return canvas;
}

std::optional<HeadPose> poseOf(const std::shared_ptr<const FaceModel>& model,
                               const cv::Mat& frame) {
    HeadPipeline pipeline(model);
    if (!pipeline.process(frame, 0)) {
        return std::nullopt;
    }
    return pipeline.lastRaw();
}

std::optional<double> faceMiddleRow(const std::shared_ptr<const FaceModel>& model,
                                    const cv::Mat& frame) {
    cv::Mat grey;
    cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
    FaceTracker tracker(model);
    const auto landmarks = tracker.track(grey);
    if (!landmarks) {
        return std::nullopt;
    }
    double sum = 0;
    for (const Point2& p : *landmarks) {
        sum += p.y;
    }
    return sum / landmarks->size();
}

} // namespace backbeacon::camera::photos
