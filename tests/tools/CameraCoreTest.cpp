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
#include <vector>

using namespace backbeacon::camera;

namespace {

ParsedOptions parse(std::vector<std::string> arguments) {
    return parseCameraOptions(arguments);
}

} // namespace

TEST(CameraOptions, ReadsEachOptionInEitherSpelling) {
    // The app's port, the first camera that works and Debian's model unless
    // told otherwise.
    const ParsedOptions none = parse({});
    ASSERT_TRUE(none.options);
    EXPECT_EQ(none.options->port, 4242);
    EXPECT_EQ(none.options->device, "");
    EXPECT_FALSE(none.options->rateGiven);
    EXPECT_EQ(none.options->model, "/usr/share/dlib/shape_predictor_68_face_landmarks.dat");

    const ParsedOptions all = parse({"--input", "head.avi", "--rate=2.5", "--port", "5000",
                                     "--model=m.dat", "--duration", "4"});
    ASSERT_TRUE(all.options) << all.error;
    EXPECT_EQ(all.options->input, "head.avi");
    EXPECT_EQ(all.options->rate, 2.5);
    EXPECT_TRUE(all.options->rateGiven);
    EXPECT_EQ(all.options->port, 5000);
    EXPECT_EQ(all.options->model, "m.dat");
    EXPECT_EQ(all.options->durationSeconds, 4.0);

    const ParsedOptions device = parse({"--device=/dev/video2"});
    ASSERT_TRUE(device.options);
    EXPECT_EQ(device.options->device, "/dev/video2");
    EXPECT_TRUE(parse({"--help"}).options->help);
}

TEST(CameraOptions, RefusesWhatCannotBeMeant) {
    const std::vector<std::vector<std::string>> bad = {
        {"--rate", "0"},     {"--rate", "-3"},
        {"--rate", "nan"},   {"--rate", "61"},
        {"--rate", "10hz"},  {"--port", "0"},
        {"--port", "65536"}, {"--port", "42.5"},
        {"--port", ""},      {"--duration", "0"},
        {"--device", ""},    {"--model="},
        {"--rate"},          {"--frobnicate"},
        {"video.avi"},       {"--device", "/dev/video0", "--input", "a.avi"},
        {"-r", "5"},
    };
    for (const auto& arguments : bad) {
        std::string joined;
        for (const auto& a : arguments) {
            joined += a + ' ';
        }
        const ParsedOptions parsed = parse(arguments);
        EXPECT_FALSE(parsed.options) << joined;
        EXPECT_FALSE(parsed.error.empty()) << joined;
    }
}

TEST(OneEuroFilter, HoldsAStillNoisySignalStillFollowsAStepAndIgnoresTimeGoingBack) {
    OneEuroFilter filter({0.1, 0.05, 0.5});
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 1.0);
    double sum = 0, sumSquares = 0;
    int n = 0;
    for (int i = 0; i < 100; ++i) {
        const double out = filter.filter(noise(random), i * 0.1);
        if (i >= 20) {
            sum += out;
            sumSquares += out * out;
            ++n;
        }
    }
    const double spread = std::sqrt(sumSquares / n - (sum / n) * (sum / n));
    EXPECT_LT(spread, 0.5) << "a still head's noise must be at least halved";

    double out = 0;
    int frames = 0;
    for (; frames < 20 && std::fabs(out - 10) > 1; ++frames) {
        out = filter.filter(10, (100 + frames) * 0.1);
    }
    EXPECT_LE(frames, 4) << "a 10° turn must show within a few frames, not lag behind";

    // A fresh start takes the first value as it is; time standing still or
    // going back changes nothing.
    filter.reset();
    EXPECT_EQ(filter.filter(5, 1.0), 5);
    const double next = filter.filter(6, 1.1);
    EXPECT_GT(next, 5);
    EXPECT_LT(next, 6);
    EXPECT_EQ(filter.filter(100, 1.1), next);
    EXPECT_EQ(filter.filter(100, 0.5), next);
}

// The generic face turned and placed as given, seen by the camera the
// estimator assumes, is read back as that turn, in opentrack's signs.
TEST(HeadPoseEstimator, ReadsTurnsBackInOpentrackSigns) {
    struct Case {
        double cameraYaw, cameraPitch, cameraRoll; // R = Rz(roll) Ry(yaw) Rx(pitch)
        double yaw, pitch, roll;                   // opentrack
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, 0},
        // chin away from the camera: looking down, opentrack's pitch negative
        {0, 15, 0, 0, -15, 0},
        {0, -12, 0, 0, 12, 0},
        // clockwise on screen: toward the left shoulder, opentrack's roll positive
        {0, 0, 20, 0, 0, 20},
        {0, 0, -8, 0, 0, -8},
        // nose toward the image's left, the user's right
        {10, 0, 0, -10, 0, 0},
        {-6, 10, 15, 6, -10, 15},
    };
    const double rad = M_PI / 180;
    const int width = 640, height = 480;
    for (const Case& c : cases) {
        const cv::Matx33d rx(1, 0, 0, 0, std::cos(c.cameraPitch * rad),
                             -std::sin(c.cameraPitch * rad), 0, std::sin(c.cameraPitch * rad),
                             std::cos(c.cameraPitch * rad));
        const cv::Matx33d ry(std::cos(c.cameraYaw * rad), 0, std::sin(c.cameraYaw * rad), 0, 1, 0,
                             -std::sin(c.cameraYaw * rad), 0, std::cos(c.cameraYaw * rad));
        const cv::Matx33d rz(std::cos(c.cameraRoll * rad), -std::sin(c.cameraRoll * rad), 0,
                             std::sin(c.cameraRoll * rad), std::cos(c.cameraRoll * rad), 0, 0, 0,
                             1);
        const cv::Matx33d r = rz * ry * rx;
        const cv::Vec3d t(-30, 20, 550); // mm: a little left of and above the centre
        FaceLandmarks landmarks{};
        for (const FacePoint& p : genericFace()) {
            const cv::Vec3d seen = r * cv::Vec3d(p.x, p.y, p.z) + t;
            landmarks[p.landmark] = {width / 2.0 + width * seen[0] / seen[2],
                                     height / 2.0 + width * seen[1] / seen[2]};
        }
        HeadPoseEstimator estimator;
        const auto pose = estimator.estimate(landmarks, width, height);
        ASSERT_TRUE(pose);
        SCOPED_TRACE(testing::Message() << "yaw " << c.cameraYaw << " pitch " << c.cameraPitch
                                        << " roll " << c.cameraRoll);
        EXPECT_NEAR(pose->yaw, c.yaw, 0.01);
        EXPECT_NEAR(pose->pitch, c.pitch, 0.01);
        EXPECT_NEAR(pose->roll, c.roll, 0.01);
        // Position in cm: x toward the user's right (image left), y up.
        EXPECT_NEAR(pose->x, 3.0, 0.01);
        EXPECT_NEAR(pose->y, -2.0, 0.01);
        EXPECT_NEAR(pose->z, 55.0, 0.01);
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
    struct Case {
        const char* what;
        const std::vector<unsigned char>* bytes;
        std::size_t size;
        RawLayout layout;
        bool converts;
    };
    const Case cases[] = {
        {"yuyv", &yuyv, yuyv.size(), {3, 2, 8, true}, true},
        {"grey", &greyBytes, greyBytes.size(), {3, 2, 4, false}, true},
        {"yuyv, short", &yuyv, yuyv.size() - 1, {3, 2, 8, true}, false},
        {"rows narrower than the picture", &yuyv, yuyv.size(), {5, 2, 8, true}, false},
        {"no picture", &yuyv, yuyv.size(), {0, 0, 8, true}, false},
    };
    for (const Case& c : cases) {
        cv::Mat grey;
        EXPECT_EQ(greyFromRaw(c.bytes->data(), c.size, c.layout, grey), c.converts) << c.what;
        if (c.converts) {
            ASSERT_EQ(grey.type(), CV_8UC1) << c.what;
            EXPECT_EQ(cv::countNonZero(grey != expected), 0) << c.what;
        }
    }
}

namespace {

// A camera that gives `frames` blank frames, then says it was lost (or, for
// the last one a test opens, that it ended, to finish the run).
class ScriptedCamera final : public FrameSource {
public:
    ScriptedCamera(int frames, Read last) : m_left(frames), m_last(last) {}
    Read read(cv::Mat& image, double& seconds) override {
        if (m_left-- <= 0) {
            return m_last;
        }
        image = cv::Mat(480, 640, CV_8UC1, cv::Scalar(128));
        seconds = m_seconds += 0.1;
        return Read::Frame;
    }
    bool realTime() const override { return true; }

private:
    int m_left;
    Read m_last;
    double m_seconds = 0;
};

} // namespace

// Each opening answers from a script: a camera (lost after some frames, or
// ending the run), or a failure; the waits between attempts are recorded,
// not waited, and a stop may come during one.
TEST(CameraRun, RetriesABusyOrVanishedCameraThenGivesUpWithItsStatus) {
    enum Answer { Busy, Missing, Lost, Works };
    const struct {
        const char* what;
        std::vector<Answer> answers;
        ExitCode status;
        std::vector<double> waits;
        int opened;
        bool stopWhileWaiting = false;
    } cases[] = {
        {"no camera: no retry", {Missing}, ExitCode::NoCamera, {}, 1},
        {"busy at first, then free", {Busy, Busy, Works}, ExitCode::Done, {1, 2}, 3},
        {"busy for good",
         {Busy, Busy, Busy, Busy, Busy, Busy},
         ExitCode::CameraBusy,
         {1, 2, 4, 8},
         5},
        {"unplugged and back", {Lost, Missing, Works}, ExitCode::Done, {1}, 3},
        {"unplugged for good",
         {Lost, Missing, Missing, Missing, Missing, Missing},
         ExitCode::CameraLost,
         {1, 2, 4, 8},
         6},
        {"stopped while waiting", {Busy, Works}, ExitCode::Done, {1}, 1, true},
    };
    StopSignal stop;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t next = 0;
        std::vector<double> waits;
        const CameraAccess camera{
            [&](const std::string&, double) -> OpenedCamera {
                const Answer answer = next < c.answers.size() ? c.answers[next] : Missing;
                ++next;
                switch (answer) {
                case Busy:
                    return {nullptr, ExitCode::CameraBusy, "camera is in use"};
                case Missing:
                    return {nullptr, ExitCode::NoCamera, "no camera found"};
                case Lost:
                    return {std::make_unique<ScriptedCamera>(3, FrameSource::Read::Lost),
                            ExitCode::Done,
                            {}};
                case Works:
                    break;
                }
                return {std::make_unique<ScriptedCamera>(3, FrameSource::Read::End),
                        ExitCode::Done,
                        {}};
            },
            [&](double seconds) {
                waits.push_back(seconds);
                return !c.stopWhileWaiting;
            }};
        CameraOptions options;
        options.port = 9;
        std::string error;
        EXPECT_EQ(runCamera(options, stop, camera, error), c.status) << error;
        EXPECT_EQ(waits, c.waits);
        EXPECT_EQ(next, static_cast<std::size_t>(c.opened));
        if (c.status == ExitCode::CameraLost) {
            EXPECT_NE(error.find("stopped delivering"), std::string::npos) << error;
        }
    }
}
