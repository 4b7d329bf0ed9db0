#include "app/QtProcessLauncher.h"

#include "Files.h"
#include "WaitFor.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>

namespace backbeacon {
namespace {

using testing::waitFor;

// Gone, or a zombie nobody has reaped yet: either way it holds nothing.
bool processEnded(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray line = stat.readAll();
    const auto close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

struct Heard {
    QStringList lines;
    std::optional<ProcessExit> exit;
    ProcessLauncher::Handlers handlers() {
        return {.said = [this](const QString& line) { lines << line; },
                .exited = [this](const ProcessExit& e) { exit = e; }};
    }
};

std::unique_ptr<ChildProcess> shell(QtProcessLauncher& launcher, const char* script, Heard& heard) {
    return launcher.launch(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"), QString::fromUtf8(script)}, heard.handlers());
}

TEST(QtProcessLauncherTest, ReportsLinesTheExitStatusAndTheLastErrorLine) {
    QtProcessLauncher launcher;
    Heard heard;
    const auto child = shell(launcher,
                             "echo reading pictures; echo warming up >&2; "
                             "echo 'backbeacon-camera: no camera found' >&2; exit 69",
                             heard);
    ASSERT_TRUE(waitFor([&] { return heard.exit.has_value(); }));
    EXPECT_EQ(heard.lines, QStringList("reading pictures"));
    EXPECT_EQ(heard.exit->kind, ProcessExit::Kind::exited);
    EXPECT_EQ(heard.exit->code, 69);
    EXPECT_EQ(heard.exit->lastMessage, "backbeacon-camera: no camera found");

    Heard killed;
    const auto crashing = shell(launcher, "kill -SEGV $$", killed);
    ASSERT_TRUE(waitFor([&] { return killed.exit.has_value(); }));
    EXPECT_EQ(killed.exit->kind, ProcessExit::Kind::crashed);
}

TEST(QtProcessLauncherTest, AMissingToolIsReportedLaterNeverInsideLaunch) {
    QtProcessLauncher launcher;
    for (const QString& program : {QStringLiteral("/nonexistent/backbeacon-camera"), QString()}) {
        Heard heard;
        const auto child = launcher.launch(program, {}, heard.handlers());
        EXPECT_FALSE(heard.exit.has_value()) << "called back from within launch()";
        ASSERT_TRUE(waitFor([&] { return heard.exit.has_value(); }));
        EXPECT_EQ(heard.exit->kind, ProcessExit::Kind::failedToStart);
    }
}

TEST(QtProcessLauncherTest, DroppingTheHandleStopsTheChildSilently) {
    QtProcessLauncher launcher;
    Heard heard;
    auto child = shell(launcher, "echo $$; exec sleep 30", heard);
    ASSERT_TRUE(waitFor([&] { return !heard.lines.isEmpty(); }));
    const qint64 pid = heard.lines.first().toLongLong();
    ASSERT_GT(pid, 0);
    child.reset();
    EXPECT_TRUE(processEnded(pid));
    QTest::qWait(100);
    EXPECT_FALSE(heard.exit.has_value());
}

// The app may be killed outright (SIGKILL, a crash): its camera tool must not
// stay behind holding the camera.
TEST(QtProcessLauncherTest, TheChildDiesWithTheAppHoweverItDies) {
    QProcess app;
    app.start(QStringLiteral(BACKBEACON_LAUNCHER_HARNESS), {});
    ASSERT_TRUE(app.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return app.canReadLine(); }));
    const qint64 pid = app.readLine().trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(processEnded(pid));
    ::kill(static_cast<pid_t>(app.processId()), SIGKILL);
    ASSERT_TRUE(app.waitForFinished());
    EXPECT_TRUE(waitFor([&] { return processEnded(pid); }, 5000));
}

TEST(QtProcessLauncherTest, TheCameraToolIsFoundBesideTheAppOrInTheBuildTree) {
    QTemporaryDir root;
    const auto makeTool = [&](const QString& relative) {
        const QString path = root.filePath(relative);
        testing::writeAll(path, "");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        return QFileInfo(path).canonicalFilePath();
    };
    const QString app = root.filePath(QStringLiteral("build/src/app"));
    QDir().mkpath(app);
    EXPECT_EQ(findCameraTool(app), QString());
    const QString inBuild =
        makeTool(QStringLiteral("build/tools/backbeacon-camera/backbeacon-camera"));
    EXPECT_EQ(findCameraTool(app), inBuild);
    const QString beside = makeTool(QStringLiteral("build/src/app/backbeacon-camera"));
    EXPECT_EQ(findCameraTool(app), beside);
}

} // namespace
} // namespace backbeacon
