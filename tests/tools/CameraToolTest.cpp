// backbeacon-camera on real portraits (scripts/test-photos.sh fetches them):
// its tracking of heads moved by known amounts, then the tool as the app runs
// it, its datagrams read with the app's own parser.
#include "PhotoMotion.h"
#include "ToolRun.h"
#include "backbeacon-camera/FaceTracker.h"
#include "backbeacon-camera/HeadPipeline.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <tuple>
#include <vector>

using namespace backbeacon;
using namespace backbeacon::camera;
using namespace backbeacon::testing;

namespace {

class CameraPhotos : public ::testing::TestWithParam<std::string> {
protected:
    // About a second to load: once for each suite here.
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

// The tool run on one portrait.
class CameraTool : public CameraPhotos {
protected:
    QString write(const QString& name, const cv::Mat& image) {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(cv::imwrite(path.toStdString(), image));
        return path;
    }
    ToolRun run(const QStringList& arguments, bool terminate = false) {
        return runTool(BACKBEACON_CAMERA_EXECUTABLE, arguments, &m_listener, terminate);
    }

    QTemporaryDir m_dir;
    UdpListener m_listener;
};

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
    std::vector<cv::Vec2d> poses; // pitch, roll once the filters have settled
    for (int i = 0; i < 50; ++i) {
        const auto pose = pipeline.process(photos::withNoise(m_photo, 3, i + 1), i * 0.1);
        ASSERT_TRUE(pose) << "frame " << i;
        poses.emplace_back(pose->pitch, pose->roll);
    }
    cv::Scalar mean, spread;
    cv::meanStdDev(std::vector(poses.begin() + 10, poses.end()), mean, spread);
    EXPECT_LT(spread[0], 0.3);
    EXPECT_LT(spread[1], 0.2);
}

// The face cut out with room around it, large on the right and smaller on the
// left of a camera-sized frame, both too small for the first, coarse look: the
// closer look has to find and compare them, and find the face again after a
// frame without it, within half a second at 10 frames a second.
TEST_P(CameraPhotos, FollowsTheLargestFaceAndFindsItAgainAfterLosingIt) {
    cv::Mat grey, big, small;
    cv::cvtColor(m_photo, grey, cv::COLOR_BGR2GRAY);
    auto found = FaceTracker(s_model).track(grey);
    ASSERT_TRUE(found);
    cv::Mat points(static_cast<int>(found->size()), 2, CV_64F, found->data());
    points.convertTo(points, CV_32F);
    const cv::Rect face = cv::boundingRect(points.reshape(2));
    const int side = static_cast<int>(2.2 * std::max(face.width, face.height));
    const cv::Mat cut = grey(
        cv::Rect((face.tl() + face.br()) / 2 - cv::Point(side, side) / 2, cv::Size(side, side)) &
        cv::Rect(0, 0, grey.cols, grey.rows));
    cv::Mat scene(480, 640, CV_8UC1, cv::Scalar::all(90)), empty = scene.clone();
    cv::resize(cut, small, cv::Size(250, 250), 0, 0, cv::INTER_AREA);
    cv::resize(cut, big, cv::Size(330, 330), 0, 0, cv::INTER_AREA);
    small.copyTo(scene(cv::Rect(20, 120, 250, 250)));
    big.copyTo(scene(cv::Rect(300, 60, 330, 330)));
    // 13 frames found, followed and confirmed on the largest (on the right),
    // 2 without a face, then 5 to find it again: '+' on it, '-' none, 'x' else.
    FaceTracker tracker(s_model);
    const auto onRight = [](const Point2& p) { return p.x > 300; };
    std::string seen;
    for (int i = 0; i < 20; ++i) {
        const auto l = tracker.track(i == 13 || i == 14 ? empty : scene);
        seen += !l ? '-' : std::all_of(l->begin(), l->end(), onRight) ? '+' : 'x';
    }
    EXPECT_EQ(seen.substr(0, 15), std::string(13, '+') + "--") << seen;
    EXPECT_NE(seen.find('+', 15), std::string::npos) << seen;
}

INSTANTIATE_TEST_SUITE_P(Portraits, CameraPhotos,
                         ::testing::Values("astronaut.png", "grace_hopper.jpg"),
                         [](const auto& info) {
                             return info.param.substr(0, info.param.find('.'));
                         });

// --help lists the options and exit statuses. A failed start says why in one
// line, with its own status, and neither sends nor says anything the app would
// take for a working camera.
TEST_P(CameraTool, HelpAndEachFailureWithItsStatusAndOneLineSendingNothing) {
    const ToolRun help = run({"--help"});
    EXPECT_TRUE(help.exitCode == 0 && help.said.contains("--device PATH") &&
                help.said.contains("75  the camera is busy"))
        << help.said.toStdString();
    const QString photo = write("face.jpg", m_photo), garbage = m_dir.filePath("garbage.avi");
    std::ofstream(garbage.toStdString()) << std::string(4096, 'x');
    const std::tuple<QStringList, int, QString> cases[] = {
        {{"--rate", "0"}, 64, "--rate"},
        {{"--frobnicate"}, 64, "--frobnicate"},
        {{"--port", "99999"}, 64, "--port"},
        {{"--device", "/nonexistent/video7"}, 69, "/nonexistent/video7"},
        {{"--device", "/dev/null"}, 69, "not a video camera"},
        {{"--input", m_dir.filePath("missing.avi")}, 66, "missing.avi"},
        {{"--input", garbage}, 66, "garbage.avi"},
        {{"--input", photo, "--model", m_dir.filePath("none.dat")}, 72, "none.dat"},
        {{"--input", photo, "--model", garbage}, 72, "garbage.avi"},
    };
    for (const auto& [arguments, exitCode, says] : cases) {
        const ToolRun failed = run(arguments);
        EXPECT_EQ(failed.exitCode, exitCode) << arguments.join(' ').toStdString();
        EXPECT_TRUE(failed.errors.startsWith("backbeacon-camera: ") &&
                    failed.errors.count('\n') == 1 && failed.errors.contains(says) &&
                    failed.samples.empty() && failed.said.isEmpty())
            << failed.errors.toStdString() << failed.said.toStdString();
    }
}

// The whole chain's signs: a head tilted toward the right shoulder (the photo
// turned counter-clockwise, as an unmirrored camera shows it) reaches the
// engine as positive roll, one datagram a frame at 10 frames a second.
TEST_P(CameraTool, ARightShoulderTiltReachesTheEngineAsPositiveRoll) {
    const auto level = photos::poseOf(s_model, m_photo); // opentrack's roll is left-positive
    ASSERT_TRUE(level);
    const QString tilted = write("tilted.png", photos::rotated(m_photo, 15));
    const ToolRun tiltedRun = run({"--input", tilted, "--rate", "10", "--duration", "1.5"});
    // The line the app takes as the sign that pictures come in.
    EXPECT_TRUE(tiltedRun.exitCode == 0 &&
                tiltedRun.said == "reading pictures from " + tilted + "\n")
        << tiltedRun.said.toStdString() << tiltedRun.errors.toStdString();
    ASSERT_EQ(tiltedRun.samples.size(), 15u);
    EXPECT_NEAR(tiltedRun.samples.back().roll * 180 / M_PI, 15.0 - level->roll, 2.0);
}

// A video plays at its own rate and is analysed at the default 10 frames a
// second (one frame in two); a picture with no face sends nothing.
TEST_P(CameraTool, AVideoPlaysAtItsOwnRateNoFaceSendsNothingAndSigtermStops) {
    const QString video = m_dir.filePath("head.avi");
    cv::VideoWriter writer(video.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 20,
                           m_photo.size());
    ASSERT_TRUE(writer.isOpened());
    for (int i = 0; i < 20; ++i) {
        writer.write(photos::withNoise(m_photo, 3, i));
    }
    writer.release();
    const ToolRun played = run({"--input", video});
    EXPECT_EQ(played.exitCode, 0) << played.errors.toStdString();
    EXPECT_GE(played.ms, 1000) << "20 frames at 20 per second last a second";
    EXPECT_EQ(played.samples.size(), 10u);
    const QString blank = write("blank.png", cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(120)));
    const ToolRun empty = run({"--input", blank, "--duration", "1"});
    EXPECT_TRUE(empty.exitCode == 0 && empty.samples.empty()) << empty.errors.toStdString();
    // A run stops promptly and cleanly on SIGTERM.
    const ToolRun stopped = run({"--input", write("face.png", m_photo), "--duration", "60"}, true);
    EXPECT_TRUE(stopped.exitCode == 0 && stopped.ms < 1000)
        << stopped.ms << " ms: " << stopped.errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Portrait, CameraTool, ::testing::Values("grace_hopper.jpg"));
