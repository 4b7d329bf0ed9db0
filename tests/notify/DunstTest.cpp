// The posture alert against a real notification daemon, dunst, on the private
// session bus and X display that run-private-session.sh provides. What goes
// over the bus is read back with dbus-monitor; dunst's menu command is a
// script that picks our pause action.
#include "FakeLoginItem.h"
#include "Files.h"
#include "ManualClock.h"
#include "WaitFor.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"
#include "notify/FreedesktopNotificationCenter.h"
#include "notify/NotificationManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <map>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

// One message as dbus-monitor prints it: the header line and its argument lines.
struct Message {
    QString header;
    QStringList lines;

    QString member() const { return header.section(QStringLiteral("member="), 1).trimmed(); }
};

std::vector<Message> parseMonitor(const QByteArray& output) {
    std::vector<Message> messages;
    for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        if (!line.isEmpty() && !line.front().isSpace()) {
            messages.push_back({line, {}});
        } else if (!messages.empty() && !line.trimmed().isEmpty()) {
            messages.back().lines << line.simplified();
        }
    }
    return messages;
}

// The arguments of a Notify call, each as dbus-monitor prints it ("string \"…\"").
struct NotifyCall {
    QStringList leading; // app name, replaces id, app icon, summary, body
    QStringList actions;
    std::map<QString, QString> hints; // name → value
    QString timeout;
};

// Empty until the message has been printed in full.
std::optional<NotifyCall> notifyCall(const Message& message) {
    const QStringList& l = message.lines;
    NotifyCall call;
    int i = 0;
    for (; i < 5 && i < l.size(); ++i) {
        call.leading << l[i];
    }
    if (i >= l.size() || l[i++] != QStringLiteral("array [")) {
        return {};
    }
    while (i < l.size() && l[i] != QStringLiteral("]")) {
        call.actions << l[i++];
    }
    if (++i >= l.size() || l[i++] != QStringLiteral("array [")) {
        return {};
    }
    while (i + 3 < l.size() && l[i] == QStringLiteral("dict entry(")) {
        const QString key = l[i + 1].section(QLatin1Char('"'), 1, 1);
        call.hints[key] = l[i + 2].section(QStringLiteral("variant "), 1);
        i += 4;
    }
    if (i + 1 >= l.size() || l[i] != QStringLiteral("]")) {
        return {};
    }
    call.timeout = l[i + 1];
    return call;
}

class DunstTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "no private session bus";
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "no private X display";
        ASSERT_FALSE(serverRunning()) << "a notification server is already on the bus";

        // dunst's menu: our pause action, and what was offered kept for a look.
        writeAll(menuScript(),
                 "#!/bin/sh\n"
                 "tee \"$0.offered\" | "
                 "awk '/,backbeacon\\.snooze10\\]$/ && !found { print; found = 1 }'\n");
        ASSERT_TRUE(QFile::setPermissions(menuScript(), QFile::ReadOwner | QFile::ExeOwner));
        writeAll(dir.filePath("dunstrc"), QStringLiteral("[global]\n"
                                                         "    dmenu = %1\n"
                                                         "    follow = none\n"
                                                         "[urgency_normal]\n"
                                                         "    timeout = 0\n")
                                              .arg(menuScript())
                                              .toUtf8());

        settings.setNotificationCooldown(60);
        manager.setIconProvider([] {
            QImage image(64, 64, QImage::Format_ARGB32);
            image.fill(QColor(30, 160, 90));
            return image;
        });
        manager.setSnoozeHandler([this](int minutes) { snoozes.push_back(minutes); });
    }
    void TearDown() override {
        for (QProcess* process : {&dunst, &monitor}) {
            if (process->state() != QProcess::NotRunning) {
                ::kill(static_cast<pid_t>(process->processId()), SIGCONT);
                process->kill();
                process->waitForFinished(10'000);
            }
        }
    }

    QString menuScript() const { return dir.filePath(QStringLiteral("pick-pause.sh")); }

    static bool serverRunning() {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
    }

    void startDunst() {
        dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dunst.start(QStringLiteral("dunst"), {QStringLiteral("-conf"), dir.filePath("dunstrc")});
        ASSERT_TRUE(dunst.waitForStarted(10'000)) << dunst.errorString().toStdString();
        ASSERT_TRUE(waitFor([&] { return serverRunning() || dunst.state() != QProcess::Running; }));
        ASSERT_TRUE(serverRunning()) << "dunst did not take the notification service";
    }
    void killDunst() {
        dunst.kill();
        ASSERT_TRUE(dunst.waitForFinished(10'000));
        ASSERT_TRUE(waitFor([] { return !serverRunning(); }));
    }

    // Records every call to and signal from a notification server from now on.
    void startMonitor() {
        monitor.start(
            QStringLiteral("dbus-monitor"),
            {QStringLiteral("type='method_call',interface='org.freedesktop.Notifications'"),
             QStringLiteral("type='signal',interface='org.freedesktop.Notifications'")});
        ASSERT_TRUE(monitor.waitForStarted(10'000)) << monitor.errorString().toStdString();
        // Once it is a monitor, dbus-monitor loses its own name and says so.
        ASSERT_TRUE(waitFor([&] {
            monitored += monitor.readAllStandardOutput();
            return monitored.contains("member=NameLost");
        }));
    }
    std::vector<Message> monitoredMessages(const QString& member) {
        monitored += monitor.readAllStandardOutput();
        std::vector<Message> found;
        for (const Message& message : parseMonitor(monitored)) {
            if (message.member() == member) {
                found.push_back(message);
            }
        }
        return found;
    }
    std::vector<NotifyCall> notifyCalls() {
        std::vector<NotifyCall> calls;
        for (const Message& message : monitoredMessages(QStringLiteral("Notify"))) {
            if (auto call = notifyCall(message)) {
                calls.push_back(*call);
            }
        }
        return calls;
    }

    // Notifications dunst has on screen now.
    static int displayed() {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kService, QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.dunstproject.cmd0") << QStringLiteral("displayedLength");
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 5'000);
        return reply.arguments().isEmpty()
                   ? -1
                   : reply.arguments().at(0).value<QDBusVariant>().variant().toInt();
    }

    void alertAfter(double seconds) {
        clock.advance(seconds);
        manager.notifyPostureAlert();
    }

    QTemporaryDir dir;
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
};

// Catches warnings and worse while it lives.
class WarningLog {
public:
    WarningLog() : m_previous(qInstallMessageHandler(&record)) { lines().clear(); }
    ~WarningLog() { qInstallMessageHandler(m_previous); }
    static QStringList& lines() {
        static QStringList captured;
        return captured;
    }

private:
    static void record(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            lines() << message;
        }
    }
    QtMessageHandler m_previous;
};

} // namespace

TEST_F(DunstTest, AlertArrivesAsSentAndItsPauseActionSnoozesForTenMinutes) {
    startMonitor();
    startDunst();
    manager.refreshAuthorization();
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 2; }));

    settings.setSoundEnabled(true);
    alertAfter(0);
    ASSERT_TRUE(waitFor([&] { return notifyCalls().size() == 1; }));
    const QString icon = qEnvironmentVariable("XDG_RUNTIME_DIR") +
                         QStringLiteral("/Backbeacon/BackbeaconNotificationIcon.png");
    const NotifyCall shown = notifyCalls()[0];
    EXPECT_EQ(shown.leading,
              (QStringList{"string \"Backbeacon\"", "uint32 0",
                           "string \"org.backbeacon.Backbeacon\"", "string \"Posture signal\"",
                           "string \"You are moving away from baseline. Return to center.\""}));
    EXPECT_EQ(shown.actions,
              (QStringList{"string \"backbeacon.snooze10\"", "string \"Pause 10 min\""}));
    EXPECT_EQ(shown.hints,
              (std::map<QString, QString>{{"category", "string \"backbeacon.posture-alert\""},
                                          {"desktop-entry", "string \"org.backbeacon.Backbeacon\""},
                                          {"image-path", "string \"file://" + icon + "\""},
                                          {"sound-name", "string \"message-new-instant\""}}));
    EXPECT_EQ(shown.timeout, "int32 -1");
    EXPECT_EQ(QImage(icon).size(), QSize(128, 128));

    // The user picks "Pause 10 min" from dunst's menu.
    ASSERT_TRUE(waitFor([] { return displayed() == 1; }));
    QProcess context;
    context.setProcessChannelMode(QProcess::ForwardedChannels);
    context.start(QStringLiteral("dunstctl"), {QStringLiteral("context")});
    ASSERT_TRUE(context.waitForFinished(10'000));
    ASSERT_EQ(context.exitCode(), 0);
    ASSERT_TRUE(waitFor([&] { return !snoozes.empty(); })) << readAll(menuScript() + ".offered");
    EXPECT_EQ(snoozes, std::vector<int>{10});

    // dunst keeps the bubble after an action; we close it.
    ASSERT_TRUE(waitFor([&] {
        const auto invoked = monitoredMessages(QStringLiteral("ActionInvoked"));
        return !invoked.empty() && invoked[0].lines.size() == 2;
    }));
    const auto invoked = monitoredMessages(QStringLiteral("ActionInvoked"));
    ASSERT_EQ(invoked.size(), 1u);
    const QString id = invoked[0].lines.value(0); // "uint32 <id>"
    EXPECT_EQ(invoked[0].lines.value(1), "string \"backbeacon.snooze10\"");
    EXPECT_TRUE(waitFor([&] {
        const auto closed = monitoredMessages(QStringLiteral("NotificationClosed"));
        return !closed.empty() && closed[0].lines == QStringList{id, QStringLiteral("uint32 3")};
    })) << "closed by our CloseNotification call";
    const auto closes = monitoredMessages(QStringLiteral("CloseNotification"));
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].lines, QStringList{id});
    EXPECT_EQ(displayed(), 0);

    // Within the cooldown nothing goes out; after it, a silent alert when sound is off.
    settings.setSoundEnabled(false);
    alertAfter(59);
    alertAfter(1);
    ASSERT_TRUE(waitFor([&] { return notifyCalls().size() >= 2; }));
    ASSERT_TRUE(waitFor([] { return displayed() == 1; }));
    EXPECT_EQ(notifyCalls().size(), 2u);
    auto hints = notifyCalls()[1].hints;
    EXPECT_EQ(hints.erase("sound-name"), 0u);
    EXPECT_EQ(hints["suppress-sound"], "boolean true");
    EXPECT_EQ(snoozes.size(), 1u);
}

TEST_F(DunstTest, MissingHungOrVanishedDaemonNeverBlocksAndReadsAsDenied) {
    WarningLog warnings;
    settings.setNotificationCooldown(0);
    int beats = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++beats; });
    heartbeat.start(10);
    const auto loopKeepsRunning = [&] {
        const int from = beats;
        return waitFor([&] { return beats >= from + 5; });
    };

    // No server on the bus at all.
    manager.refreshAuthorization();
    alertAfter(1);
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 1; }));
    EXPECT_TRUE(loopKeepsRunning());

    startDunst();
    manager.refreshAuthorization();
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 2; }));

    // A server that takes the calls and never answers: nothing may wait for it.
    ASSERT_EQ(::kill(static_cast<pid_t>(dunst.processId()), SIGSTOP), 0);
    QElapsedTimer call;
    call.start();
    alertAfter(1);
    manager.refreshAuthorization();
    EXPECT_LT(call.elapsed(), 1'000) << "an unanswered call held up the caller";
    EXPECT_TRUE(loopKeepsRunning());
    EXPECT_EQ(manager.authorizationStatus(), 2) << "answered while the server was stopped?";

    // The server goes away with both calls unanswered, and again after it is gone.
    killDunst();
    EXPECT_TRUE(waitFor([&] { return manager.authorizationStatus() == 1; }));
    alertAfter(1);
    manager.refreshAuthorization();
    EXPECT_TRUE(loopKeepsRunning());
    EXPECT_EQ(manager.authorizationStatus(), 1);
    EXPECT_EQ(warnings.lines(), QStringList{}) << "the alert path stays silent";
}
