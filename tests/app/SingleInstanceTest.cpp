#include "app/SingleInstance.h"

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

// A later launch on `folder` asks `running` to open its panel. The running
// app answers from its event loop while the later launch blocks.
void expectPanelOpenedByALaterLaunch(const QString& folder, SingleInstance& running) {
    QSignalSpy opened(&running, &SingleInstance::openPanelRequested);
    SingleInstance later(folder);
    ASSERT_EQ(later.claim(), SingleInstance::Role::secondary);
    auto asked = std::async(std::launch::async, [&] { return later.askPrimaryToOpenPanel(); });
    EXPECT_TRUE(testing::waitFor([&] { return opened.count() == 1; }));
    EXPECT_TRUE(asked.get());
}

TEST(SingleInstanceTest, ALaterLaunchAsksTheRunningOneToOpenItsPanel) {
    QTemporaryDir folder;
    SingleInstance first(folder.path());
    ASSERT_EQ(first.claim(), SingleInstance::Role::primary);
    expectPanelOpenedByALaterLaunch(folder.path(), first);
}

TEST(SingleInstanceTest, TheLockOfAProcessThatIsGoneIsTakenOver) {
    QTemporaryDir folder;
    // A lock left by a crashed run, and its socket.
    QFile lock(folder.filePath("instance.lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("2147483000\nBackbeacon\n\n");
    lock.close();
    QFile stale(folder.filePath("instance.socket"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    SingleInstance instance(folder.path());
    EXPECT_EQ(instance.claim(), SingleInstance::Role::primary);
    expectPanelOpenedByALaterLaunch(folder.path(), instance);
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
