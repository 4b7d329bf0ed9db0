// The camera's head tracking on real portraits moved by known amounts (see
// scripts/test-photos.sh for where they come from).
#include "PhotoMotion.h"
#include "backbeacon-camera/FaceTracker.h"
#include "backbeacon-camera/HeadPipeline.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
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
        ASSERT_FALSE(m_photo.empty()) << GetParam() << " is missing; scripts/test-photos.sh";
    }

    static inline std::shared_ptr<const FaceModel> s_model;
    cv::Mat m_photo;
};

double spread(const std::vector<double>& values) {
    cv::Scalar mean, deviation;
    cv::meanStdDev(values, mean, deviation);
    return deviation[0];
}

} // namespace

// Turned counter-clockwise on screen, the head tilts toward the right
// shoulder: opentrack's roll goes negative by the turn. Tilted top toward the
// camera, it looks down: opentrack's pitch falls with each step.
TEST_P(CameraPhotos, RollFollowsTheTurnAndPitchTheTiltOfThePicture) {
    const auto level = photos::poseOf(s_model, m_photo);
    const auto row = photos::faceMiddleRow(s_model, m_photo);
    ASSERT_TRUE(level && row);
    double lastPitch = INFINITY;
    for (double degrees : {-20.0, -10.0, 5.0, 20.0}) {
        const auto turned = photos::poseOf(s_model, photos::rotated(m_photo, degrees));
        const auto tilted = photos::poseOf(s_model, photos::tilted(m_photo, degrees, *row));
        ASSERT_TRUE(turned && tilted) << degrees;
        EXPECT_NEAR(turned->roll - level->roll, -degrees, 1.5) << degrees;
        EXPECT_LT(tilted->pitch, lastPitch) << degrees;
        lastPitch = tilted->pitch;
    }
}

// The noise is seeded, so these are the figures bench_camera_pose reports.
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
    EXPECT_LT(spread(pitch), 0.3);
    EXPECT_LT(spread(roll), 0.2);
}

// The face cut out with room around it, large on the right and smaller on the
// left of a camera-sized frame, both too small for the first, coarse look: the
// closer look has to find and compare them, and find the face again after a
// frame without it, within half a second at 10 frames a second.
TEST_P(CameraPhotos, FollowsTheLargestFaceAndFindsItAgainAfterLosingIt) {
    cv::Mat grey;
    cv::cvtColor(m_photo, grey, cv::COLOR_BGR2GRAY);
    const auto found = FaceTracker(s_model).track(grey);
    ASSERT_TRUE(found);
    std::vector<cv::Point2f> points;
    for (const Point2& p : *found) {
        points.emplace_back(p.x, p.y);
    }
    const cv::Rect face = cv::boundingRect(points);
    const int side = static_cast<int>(2.2 * std::max(face.width, face.height));
    const cv::Mat cut = grey(cv::Rect(face.x + face.width / 2 - side / 2,
                                      face.y + face.height / 2 - side / 2, side, side) &
                             cv::Rect(0, 0, grey.cols, grey.rows));
    cv::Mat scene(480, 640, CV_8UC1, cv::Scalar::all(90)), big, small;
    cv::resize(cut, big, cv::Size(330, 330), 0, 0, cv::INTER_AREA);
    cv::resize(cut, small, cv::Size(250, 250), 0, 0, cv::INTER_AREA);
    small.copyTo(scene(cv::Rect(20, 120, small.cols, small.rows)));
    big.copyTo(scene(cv::Rect(300, 60, big.cols, big.rows)));
    const cv::Mat empty(scene.size(), scene.type(), cv::Scalar::all(90));

    FaceTracker tracker(s_model);
    const auto onLargest = [](const std::optional<FaceLandmarks>& landmarks) {
        ASSERT_TRUE(landmarks);
        for (const Point2& p : *landmarks) {
            ASSERT_GT(p.x, 300);
        }
    };
    for (int i = 0; i < 13; ++i) {
        onLargest(tracker.track(scene)); // found, followed and confirmed on the way
    }
    EXPECT_FALSE(tracker.track(empty)) << "no face in view: nothing";
    EXPECT_FALSE(tracker.track(empty));
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
