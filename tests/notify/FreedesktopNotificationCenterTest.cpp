// The D-Bus center on the private session bus and X display that
// scripts/private-session.sh provides: first the posture alert through a real
// notification daemon, dunst, read back with dbus-monitor (dunst's menu
// command is a script that picks our pause action); then against a server of
// the test's own, where the test picks the ids and the signals.
#include "notify/FreedesktopNotificationCenter.h"

#include "../model/MessageLog.h"
#include "FakeLoginItem.h"
#include "Files.h"
#include "ManualClock.h"
#include "WaitFor.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"
#include "notify/NotificationManager.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <utility>

using namespace backbeacon;
using namespace backbeacon::testing;
using namespace Qt::StringLiterals;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

bool serverRunning() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
}

// What dunstctl prints for `command`.
std::string dunstctl(const char* command) {
    QProcess ctl;
    ctl.start(QStringLiteral("dunstctl"), QString::fromLatin1(command).split(u' '));
    ctl.waitForFinished(10'000);
    return ctl.readAllStandardOutput().trimmed().toStdString();
}

class FakeServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeServer(const QString& connectionName)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
        bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
        bus.registerService(kService);
    }
    ~FakeServer() override { QDBusConnection::disconnectFromBus(bus.name()); }

    QDBusConnection bus;
    bool leaveBeforeAnswering = false; // gives up the name, then answers the next Notify
    uint nextId = 1;
    int served = 0;
    QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body")};
    QVariantMap lastHints;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&,
                const QStringList&, const QVariantMap& hints, int) {
        ++served;
        lastHints = hints;
        if (leaveBeforeAnswering) {
            bus.unregisterService(kService);
        }
        return nextId++;
    }

signals:
    void ActionInvoked(uint id, const QString& actionKey);
};

class FakeSoundPlayer final : public SoundPlayer {
public:
    void play(const QString& eventId) override { played << eventId; }
    QStringList played;
};

class FreedesktopNotificationCenterTest : public ::testing::Test {
protected:
    // Adds request `identifier` (with sound or not) and waits until the server
    // has taken it; its answer reaches the center before any signal the server
    // sends afterwards.
    void show(FreedesktopNotificationCenter& to, const QString& identifier, bool sound = false) {
        const int served = server->served;
        to.add({identifier, u"t"_s, u"b"_s, {}, {}, sound});
        ASSERT_TRUE(waitFor([&] { return server->served > served; })) << identifier.toStdString();
    }
    // The server reports `ids` chosen, then a marker action on our `marker`;
    // returns every request and action the center has reported, the marker's included.
    QList<QVariantList> invoke(const std::vector<uint>& ids, uint marker) {
        for (const uint id : ids) {
            emit server->ActionInvoked(id, u"pause"_s);
        }
        emit server->ActionInvoked(marker, u"marker"_s);
        const qsizetype before = actions.size();
        waitFor([&] { return actions.size() > before && actions.last().at(1) == u"marker"_s; });
        return actions;
    }
    // One alert with sound on and one with it off: the server's sound hints,
    // then the sounds the app played, space-separated.
    std::string alertTwice(FreedesktopNotificationCenter& to) {
        QStringList heard;
        for (const bool sound : {true, false}) {
            show(to, u"id"_s, sound);
            const QVariantMap& hints = server->lastHints;
            heard << hints.value(u"sound-name"_s, hints.value(u"suppress-sound"_s)).toString();
        }
        return (heard + std::exchange(player.played, {})).join(u' ').toStdString();
    }

    std::unique_ptr<FakeServer> server = std::make_unique<FakeServer>(QStringLiteral("server"));
    FreedesktopNotificationCenter center;
    QSignalSpy actions{&center, &NotificationCenter::actionInvoked};
    FakeSoundPlayer player;
};

} // namespace

// With dunst, then with dunst stopped and killed: the alert goes out as sent,
// its pause action snoozes for ten minutes, and no call ever waits for a
// daemon that does not answer. It runs first, while no server
// of the test's own holds the name.
TEST(Dunst, AlertArrivesAsSentPausesAndAMissingHungOrKilledDaemonNeverBlocks) {
    ASSERT_FALSE(serverRunning()) << "a notification server is already on the bus";
    const MessageLog log;
    MemoryPreferences store;
    FakeLoginItem loginItem;
    ManualClock clock;
    AppSettings settings{store, loginItem, clock};
    settings.setNotificationCooldown(0);
    FreedesktopNotificationCenter center;
    NotificationManager manager{settings, center, clock};
    QImage icon(64, 64, QImage::Format_ARGB32);
    icon.fill(QColor(30, 160, 90));
    manager.setIconProvider([icon] { return icon; });
    std::vector<int> snoozes;
    manager.setSnoozeHandler([&](int minutes) { snoozes.push_back(minutes); });
    // Raises an alert and asks after the server; true if neither waited for an answer.
    const auto alertAndAsk = [&] {
        const QDeadlineTimer limit(1'000);
        manager.notifyPostureAlert();
        manager.refreshAuthorization();
        return !limit.hasExpired();
    };

    // Records every call to and signal from a notification server from now on;
    // once it is a monitor, dbus-monitor loses its own name and says so.
    QProcess monitor;
    QByteArray monitored;
    // Whether what dbus-monitor printed so far, white space simplified, holds `text`.
    const auto saw = [&](const QString& text) {
        monitored += monitor.readAllStandardOutput();
        return QString::fromUtf8(monitored).simplified().contains(text);
    };
    monitor.start(QStringLiteral("dbus-monitor"), {"interface='" + kService + "'"});
    ASSERT_TRUE(waitFor([&] { return saw("member=NameLost"); })) << monitored.toStdString();

    // dunst's menu: our pause action.
    QTemporaryDir dir;
    const QString menu = dir.filePath(QStringLiteral("pick-pause.sh"));
    writeAll(menu, "#!/bin/sh\nawk '/,backbeacon.snooze10]$/ && !n++'\n");
    ASSERT_TRUE(QFile::setPermissions(menu, QFile::ReadOwner | QFile::ExeOwner));
    writeAll(dir.filePath("dunstrc"),
             ("[global]\ndmenu = " + menu + "\nfollow = none\n[urgency_normal]\ntimeout = 0\n")
                 .toUtf8());
    QProcess dunst;
    dunst.start(QStringLiteral("dunst"), {QStringLiteral("-conf"), dir.filePath("dunstrc")});
    // Usually at once; a machine busy with other test desktops has kept it waiting over 10 s.
    ASSERT_TRUE(waitFor(serverRunning, 30'000)) << "dunst did not take the notification service";
    manager.refreshAuthorization();
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 2; }));

    manager.notifyPostureAlert();
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/Backbeacon";
    const QString sent =
        QStringLiteral(
            R"(member=Notify string "Backbeacon" uint32 0 string "org.backbeacon.Backbeacon" )"
            R"(string "Posture signal" )"
            R"(string "You are moving away from baseline. Return to center." )"
            R"(array [ string "backbeacon.snooze10" string "Pause 10 min" ] array [ )"
            R"(dict entry( string "category" variant string "backbeacon.posture-alert" ) )"
            R"(dict entry( string "desktop-entry" variant string "org.backbeacon.Backbeacon" ) )"
            R"(dict entry( string "image-path" variant string "file://%1" ) )"
            R"(dict entry( string "sound-name" variant string "message-new-instant" ) ] int32 -1)")
            .arg(folder + "/BackbeaconNotificationIcon.png");
    EXPECT_TRUE(waitFor([&] { return saw(sent); })) << monitored.toStdString();
    EXPECT_EQ(modeOf(folder), 0700u) << "owner-only: nobody else may read or plant the icon";

    // The user picks "Pause 10 min" from dunst's menu.
    ASSERT_TRUE(waitFor([] { return dunstctl("count displayed") == "1"; }));
    dunstctl("context");
    EXPECT_TRUE(waitFor([&] { return snoozes == std::vector<int>{10}; })) << "ten minutes";
    // dunst keeps the bubble after an action; our CloseNotification call ends it.
    EXPECT_TRUE(waitFor([] { return dunstctl("count displayed") == "0"; }));

    // A server that takes the calls and never answers, then goes away with
    // both unanswered; alerts after that find nobody.
    ASSERT_EQ(::kill(static_cast<pid_t>(dunst.processId()), SIGSTOP), 0);
    EXPECT_TRUE(alertAndAsk()) << "an unanswered call held up the caller";
    dunst.kill();
    ASSERT_TRUE(dunst.waitForFinished(10'000));
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 1; }));
    EXPECT_TRUE(alertAndAsk());
    EXPECT_EQ(log.warnings().join(u'\n').toStdString(), "") << "the alert path stays silent";
}

TEST_F(FreedesktopNotificationCenterTest, ActionsAreOursOnlyForWhatTheAnsweringServerShowedUs) {
    for (const char* identifier : {"first", "second", "third"}) {
        show(center, QString::fromLatin1(identifier)); // ids 1, 2, 3
    }
    // 5 is another application's; 1 is ours, answered once and then forgotten.
    QList<QVariantList> expected{{u"first"_s, u"pause"_s}, {u"second"_s, u"marker"_s}};
    EXPECT_EQ(invoke({5, 1, 1}, 2), expected);

    // The server goes away and only then answers, with an id its successor hands out too.
    server->leaveBeforeAnswering = true;
    server->nextId = 1;
    show(center, u"late"_s);
    const std::unique_ptr<FakeServer> gone = std::move(server);
    server = std::make_unique<FakeServer>(QStringLiteral("successor"));
    emit server->ActionInvoked(1, QStringLiteral("pause")); // another application's 1
    show(center, u"new"_s);                                 // ours, numbered 1 as well
    expected.append({u"new"_s, u"marker"_s});
    EXPECT_EQ(invoke({}, 1), expected);
    EXPECT_EQ(center.trackedCount(), 1u) << "the third went with its server, the late one stays";
}

// The app plays the sound only where the server plays none, and only if it has
// a player (the fixture's center has none).
TEST_F(FreedesktopNotificationCenterTest, PlaysTheSoundOnlyWhereTheServerPlaysNone) {
    server->capabilities << u"sound"_s;
    FreedesktopNotificationCenter withPlayer(QDBusConnection::sessionBus(), &player);
    EXPECT_EQ(withPlayer.soundPlayedBy(), SoundPlayedBy::unknown) << "known before the answer";
    ASSERT_TRUE(waitFor([&] { return withPlayer.soundPlayedBy() == SoundPlayedBy::server; }));
    EXPECT_EQ(alertTwice(withPlayer), "message-new-instant true");

    // Replaced by one without sounds: asked once more, and now the app plays.
    server.reset();
    server = std::make_unique<FakeServer>(u"without sound"_s);
    ASSERT_TRUE(waitFor([&] { return withPlayer.soundPlayedBy() == SoundPlayedBy::app; }));
    EXPECT_EQ(alertTwice(withPlayer), "true true message-new-instant");
    EXPECT_EQ(center.soundPlayedBy(), SoundPlayedBy::unknown);
}

TEST(FreedesktopNotificationCenterWithoutBusTest, NoSessionBusReadsAsDeniedLater) {
    FreedesktopNotificationCenter center(
        QDBusConnection::connectToBus(u"unix:path=/nonexistent/backbeacon-bus"_s, u"none"_s));
    center.add({u"id"_s, u"t"_s, u"b"_s, {}, {}, true});
    int answer = 0;
    center.getAuthorizationStatus([&](int status) { answer = status; });
    EXPECT_EQ(answer, 0) << "answered before the caller returned";
    EXPECT_TRUE(waitFor([&] { return answer == 1; }));
}

#include "FreedesktopNotificationCenterTest.moc"
