#include "app/SingleInstance.h"

#include "Files.h"
#include "WaitFor.h"
#include "app/QuitSignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <future>

namespace backbeacon {
namespace {

// A later launch asks the running app to open its panel; the running app
// answers from its event loop while the later launch blocks. The lock and
// socket a crashed run left behind are taken over.
TEST(SingleInstanceTest, ALaterLaunchAsksTheRunningOneToOpenItsPanel) {
    for (const bool crashedBefore : {false, true}) {
        QTemporaryDir folder;
        if (crashedBefore) {
            testing::writeAll(folder.filePath("instance.lock"), "2147483000\nBackbeacon\n\n");
            testing::writeAll(folder.filePath("instance.socket"), "");
        }
        SingleInstance running(folder.path());
        ASSERT_EQ(running.claim(), SingleInstance::Role::primary) << crashedBefore;
        QSignalSpy opened(&running, &SingleInstance::openPanelRequested);
        SingleInstance later(folder.path());
        ASSERT_EQ(later.claim(), SingleInstance::Role::secondary);
        auto asked = std::async(std::launch::async, [&] { return later.askPrimaryToOpenPanel(); });
        EXPECT_TRUE(testing::waitFor([&] { return opened.count() == 1; }));
        EXPECT_TRUE(asked.get());
    }
}

TEST(SingleInstanceTest, OtherTalkOnTheSocketIsIgnored) {
    QTemporaryDir folder;
    SingleInstance instance(folder.path());
    ASSERT_EQ(instance.claim(), SingleInstance::Role::primary);
    QSignalSpy opened(&instance, &SingleInstance::openPanelRequested);
    for (const QByteArray& talk :
         {QByteArray("quit\n"), QByteArray("open-panel"), QByteArray("open-panels\n"),
          QByteArray(100000, 'x'), QByteArray("open-panel\nmore\n")}) {
        QLocalSocket socket;
        socket.connectToServer(instance.socketPath());
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(talk);
        socket.flush();
        testing::waitFor([&] { return socket.bytesToWrite() == 0; }, 5000);
        socket.disconnectFromServer();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QTest::qWait(300);
    // Only the exact request counts, even with something after it.
    EXPECT_EQ(opened.count(), 1);
}

TEST(SingleInstanceTest, WithoutAPrivateFolderTheAppRunsUnguarded) {
    EXPECT_EQ(SingleInstance(QString()).claim(), SingleInstance::Role::unguarded);
    QTemporaryDir folder;
    const QString missing = folder.filePath("gone");
    EXPECT_EQ(SingleInstance(missing).claim(), SingleInstance::Role::unguarded);
}

TEST(QuitSignalsTest, TerminationSignalsArriveOnTheEventLoop) {
    QuitSignals signals_;
    QSignalSpy quit(&signals_, &QuitSignals::quitRequested);
    ::raise(SIGTERM);
    ::raise(SIGINT);
    EXPECT_TRUE(testing::waitFor([&] { return quit.count() == 2; }));
    EXPECT_EQ(quit.at(0).at(0).toInt(), SIGTERM);
    EXPECT_EQ(quit.at(1).at(0).toInt(), SIGINT);
}

} // namespace
} // namespace backbeacon
