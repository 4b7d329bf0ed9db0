// The camera's head tracking on real portraits moved by known amounts (see
// scripts/test-photos.sh for where they come from).
#include "PhotoMotion.h"
#include "backbeacon-camera/FaceTracker.h"
#include "backbeacon-camera/HeadPipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

using namespace backbeacon::camera;

namespace {

class CameraPhotos : public testing::TestWithParam<std::string> {
protected:
    // About a second to load: once for every test here.
    static void SetUpTestSuite() {
        s_model = std::make_shared<const FaceModel>(BACKBEACON_DEFAULT_FACE_MODEL);
    }
    static void TearDownTestSuite() { s_model.reset(); }

    void SetUp() override {
        m_photo = photos::loadPhoto(GetParam());
        ASSERT_FALSE(m_photo.empty())
            << GetParam() << " is missing from " << photos::photoDirectory()
            << "; scripts/test-photos.sh fetches it";
    }

    static std::shared_ptr<const FaceModel> s_model;
    cv::Mat m_photo;
};

std::shared_ptr<const FaceModel> CameraPhotos::s_model;

double spread(const std::vector<double>& values) {
    double sum = 0, squares = 0;
    for (double v : values) {
        sum += v;
        squares += v * v;
    }
    const double mean = sum / values.size();
    return std::sqrt(std::max(0.0, squares / values.size() - mean * mean));
}

} // namespace

TEST_P(CameraPhotos, RollFollowsTheTurnOfThePicture) {
    const auto level = photos::poseOf(s_model, m_photo);
    ASSERT_TRUE(level);
    for (double degrees : {-20.0, -10.0, -5.0, 5.0, 10.0, 20.0}) {
        const auto pose = photos::poseOf(s_model, photos::rotated(m_photo, degrees));
        ASSERT_TRUE(pose) << degrees;
        // Counter-clockwise on screen tilts the head toward the right
        // shoulder: opentrack's roll goes negative.
        EXPECT_NEAR(pose->roll - level->roll, -degrees, 1.5) << degrees;
    }
}

TEST_P(CameraPhotos, PitchFallsAsTheFaceTiltsDownAndRisesAsItTiltsUp) {
    const auto row = photos::faceMiddleRow(s_model, m_photo);
    ASSERT_TRUE(row);
    std::vector<double> pitch;
    for (double degrees : {-20.0, -10.0, 0.0, 10.0, 20.0}) {
        const auto pose = photos::poseOf(s_model, photos::tilted(m_photo, degrees, *row));
        ASSERT_TRUE(pose) << degrees;
        pitch.push_back(pose->pitch);
    }
    // Looking down is negative pitch in opentrack's signs, so the readings
    // fall from the upward tilts to the downward ones.
    for (std::size_t i = 1; i < pitch.size(); ++i) {
        EXPECT_LT(pitch[i], pitch[i - 1]) << "tilt step " << i;
    }
}

TEST_P(CameraPhotos, AStillHeadUnderCameraNoiseReadsStill) {
    HeadPipeline pipeline(s_model);
    std::vector<double> pitch, roll;
    for (int i = 0; i < 50; ++i) {
        const auto pose = pipeline.process(photos::withNoise(m_photo, 3, i + 1), i * 0.1);
        ASSERT_TRUE(pose) << "frame " << i;
        if (i >= 10) {
            pitch.push_back(pose->pitch);
            roll.push_back(pose->roll);
        }
    }
    // The noise is seeded, so these are the figures bench_camera_pose reports.
    EXPECT_LT(spread(pitch), 0.3);
    EXPECT_LT(spread(roll), 0.2);
    std::cout << "still head spread: pitch " << spread(pitch) << "°, roll " << spread(roll)
              << "°\n";
}

TEST_P(CameraPhotos, FollowsTheLargestFaceAndFindsItAgainAfterLosingIt) {
    // The face cut out with some room around it, large on the right and
    // smaller on the left of a camera-sized frame; both too small for the
    // first, coarse look, so the closer look has to find and compare them.
    cv::Mat grey;
    cv::cvtColor(m_photo, grey, cv::COLOR_BGR2GRAY);
    const auto found = FaceTracker(s_model).track(grey);
    ASSERT_TRUE(found);
    double left = grey.cols, right = 0, top = grey.rows, bottom = 0;
    for (const Point2& p : *found) {
        left = std::min(left, p.x), right = std::max(right, p.x);
        top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    }
    const double side = 2.2 * std::max(right - left, bottom - top);
    const cv::Rect cut =
        cv::Rect(std::lround((left + right - side) / 2), std::lround((top + bottom - side) / 2),
                 std::lround(side), std::lround(side)) &
        cv::Rect(0, 0, grey.cols, grey.rows);
    cv::Mat big, small;
    cv::resize(grey(cut), big, cv::Size(330, 330), 0, 0, cv::INTER_AREA);
    cv::resize(grey(cut), small, cv::Size(250, 250), 0, 0, cv::INTER_AREA);
    cv::Mat scene(480, 640, CV_8UC1, cv::Scalar::all(90));
    small.copyTo(scene(cv::Rect(20, 120, small.cols, small.rows)));
    big.copyTo(scene(cv::Rect(300, 60, big.cols, big.rows)));
    const cv::Mat empty(scene.size(), scene.type(), cv::Scalar::all(90));

    FaceTracker tracker(s_model);
    const auto onLargest = [&](const std::optional<FaceLandmarks>& landmarks) {
        ASSERT_TRUE(landmarks);
        for (const Point2& p : *landmarks) {
            ASSERT_GT(p.x, 300);
        }
    };
    onLargest(tracker.track(scene));
    for (int i = 0; i < 12; ++i) {
        onLargest(tracker.track(scene)); // followed, and confirmed on the way
    }
    EXPECT_FALSE(tracker.track(empty)) << "no face in view: nothing";
    EXPECT_FALSE(tracker.track(empty));
    // Back within half a second at 10 frames a second.
    std::optional<FaceLandmarks> again;
    for (int i = 0; i < 5 && !again; ++i) {
        again = tracker.track(scene);
    }
    onLargest(again);
}

INSTANTIATE_TEST_SUITE_P(Portraits, CameraPhotos,
                         testing::Values("astronaut.png", "grace_hopper.jpg"),
                         [](const auto& info) {
                             return info.param.substr(0, info.param.find('.'));
                         });
