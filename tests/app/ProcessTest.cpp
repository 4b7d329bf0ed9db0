#include "Files.h"
#include "WaitFor.h"
#include "app/QtProcessLauncher.h"
#include "app/SingleInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <optional>

namespace backbeacon::testing {
namespace {

// Gone, or a zombie nobody has reaped yet: either way it holds nothing.
bool processEnded(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const auto close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

// What a child said and how it ended.
struct Child {
    Child(QtProcessLauncher& launcher, const QStringList& command)
        : handle(launcher.launch(command.value(0), command.mid(1),
                                 {.said = [this](const QString& line) { lines << line; },
                                  .exited = [this](const ProcessExit& e) { exit = e; }})) {}

    QStringList lines;
    std::optional<ProcessExit> exit;
    std::unique_ptr<ChildProcess> handle;
};

// Each ending is reported from the event loop, never from inside launch().
TEST(QtProcessLauncherTest, ReportsLinesAndHowTheChildEndedUnlessDropped) {
    QtProcessLauncher launcher;
    const std::pair<QStringList, ProcessExit::Kind> children[] = {
        {{"/bin/sh", "-c",
          "echo reading pictures; echo warming up >&2; "
          "echo 'backbeacon-camera: no camera found' >&2; exit 69"},
         ProcessExit::Kind::exited},
        {{"/bin/sh", "-c", "kill -SEGV $$"}, ProcessExit::Kind::crashed},
        {{"/nonexistent/backbeacon-camera"}, ProcessExit::Kind::failedToStart},
        {{""}, ProcessExit::Kind::failedToStart}};
    for (const auto& [command, kind] : children) {
        Child child(launcher, command);
        EXPECT_FALSE(child.exit) << "called back from within launch()";
        ASSERT_TRUE(waitFor([&] { return child.exit.has_value(); }));
        EXPECT_EQ(child.exit->kind, kind) << command.join(' ').toStdString();
        if (kind == ProcessExit::Kind::exited) {
            EXPECT_EQ(child.lines, QStringList("reading pictures"));
            EXPECT_EQ(child.exit->code, 69);
            EXPECT_EQ(child.exit->lastMessage, "backbeacon-camera: no camera found");
        }
    }
    // Dropping the handle stops the child, and says nothing of it.
    Child child(launcher, {"/bin/sh", "-c", "echo $$; exec sleep 30"});
    ASSERT_TRUE(waitFor([&] { return !child.lines.isEmpty(); }));
    const qint64 pid = child.lines.first().toLongLong();
    ASSERT_GT(pid, 0);
    child.handle.reset();
    EXPECT_TRUE(processEnded(pid));
    QTest::qWait(100);
    EXPECT_FALSE(child.exit.has_value());
}

// The app may be killed outright (SIGKILL, a crash): its camera tool must not
// stay behind holding the camera.
TEST(QtProcessLauncherTest, TheChildDiesWithTheAppHoweverItDies) {
    QProcess app;
    app.start(QStringLiteral(BACKBEACON_LAUNCHER_HARNESS), {});
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
    const QString app = root.filePath("build/src/app");
    QDir().mkpath(app);
    EXPECT_EQ(findCameraTool(app), QString());
    for (const char* where : {"build/tools/backbeacon-camera", "build/src/app"}) {
        const QString tool = root.filePath(QString(where) + "/backbeacon-camera");
        writeAll(tool, "");
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(findCameraTool(app), QFileInfo(tool).canonicalFilePath()) << where;
    }
}

// A later launch asks the running app to open its panel and blocks while the
// running app answers from its event loop; a crashed run's lock and socket are
// taken over. Other talk on the socket is ignored; the request counts even
// with something after it.
TEST(SingleInstanceTest, ALaterLaunchAsksTheRunningOneToOpenItsPanel) {
    for (const bool crashedBefore : {false, true}) {
        QTemporaryDir folder;
        if (crashedBefore) {
            writeAll(folder.filePath("instance.lock"), "2147483000\nBackbeacon\n\n");
            writeAll(folder.filePath("instance.socket"), "");
        }
        SingleInstance running(folder.path());
        ASSERT_EQ(running.claim(), SingleInstance::Role::primary) << crashedBefore;
        QSignalSpy opened(&running, &SingleInstance::openPanelRequested);
        SingleInstance later(folder.path());
        ASSERT_EQ(later.claim(), SingleInstance::Role::secondary);
        auto asked = std::async(std::launch::async, [&] { return later.askPrimaryToOpenPanel(); });
        EXPECT_TRUE(waitFor([&] { return opened.count() == 1; }));
        EXPECT_TRUE(asked.get());
        for (const QByteArray& talk :
             {QByteArray("quit\n"), QByteArray("open-panel"), QByteArray("open-panels\n"),
              QByteArray(100000, 'x'), QByteArray("open-panel\nmore\n")}) {
            QLocalSocket socket;
            socket.connectToServer(running.socketPath());
            ASSERT_TRUE(socket.waitForConnected(2000));
            socket.write(talk);
            waitFor([&] { return socket.bytesToWrite() == 0; }, 5000);
            socket.disconnectFromServer();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        QTest::qWait(300);
        EXPECT_EQ(opened.count(), 2);
    }
    // Without a private folder there is nothing to guard with.
    EXPECT_EQ(SingleInstance(QString()).claim(), SingleInstance::Role::unguarded);
    EXPECT_EQ(SingleInstance("/nonexistent/gone").claim(), SingleInstance::Role::unguarded);
}

} // namespace
} // namespace backbeacon::testing
