// backbeacon-camera as the app runs it: its exit statuses and error lines, and
// the datagrams a replayed picture produces, read with the app's own parser.
#include "OpentrackSender.h"
#include "PhotoMotion.h"
#include "engine/OpentrackDatagram.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <vector>

using namespace backbeacon;
using backbeacon::testing::UdpListener;

namespace {

constexpr double kDegrees = 180 / 3.141592653589793;

struct ToolRun {
    int exitCode = -1;
    QString errors;
    QString said;
    std::vector<std::vector<unsigned char>> datagrams;
};

ToolRun runToEnd(UdpListener& listener, const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(BACKBEACON_CAMERA_EXECUTABLE),
               QStringList{"--port", QString::number(listener.port())} + arguments);
    ToolRun run;
    while (!tool.waitForFinished(50) && tool.state() != QProcess::NotRunning) {
        for (auto& d : listener.drain()) {
            run.datagrams.push_back(std::move(d));
        }
    }
    for (auto& d : listener.drain()) {
        run.datagrams.push_back(std::move(d));
    }
    run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.errors = QString::fromUtf8(tool.readAllStandardError());
    run.said = QString::fromUtf8(tool.readAllStandardOutput());
    return run;
}

// The engine's roll, in degrees, of each datagram; fails on any the app
// would drop.
std::vector<double> engineRolls(const ToolRun& run) {
    std::vector<double> rolls;
    for (const auto& d : run.datagrams) {
        EXPECT_EQ(d.size(), kOpentrackDatagramSize);
        const auto sample = parseOpentrackDatagram(d.data(), d.size());
        EXPECT_TRUE(sample);
        if (sample) {
            rolls.push_back(sample->roll * kDegrees);
        }
    }
    return rolls;
}

class CameraTool : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_photo = camera::photos::loadPhoto("grace_hopper.jpg");
        ASSERT_FALSE(m_photo.empty()) << "scripts/test-photos.sh fetches the test portraits";
    }
    QString write(const QString& name, const cv::Mat& image) {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(cv::imwrite(path.toStdString(), image));
        return path;
    }

    QTemporaryDir m_dir;
    cv::Mat m_photo;
    UdpListener m_listener;
};

} // namespace

TEST_F(CameraTool, HelpListsOptionsAndExitStatuses) {
    QProcess tool;
    tool.start(QStringLiteral(BACKBEACON_CAMERA_EXECUTABLE), {"--help"});
    ASSERT_TRUE(tool.waitForFinished(10'000));
    EXPECT_EQ(tool.exitCode(), 0);
    const QString help = QString::fromUtf8(tool.readAllStandardOutput());
    for (const char* word :
         {"--device PATH", "--input", "--rate", "--port", "--model PATH", "--duration", " 0 ", "64",
          "66", "69", "71", "72", "74", "75  the camera is busy"}) {
        EXPECT_TRUE(help.contains(word)) << word;
    }
    EXPECT_TRUE(tool.readAllStandardError().isEmpty());
}

TEST_F(CameraTool, EachFailureHasItsStatusAndOneLineAndSendsNothing) {
    const QString photo = write("face.jpg", m_photo);
    const QString garbage = m_dir.filePath("garbage.avi");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    struct Case {
        QStringList arguments;
        int exitCode;
        QString says;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        const ToolRun run = runToEnd(m_listener, c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << what;
        EXPECT_TRUE(run.errors.startsWith("backbeacon-camera: ")) << run.errors.toStdString();
        EXPECT_EQ(run.errors.count('\n'), 1) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(c.says)) << run.errors.toStdString();
        EXPECT_TRUE(run.datagrams.empty()) << what;
        EXPECT_TRUE(run.said.isEmpty()) << "a failed start looks like a working camera";
    }
}

// The whole chain's signs: a head tilted toward the right shoulder (the photo
// turned counter-clockwise, as an unmirrored camera shows it) reaches the
// engine as positive roll.
TEST_F(CameraTool, ARightShoulderTiltReachesTheEngineAsPositiveRoll) {
    const QString level = write("level.png", m_photo);
    const QString tilted = write("tilted.png", camera::photos::rotated(m_photo, 15));
    const QStringList timing{"--rate", "10", "--duration", "1.5"};

    const ToolRun levelRun = runToEnd(m_listener, QStringList{"--input", level} + timing);
    const ToolRun tiltedRun = runToEnd(m_listener, QStringList{"--input", tilted} + timing);
    EXPECT_EQ(levelRun.exitCode, 0) << levelRun.errors.toStdString();
    EXPECT_EQ(tiltedRun.exitCode, 0) << tiltedRun.errors.toStdString();
    // The line the app takes as the sign that pictures come in.
    EXPECT_EQ(levelRun.said, "reading pictures from " + level + "\n");
    const std::vector<double> levelRolls = engineRolls(levelRun);
    const std::vector<double> tiltedRolls = engineRolls(tiltedRun);
    // 1.5 s at 10 frames a second.
    EXPECT_EQ(levelRolls.size(), 15u);
    ASSERT_EQ(tiltedRolls.size(), 15u);
    EXPECT_GT(tiltedRolls.back(), 10.0);
    EXPECT_NEAR(tiltedRolls.back() - levelRolls.back(), 15.0, 2.0);
}

TEST_F(CameraTool, AVideoPlaysAtItsOwnRateAndNoFaceSendsNothing) {
    const QString video = m_dir.filePath("head.avi");
    {
        cv::VideoWriter writer(video.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 20,
                               m_photo.size());
        ASSERT_TRUE(writer.isOpened());
        for (int i = 0; i < 20; ++i) {
            writer.write(camera::photos::withNoise(m_photo, 3, i));
        }
    }
    QElapsedTimer clock;
    clock.start();
    const ToolRun run = runToEnd(m_listener, {"--input", video});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_GE(clock.elapsed(), 1000) << "20 frames at 20 per second last a second";
    // Analysed at the default 10 a second: one frame in two.
    EXPECT_EQ(engineRolls(run).size(), 10u);

    const QString blank = write("blank.png", cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(120)));
    const ToolRun empty = runToEnd(m_listener, {"--input", blank, "--duration", "1"});
    EXPECT_EQ(empty.exitCode, 0) << empty.errors.toStdString();
    EXPECT_TRUE(empty.datagrams.empty());
}

TEST_F(CameraTool, StopsPromptlyOnSigterm) {
    const QString photo = write("face.png", m_photo);
    QProcess tool;
    tool.start(
        QStringLiteral(BACKBEACON_CAMERA_EXECUTABLE),
        {"--port", QString::number(m_listener.port()), "--input", photo, "--duration", "60"});
    QElapsedTimer waited;
    waited.start();
    while (m_listener.drain().empty() && waited.elapsed() < 20'000) {
        tool.waitForFinished(20);
    }
    ASSERT_EQ(tool.state(), QProcess::Running) << tool.readAllStandardError().toStdString();
    QElapsedTimer stopping;
    stopping.start();
    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(5'000));
    EXPECT_LT(stopping.elapsed(), 1000);
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
}
