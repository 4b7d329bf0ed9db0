// The alert sound through the real libcanberra on a machine without a sound
// device, the way CI runs: alerts go on, and the failure is told once.
#include "notify/CanberraSoundPlayer.h"

#include "WaitFor.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <unistd.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

QMutex soundLogLock;
QStringList soundLog;

void recordSoundLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtDebugMsg && qstrcmp(context.category, "backbeacon.sound") == 0) {
        const QMutexLocker locker(&soundLogLock);
        soundLog << message;
    }
}

class CanberraSoundPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No sound device even where the machine has one: ALSA is sent to a
        // card that does not exist, and no sound server is reachable.
        qputenv("ALSA_CARD", "BackbeaconNoSuchCard");
        qputenv("PULSE_SERVER", "unix:/nonexistent/backbeacon-pulse");
        previous = qInstallMessageHandler(recordSoundLog);
        const QMutexLocker locker(&soundLogLock);
        soundLog.clear();
    }
    void TearDown() override { qInstallMessageHandler(previous); }

    QStringList logged() {
        const QMutexLocker locker(&soundLogLock);
        return soundLog;
    }

    QtMessageHandler previous = nullptr;
};

} // namespace

TEST_F(CanberraSoundPlayerTest, WithoutASoundDeviceAlertsGoOnAndTheFailureIsLoggedOnce) {
    // What the sound libraries write to stderr themselves, past our log.
    QTemporaryFile stderrCopy;
    ASSERT_TRUE(stderrCopy.open());
    std::fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    ASSERT_GE(savedStderr, 0);
    dup2(stderrCopy.handle(), STDERR_FILENO);

    CanberraSoundPlayer player;
    std::atomic<int> attempts{0};
    std::atomic<int> started{0};
    player.setAttemptHandler([&](bool ok) {
        started += ok ? 1 : 0;
        ++attempts;
    });
    for (int alert = 1; alert <= 3; ++alert) {
        QElapsedTimer call;
        call.start();
        player.play(QStringLiteral("message-new-instant"));
        EXPECT_LT(call.elapsed(), 50) << "alert " << alert << " waited for the sound";
        EXPECT_TRUE(waitFor([&] { return attempts == alert; })) << "alert " << alert;
    }
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    stderrCopy.seek(0); // the shared offset is where the last write ended
    EXPECT_EQ(stderrCopy.readAll().toStdString(), "");

    EXPECT_EQ(started, 0) << "a sound started without a sound device";
    ASSERT_EQ(logged().size(), 1) << logged().join(u'\n').toStdString();
    EXPECT_TRUE(logged().constFirst().startsWith(QStringLiteral("alert sound not played")))
        << logged().constFirst().toStdString();
}

TEST_F(CanberraSoundPlayerTest, GoingAwayWithASoundPendingEndsCleanly) {
    std::atomic<int> attempts{0};
    {
        CanberraSoundPlayer player;
        player.setAttemptHandler([&](bool) { ++attempts; });
        player.play(QStringLiteral("message-new-instant"));
    }
    // The attempt was either finished or never begun; nothing runs after the player.
    const int seen = attempts;
    EXPECT_LE(seen, 1);
    QTest::qWait(50);
    EXPECT_EQ(attempts, seen);
}
