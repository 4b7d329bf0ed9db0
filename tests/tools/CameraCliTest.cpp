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

#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <tuple>
#include <vector>

using namespace backbeacon;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString errors, said;
    std::vector<double> rolls; // the engine's, in degrees, one for each datagram
};

class CameraTool : public ::testing::Test {
protected:
    void SetUp() override {
        m_photo = camera::photos::loadPhoto("grace_hopper.jpg");
        ASSERT_FALSE(m_photo.empty()) << "scripts/test-photos.sh fetches the test portraits";
    }
    QString write(const QString& name, const cv::Mat& image) {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(cv::imwrite(path.toStdString(), image));
        return path;
    }
    // Runs the tool to its end, gathering what reached the listener meanwhile.
    ToolRun run(const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral(BACKBEACON_CAMERA_EXECUTABLE),
                   QStringList{"--port", QString::number(m_listener.port())} + arguments);
        ToolRun run;
        for (bool running = true; running;) {
            running = !tool.waitForFinished(50) && tool.state() != QProcess::NotRunning;
            for (const auto& d : m_listener.drain()) {
                const auto sample = parseOpentrackDatagram(d.data(), d.size());
                EXPECT_TRUE(sample) << "the app would drop this datagram";
                run.rolls.push_back(sample ? sample->roll * 180 / M_PI : NAN);
            }
        }
        run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        run.errors = QString::fromUtf8(tool.readAllStandardError());
        run.said = QString::fromUtf8(tool.readAllStandardOutput());
        return run;
    }

    QTemporaryDir m_dir;
    cv::Mat m_photo;
    backbeacon::testing::UdpListener m_listener;
};

} // namespace

TEST_F(CameraTool, HelpListsOptionsAndExitStatuses) {
    const ToolRun help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.errors.isEmpty());
    for (const char* word : {"--device PATH", "--input", "--rate", "--model PATH", "--duration",
                             "72", "75  the camera is busy"}) {
        EXPECT_TRUE(help.said.contains(word)) << word;
    }
}

// A failed start says why in one line, with its own status, and neither sends
// nor says anything the app would take for a working camera.
TEST_F(CameraTool, EachFailureHasItsStatusAndOneLineAndSendsNothing) {
    const QString photo = write("face.jpg", m_photo);
    const QString garbage = m_dir.filePath("garbage.avi");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096);
    file.close();
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
                    failed.errors.count('\n') == 1 && failed.errors.contains(says))
            << failed.errors.toStdString();
        EXPECT_TRUE(failed.rolls.empty() && failed.said.isEmpty()) << failed.said.toStdString();
    }
}

// The whole chain's signs: a head tilted toward the right shoulder (the photo
// turned counter-clockwise, as an unmirrored camera shows it) reaches the
// engine as positive roll, one datagram a frame at 10 frames a second.
TEST_F(CameraTool, ARightShoulderTiltReachesTheEngineAsPositiveRoll) {
    const QString level = write("level.png", m_photo);
    const QStringList timing{"--rate", "10", "--duration", "1.5"};
    const ToolRun levelRun = run(QStringList{"--input", level} + timing);
    const ToolRun tiltedRun = run(
        QStringList{"--input", write("tilted.png", camera::photos::rotated(m_photo, 15))} + timing);
    EXPECT_EQ(std::pair(levelRun.exitCode, tiltedRun.exitCode), std::pair(0, 0))
        << tiltedRun.errors.toStdString();
    // The line the app takes as the sign that pictures come in.
    EXPECT_EQ(levelRun.said, "reading pictures from " + level + "\n");
    EXPECT_EQ(levelRun.rolls.size(), 15u);
    ASSERT_EQ(tiltedRun.rolls.size(), 15u);
    EXPECT_GT(tiltedRun.rolls.back(), 10.0);
    EXPECT_NEAR(tiltedRun.rolls.back() - levelRun.rolls.back(), 15.0, 2.0);
}

// A video plays at its own rate and is analysed at the default 10 frames a
// second (one frame in two); a picture with no face sends nothing.
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
    const ToolRun played = run({"--input", video});
    EXPECT_EQ(played.exitCode, 0) << played.errors.toStdString();
    EXPECT_GE(clock.elapsed(), 1000) << "20 frames at 20 per second last a second";
    EXPECT_EQ(played.rolls.size(), 10u);
    const QString blank = write("blank.png", cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(120)));
    const ToolRun empty = run({"--input", blank, "--duration", "1"});
    EXPECT_EQ(empty.exitCode, 0) << empty.errors.toStdString();
    EXPECT_TRUE(empty.rolls.empty());
}

TEST_F(CameraTool, StopsPromptlyOnSigterm) {
    QProcess tool;
    tool.start(QStringLiteral(BACKBEACON_CAMERA_EXECUTABLE),
               {"--port", QString::number(m_listener.port()), "--input", write("face.png", m_photo),
                "--duration", "60"});
    QElapsedTimer clock;
    clock.start();
    while (m_listener.drain().empty() && clock.elapsed() < 20'000) {
        tool.waitForFinished(20);
    }
    ASSERT_EQ(tool.state(), QProcess::Running) << tool.readAllStandardError().toStdString();
    clock.restart();
    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(5'000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
}
