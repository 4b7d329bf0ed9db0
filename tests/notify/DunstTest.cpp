// The posture alert against a real notification daemon, dunst, on the private
// session bus and X display that scripts/private-session.sh provides. What goes
// over the bus is read back with dbus-monitor; dunst's menu command is a
// script that picks our pause action.
#include "../model/MessageLog.h"
#include "FakeLoginItem.h"
#include "Files.h"
#include "ManualClock.h"
#include "WaitFor.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"
#include "notify/FreedesktopNotificationCenter.h"
#include "notify/NotificationManager.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

bool serverRunning() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
}

// What dunstctl prints for `arguments`.
std::string dunstctl(const QStringList& arguments) {
    QProcess ctl;
    ctl.start(QStringLiteral("dunstctl"), arguments);
    ctl.waitForFinished(10'000);
    return ctl.readAllStandardOutput().trimmed().toStdString();
}

// A Notify call's arguments as dbus-monitor prints them, white space simplified.
QString notifyCall(const QString& icon, const QString& soundHint) {
    return QStringLiteral(
               R"(string "Backbeacon" uint32 0 string "org.backbeacon.Backbeacon" )"
               R"(string "Posture signal" )"
               R"(string "You are moving away from baseline. Return to center." )"
               R"(array [ string "backbeacon.snooze10" string "Pause 10 min" ] array [ )"
               R"(dict entry( string "category" variant string "backbeacon.posture-alert" ) )"
               R"(dict entry( string "desktop-entry" variant string "org.backbeacon.Backbeacon" ) )"
               R"(dict entry( string "image-path" variant string "file://%1" ) )"
               R"(dict entry( %2 ) ] int32 -1)")
        .arg(icon, soundHint);
}

class DunstTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "no private session bus";
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "no private X display";
        ASSERT_FALSE(serverRunning()) << "a notification server is already on the bus";
        // dunst's menu: our pause action, and what was offered kept for a look.
        writeAll(menu, "#!/bin/sh\n"
                       "tee \"$0.offered\" | "
                       "awk '/,backbeacon\\.snooze10\\]$/ && !found { print; found = 1 }'\n");
        ASSERT_TRUE(QFile::setPermissions(menu, QFile::ReadOwner | QFile::ExeOwner));
        writeAll(dir.filePath("dunstrc"),
                 QStringLiteral("[global]\n    dmenu = %1\n    follow = none\n"
                                "[urgency_normal]\n    timeout = 0\n")
                     .arg(menu)
                     .toUtf8());
        settings.setNotificationCooldown(0);
        manager.setIconProvider([] {
            QImage image(64, 64, QImage::Format_ARGB32);
            image.fill(QColor(30, 160, 90));
            return image;
        });
        manager.setSnoozeHandler([this](int minutes) { snoozes.push_back(minutes); });
    }
    void TearDown() override {
        for (QProcess* process : {&dunst, &monitor}) {
            process->kill(); // stopped or not
            process->waitForFinished(10'000);
        }
    }

    void startDunst() {
        dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dunst.start(QStringLiteral("dunst"), {QStringLiteral("-conf"), dir.filePath("dunstrc")});
        // Usually at once; a machine busy with other test desktops has kept
        // it waiting over 10 s.
        ASSERT_TRUE(waitFor(
            [&] { return serverRunning() || dunst.state() == QProcess::NotRunning; }, 30'000));
        ASSERT_TRUE(serverRunning()) << "dunst did not take the notification service";
    }
    // Records every call to and signal from a notification server from now on.
    void startMonitor() {
        monitor.start(QStringLiteral("dbus-monitor"),
                      {QStringLiteral("interface='org.freedesktop.Notifications'")});
        // Once it is a monitor, dbus-monitor loses its own name and says so.
        ASSERT_TRUE(waitFor([&] {
            monitored += monitor.readAllStandardOutput();
            return monitored.contains("member=NameLost");
        })) << monitor.errorString().toStdString();
    }
    // The arguments of each `member` message dbus-monitor has printed so far.
    QStringList seen(const QString& member) {
        monitored += monitor.readAllStandardOutput();
        QStringList found;
        const QRegularExpression message("member=" + member + "\n((?:[ \t].*\n)*)");
        for (auto match = message.globalMatch(QString::fromUtf8(monitored)); match.hasNext();) {
            found << match.next().captured(1).simplified();
        }
        return found;
    }

    QTemporaryDir dir;
    const QString menu = dir.filePath(QStringLiteral("pick-pause.sh"));
    MemoryPreferences store;
    FakeLoginItem loginItem;
    ManualClock clock;
    AppSettings settings{store, loginItem, clock};
    FreedesktopNotificationCenter center;
    NotificationManager manager{settings, center, clock};
    std::vector<int> snoozes;
    QProcess dunst;
    QProcess monitor;
    QByteArray monitored;
    MessageLog log;
};

} // namespace

TEST_F(DunstTest, AlertArrivesAsSentAndItsPauseActionSnoozesForTenMinutes) {
    startMonitor();
    startDunst();
    manager.refreshAuthorization();
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 2; }));

    settings.setSoundEnabled(true);
    manager.notifyPostureAlert();
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/Backbeacon";
    const QString icon = folder + "/BackbeaconNotificationIcon.png";
    const QString loud =
        notifyCall(icon, R"(string "sound-name" variant string "message-new-instant")");
    EXPECT_TRUE(waitFor([&] { return seen("Notify").value(0) == loud; }))
        << seen("Notify").value(0).toStdString();
    EXPECT_EQ(QImage(icon).size(), QSize(128, 128));
    EXPECT_EQ(modeOf(folder), 0700u) << "owner-only: nobody else may read or plant the icon";

    // The user picks "Pause 10 min" from dunst's menu.
    ASSERT_TRUE(waitFor([] { return dunstctl({"count", "displayed"}) == "1"; }));
    dunstctl({QStringLiteral("context")});
    ASSERT_TRUE(waitFor([&] { return !snoozes.empty(); })) << readAll(menu + ".offered");
    EXPECT_EQ(snoozes, std::vector<int>{10});
    // dunst keeps the bubble after an action; our CloseNotification call (reason 3) ends it.
    EXPECT_TRUE(waitFor([&] { return seen("NotificationClosed").value(0).endsWith(" uint32 3"); }));
    EXPECT_EQ(dunstctl({"count", "displayed"}), "0");

    settings.setSoundEnabled(false);
    manager.notifyPostureAlert();
    const QString silent = notifyCall(icon, R"(string "suppress-sound" variant boolean true)");
    EXPECT_TRUE(waitFor([&] { return seen("Notify").value(1) == silent; }))
        << seen("Notify").value(1).toStdString();
}

TEST_F(DunstTest, MissingHungOrVanishedDaemonNeverBlocksAndStaysSilent) {
    // Raises an alert and asks after the server; true if neither waited for an answer.
    const auto alertAndAsk = [&] {
        QElapsedTimer call;
        call.start();
        manager.notifyPostureAlert();
        manager.refreshAuthorization();
        return call.elapsed() < 1'000;
    };
    const auto statusStays = [&](int status) {
        return !waitFor([&] { return manager.authorizationStatus() != status; }, 300);
    };

    // No server on the bus at all.
    EXPECT_TRUE(alertAndAsk());
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 1; }));

    startDunst();
    manager.refreshAuthorization();
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 2; }));

    // A server that takes the calls and never answers: nothing may wait for it.
    ASSERT_EQ(::kill(static_cast<pid_t>(dunst.processId()), SIGSTOP), 0);
    EXPECT_TRUE(alertAndAsk()) << "an unanswered call held up the caller";
    EXPECT_TRUE(statusStays(2)) << "answered while the server was stopped?";

    // It goes away with both calls unanswered; alerts after that find nobody.
    dunst.kill();
    ASSERT_TRUE(dunst.waitForFinished(10'000));
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 1; }));
    EXPECT_TRUE(alertAndAsk());
    EXPECT_TRUE(statusStays(1));
    EXPECT_EQ(log.warnings().join(u'\n').toStdString(), "") << "the alert path stays silent";
}
