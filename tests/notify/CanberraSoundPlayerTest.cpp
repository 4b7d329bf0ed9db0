// The alert sound through the real libcanberra on a machine without a sound
// device, the way CI runs: alerts go on, and the failure is told once.
#include "notify/CanberraSoundPlayer.h"

#include "../model/MessageLog.h"
#include "WaitFor.h"

#include <QDeadlineTimer>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <unistd.h>

using namespace backbeacon::testing;

TEST(CanberraSoundPlayer, WithoutASoundDeviceAlertsGoOnTheFailureIsLoggedOnceAndNothingOutlivesIt) {
    // No sound device even where the machine has one: ALSA is sent to a card
    // that does not exist, and no sound server is reachable.
    qputenv("ALSA_CARD", "BackbeaconNoSuchCard");
    qputenv("PULSE_SERVER", "unix:/nonexistent/backbeacon-pulse");
    const MessageLog log;
    // What the sound libraries write to stderr themselves, past our log.
    QTemporaryFile stderrCopy;
    ASSERT_TRUE(stderrCopy.open());
    std::fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    dup2(stderrCopy.handle(), STDERR_FILENO);

    std::atomic<int> started{0}, failed{0};
    const auto attempts = [&] { return started + failed; };
    auto player = std::make_unique<backbeacon::CanberraSoundPlayer>();
    player->setAttemptHandler([&](bool ok) { ++(ok ? started : failed); });
    for (int alert = 1; alert <= 3; ++alert) {
        const QDeadlineTimer call(50);
        player->play(QStringLiteral("message-new-instant"));
        EXPECT_FALSE(call.hasExpired()) << "alert " << alert << " waited for the sound";
        EXPECT_TRUE(waitFor([&] { return attempts() == alert; })) << "alert " << alert;
    }
    // Going away with a sound pending: the attempt finished or never began, and
    // nothing runs after the player.
    player->play(QStringLiteral("message-new-instant"));
    player.reset();
    const int seen = attempts();
    QTest::qWait(50);
    EXPECT_EQ(attempts(), seen);

    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    stderrCopy.seek(0); // the shared offset is where the last write ended
    EXPECT_EQ(stderrCopy.readAll().toStdString(), "");
    EXPECT_EQ(started, 0) << "a sound started without a sound device";
    const QStringList told = log.warnings().filter(QStringLiteral("backbeacon.sound: "));
    ASSERT_EQ(told.size(), 1) << told.join(u'\n').toStdString();
    EXPECT_TRUE(told[0].startsWith(QStringLiteral("backbeacon.sound: alert sound not played")));
}
