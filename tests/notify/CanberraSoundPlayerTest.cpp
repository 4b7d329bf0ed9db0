// The alert sound through the real libcanberra on a machine without a sound
// device, the way CI runs: alerts go on, and the failure is told once.
#include "notify/CanberraSoundPlayer.h"

#include "WaitFor.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <atomic>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

QMutex soundLogLock;
QStringList soundLog;

void recordSoundLog(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (qstrcmp(context.category, "backbeacon.sound") == 0) {
        const QMutexLocker locker(&soundLogLock);
        soundLog << message;
    }
}

class CanberraSoundPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No sound device even where the machine has one: ALSA with an empty
        // configuration knows none, and no sound server is reachable.
        ASSERT_TRUE(emptyAlsaConfig.open());
        qputenv("ALSA_CONFIG_PATH", emptyAlsaConfig.fileName().toLocal8Bit());
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

    QTemporaryFile emptyAlsaConfig;
    QtMessageHandler previous = nullptr;
};

} // namespace

TEST_F(CanberraSoundPlayerTest, WithoutASoundDeviceAlertsGoOnAndTheFailureIsLoggedOnce) {
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
        ASSERT_TRUE(waitFor([&] { return attempts == alert; })) << "alert " << alert;
    }
    EXPECT_EQ(started, 0) << "a sound started without a sound device";
    ASSERT_EQ(logged().size(), 1) << logged().join(u'\n').toStdString();
    EXPECT_TRUE(logged().constFirst().startsWith(QStringLiteral("alert sound not played")))
        << logged().constFirst().toStdString();
}

TEST_F(CanberraSoundPlayerTest, GoingAwayWhileASoundStartsWaitsForIt) {
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
