// backbeacon-camera's pieces that need no picture: its command line, its
// smoothing, its reading of landmarks as a pose, and how a run holds on to a
// camera that is busy or goes away.
#include "backbeacon-camera/CameraOptions.h"
#include "backbeacon-camera/HeadPoseEstimator.h"
#include "backbeacon-camera/OneEuroFilter.h"
#include "backbeacon-camera/Runner.h"
#include "backbeacon-camera/StopSignal.h"
#include "backbeacon-camera/V4l2Camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/calib3d.hpp>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace backbeacon::camera;
using namespace std::string_literals;

namespace {

// A rotation by the given degrees about the axis the vector points along.
cv::Matx33d turn(double x, double y, double z) {
    cv::Matx33d r;
    cv::Rodrigues(cv::Vec3d(x, y, z) * (M_PI / 180), r);
    return r;
}

} // namespace

TEST(CameraOptions, ReadsEachOptionInEitherSpellingAndRefusesWhatCannotBeMeant) {
    using Arguments = std::vector<std::string>;
    const auto read = [](Arguments arguments) {
        const ParsedOptions parsed = parseCameraOptions(arguments);
        EXPECT_TRUE(parsed.options) << parsed.error;
        return parsed.options.value_or(CameraOptions{});
    };
    // The app's port and the first camera that works unless told otherwise.
    const CameraOptions none = read({}), o = read({"--input", "head.avi", "--rate=2.5", "--port",
                                                   "5000", "--model=m.dat", "--duration", "4"});
    EXPECT_EQ(std::tie(none.port, none.device, none.rateGiven), std::tuple(4242, ""s, false));
    EXPECT_EQ(std::tie(o.input, o.rate, o.rateGiven, o.port, o.model, o.durationSeconds),
              std::tuple("head.avi"s, 2.5, true, 5000, "m.dat"s, std::optional(4.0)));
    EXPECT_EQ(read({"--device=/dev/video2"}).device, "/dev/video2");
    EXPECT_TRUE(read({"--help"}).help);
    EXPECT_FALSE(
        parseCameraOptions(Arguments{"--device", "/dev/video0", "--input", "a.avi"}).options);
    for (const char* argument :
         {"--rate=0", "--rate=-3", "--rate=nan", "--rate=61", "--rate=10hz", "--port=0",
          "--port=65536", "--port=42.5", "--port=", "--duration=0",
          "--device=", "--model=", "--rate", "--frobnicate", "video.avi", "-r"}) {
        const ParsedOptions parsed = parseCameraOptions(Arguments{argument});
        EXPECT_FALSE(parsed.options || parsed.error.empty()) << argument;
    }
}

TEST(OneEuroFilter, HoldsAStillNoisySignalStillFollowsAStepAndIgnoresTimeGoingBack) {
    OneEuroFilter filter({0.1, 0.05, 0.5});
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 1.0);
    std::vector<double> out;
    for (int i = 0; i < 100; ++i) {
        out.push_back(filter.filter(noise(random), i * 0.1));
    }
    cv::Scalar mean, deviation;
    cv::meanStdDev(std::vector(out.begin() + 20, out.end()), mean, deviation);
    EXPECT_LT(deviation[0], 0.5) << "a still head's noise must be at least halved";
    int frames = 0;
    for (double out = 0; frames < 20 && std::fabs(out - 10) > 1; ++frames) {
        out = filter.filter(10, (100 + frames) * 0.1);
    }
    EXPECT_LE(frames, 4) << "a 10° turn must show within a few frames, not lag behind";

    // A fresh start takes the first value as it is; time standing still or
    // going back changes nothing.
    filter.reset();
    EXPECT_EQ(filter.filter(5, 1.0), 5);
    const double next = filter.filter(6, 1.1);
    EXPECT_TRUE(next > 5 && next < 6) << next;
    EXPECT_EQ(filter.filter(100, 1.1), next);
    EXPECT_EQ(filter.filter(100, 0.5), next);
}

// The generic face turned and placed as given, seen by the camera the
// estimator assumes, is read back as that turn, in opentrack's signs.
TEST(HeadPoseEstimator, ReadsTurnsBackInOpentrackSigns) {
    // Camera yaw, pitch, roll (R = Rz(roll) Ry(yaw) Rx(pitch)), then opentrack's:
    // chin away from the camera looks down, opentrack's pitch negative;
    // clockwise on screen is toward the left shoulder, opentrack's roll
    // positive; the nose toward the image's left is toward the user's right.
    const double cases[][6] = {
        {0, 0, 0, 0, 0, 0},   {0, 15, 0, 0, -15, 0}, {0, -12, 0, 0, 12, 0},   {0, 0, 20, 0, 0, 20},
        {0, 0, -8, 0, 0, -8}, {10, 0, 0, -10, 0, 0}, {-6, 10, 15, 6, -10, 15}};
    const int width = 640, height = 480;
    for (const auto& [cameraYaw, cameraPitch, cameraRoll, yaw, pitch, roll] : cases) {
        const cv::Matx33d r =
            turn(0, 0, cameraRoll) * turn(0, cameraYaw, 0) * turn(cameraPitch, 0, 0);
        const cv::Vec3d t(-30, 20, 550); // mm: a little left of and above the centre
        FaceLandmarks landmarks{};
        for (const FacePoint& p : genericFace()) {
            const cv::Vec3d seen = r * cv::Vec3d(p.x, p.y, p.z) + t;
            landmarks[p.landmark] = {width / 2.0 + width * seen[0] / seen[2],
                                     height / 2.0 + width * seen[1] / seen[2]};
        }
        const auto pose = HeadPoseEstimator().estimate(landmarks, width, height);
        ASSERT_TRUE(pose);
        // Position in cm: x toward the user's right (image left), y up.
        const cv::Vec6d got(pose->yaw, pose->pitch, pose->roll, pose->x, pose->y, pose->z);
        EXPECT_LT(cv::norm(got - cv::Vec6d(yaw, pitch, roll, 3, -2, 55)), 0.02)
            << cameraYaw << ", " << cameraPitch << ", " << cameraRoll << " read as " << got;
    }
}

// What the camera's bytes become: the luma of YUYV, GREY as it is, padded rows
// cut to the picture, and buffers too short for the picture refused.
TEST(V4l2Frames, BecomeGreyPictures) {
    // 3x2 pixels, rows padded to 8 bytes (YUYV) or 4 (GREY); 9 marks padding.
    const std::vector<unsigned char> yuyv = {10, 128, 20, 128, 30, 128, 9, 9,
                                             40, 128, 50, 128, 60, 128, 9, 9};
    const std::vector<unsigned char> greyBytes = {10, 20, 30, 9, 40, 50, 60, 9};
    const cv::Mat expected = (cv::Mat_<unsigned char>(2, 3) << 10, 20, 30, 40, 50, 60);
    const std::tuple<const char*, const std::vector<unsigned char>&, std::size_t, RawLayout, bool>
        cases[] = {
            {"yuyv", yuyv, yuyv.size(), {3, 2, 8, true}, true},
            {"grey", greyBytes, greyBytes.size(), {3, 2, 4, false}, true},
            {"yuyv, short", yuyv, yuyv.size() - 1, {3, 2, 8, true}, false},
            {"rows narrower than the picture", yuyv, yuyv.size(), {5, 2, 8, true}, false},
            {"no picture", yuyv, yuyv.size(), {0, 0, 8, true}, false},
        };
    for (const auto& [what, bytes, size, layout, converts] : cases) {
        cv::Mat grey;
        EXPECT_EQ(greyFromRaw(bytes.data(), size, layout, grey), converts) << what;
        // A picture of another type or size throws in the comparison.
        EXPECT_TRUE(!converts || cv::countNonZero(grey != expected) == 0) << what;
    }
}

namespace {

// A camera that gives 3 blank frames, then reports `last` (lost, or ended).
struct ScriptedCamera final : FrameSource {
    explicit ScriptedCamera(Read last) : last(last) {}
    Read read(cv::Mat& image, double& seconds) override {
        image = cv::Mat(480, 640, CV_8UC1, cv::Scalar(128));
        seconds = elapsed += 0.1;
        return elapsed < 0.35 ? Read::Frame : last;
    }
    bool realTime() const override { return true; }
    Read last;
    double elapsed = 0;
};

} // namespace

// Each opening answers from a script: a camera (lost after some frames, or
// ending the run), or a failure; the waits between attempts are recorded,
// not waited, and a stop may come during one.
TEST(CameraRun, RetriesABusyOrVanishedCameraThenGivesUpWithItsStatus) {
    using Answer = std::pair<ExitCode, FrameSource::Read>; // a camera when Done
    const Answer busy{ExitCode::CameraBusy, {}}, missing{ExitCode::NoCamera, {}},
        lost{ExitCode::Done, FrameSource::Read::Lost},
        works{ExitCode::Done, FrameSource::Read::End};
    // What each opening answers, the status, the waits, how many openings, and
    // whether a stop comes during a wait.
    const std::tuple<std::vector<Answer>, ExitCode, std::vector<double>, std::size_t, bool>
        cases[] = {
            {{missing}, ExitCode::NoCamera, {}, 1, false}, // no camera: no retry
            {{busy, busy, works}, ExitCode::Done, {1, 2}, 3, false},
            {{busy, busy, busy, busy, busy}, ExitCode::CameraBusy, {1, 2, 4, 8}, 5, false},
            {{lost, missing, works}, ExitCode::Done, {1}, 3, false}, // unplugged and back
            {{lost}, ExitCode::CameraLost, {1, 2, 4, 8}, 6, false},  // unplugged for good
            {{busy, works}, ExitCode::Done, {1}, 1, true},
        };
    StopSignal stop;
    for (const auto& [answers, status, expectedWaits, opened, stopWhileWaiting] : cases) {
        SCOPED_TRACE(::testing::PrintToString(expectedWaits));
        std::size_t next = 0;
        std::vector<double> waits;
        const auto open = [&](const std::string&, double) -> OpenedCamera {
            const auto [opens, last] = next < answers.size() ? answers[next] : missing;
            ++next;
            return {opens == ExitCode::Done ? std::make_unique<ScriptedCamera>(last) : nullptr,
                    opens, opens == ExitCode::Done ? "" : "no camera to be had"};
        };
        const auto wait = [&](double s) { return waits.push_back(s), !stopWhileWaiting; };
        CameraOptions options;
        options.port = 9;
        std::string error;
        EXPECT_EQ(runCamera(options, stop, {open, wait}, error), status) << error;
        EXPECT_EQ(std::pair(waits, next), std::pair(expectedWaits, opened));
        EXPECT_TRUE(status != ExitCode::CameraLost ||
                    error.find("stopped delivering") != std::string::npos)
            << error;
    }
}
