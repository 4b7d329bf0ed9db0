// The D-Bus center against a notification server of the test's own on the
// private session bus, where the test picks the ids and the signals.
#include "notify/FreedesktopNotificationCenter.h"

#include "WaitFor.h"

#include <QDBusConnection>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <utility>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
using Seen = std::vector<std::pair<std::string, std::string>>; // request identifier, action

class FakeServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeServer(const QString& connectionName)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
        bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
        registered = bus.registerService(kService);
    }
    ~FakeServer() override { QDBusConnection::disconnectFromBus(bus.name()); }

    QDBusConnection bus;
    bool registered = false;
    bool leaveBeforeAnswering = false; // gives up the name, then answers the next Notify
    uint nextId = 1;
    int served = 0;
    QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body")};
    int capabilityQueries = 0;
    QVariantMap lastHints;

public slots:
    QStringList GetCapabilities() {
        ++capabilityQueries;
        return capabilities;
    }
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

class FreedesktopNotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server->registered) << "no private session bus"; }

    // Adds request `identifier` and waits until the server has taken it; its
    // answer reaches the center before any signal the server sends afterwards.
    void show(const QString& identifier) {
        const int served = server->served;
        center.add({identifier, QStringLiteral("t"), QStringLiteral("b"), {}, {}, false});
        ASSERT_TRUE(waitFor([&] { return server->served > served; })) << identifier.toStdString();
    }
    // The server reports `ids` chosen, then a marker action on our `marker`;
    // returns every action the center has reported, the marker's included.
    Seen invoke(const std::vector<uint>& ids, uint marker) {
        for (const uint id : ids) {
            emit server->ActionInvoked(id, QStringLiteral("pause"));
        }
        emit server->ActionInvoked(marker, QStringLiteral("marker"));
        const qsizetype before = actions.size();
        waitFor([&] { return actions.size() > before && actions.last().at(1) == "marker"; });
        Seen seen;
        for (const QList<QVariant>& action : actions) {
            seen.emplace_back(action.at(0).toString().toStdString(),
                              action.at(1).toString().toStdString());
        }
        return seen;
    }

    std::unique_ptr<FakeServer> server = std::make_unique<FakeServer>(QStringLiteral("server"));
    FreedesktopNotificationCenter center;
    QSignalSpy actions{&center, &NotificationCenter::actionInvoked};
};

} // namespace

TEST_F(FreedesktopNotificationCenterTest, ActionsAreOursOnlyForWhatTheAnsweringServerShowedUs) {
    for (const char* identifier : {"first", "second", "third"}) {
        show(QString::fromLatin1(identifier)); // ids 1, 2, 3
    }
    // 5 is another application's; 1 is ours, answered once and then forgotten.
    Seen expected{{"first", "pause"}, {"second", "marker"}};
    EXPECT_EQ(invoke({5, 1, 1}, 2), expected);

    // The server goes away and only then answers, with an id its successor hands out too.
    server->leaveBeforeAnswering = true;
    server->nextId = 1;
    show(QStringLiteral("late"));
    const std::unique_ptr<FakeServer> gone = std::move(server);
    server = std::make_unique<FakeServer>(QStringLiteral("successor"));
    ASSERT_TRUE(server->registered);
    emit server->ActionInvoked(1, QStringLiteral("pause")); // another application's 1
    show(QStringLiteral("new"));                            // ours, numbered 1 as well
    expected.emplace_back("new", "marker");
    EXPECT_EQ(invoke({}, 1), expected);
    EXPECT_EQ(center.trackedCount(), 1u) << "the third went with its server, the late one stays";

    // Notifications never reported closed are forgotten, oldest first, past a bound.
    const auto bound = static_cast<uint>(FreedesktopNotificationCenter::kMaxTracked);
    for (uint id = 2; id <= bound + 1; ++id) {
        show(QString::number(id));
    }
    expected.emplace_back(std::to_string(bound), "pause");
    expected.emplace_back(std::to_string(bound + 1), "marker");
    EXPECT_EQ(invoke({bound}, bound + 1), expected);
    EXPECT_EQ(center.trackedCount(), FreedesktopNotificationCenter::kMaxTracked - 2);
}

namespace {

class FakeSoundPlayer final : public SoundPlayer {
public:
    void play(const QString& eventId) override { played << eventId; }
    QStringList played;
};

// What one alert with sound on and one with sound off did: the server's sound
// hints, then the sounds the app played.
struct Heard {
    std::string withSound;
    std::string withoutSound;
    QStringList played;
    bool operator==(const Heard&) const = default;
};

std::string soundHint(const QVariantMap& hints) {
    if (hints.contains(QStringLiteral("sound-name"))) {
        return "sound-name " + hints.value(QStringLiteral("sound-name")).toString().toStdString();
    }
    return hints.value(QStringLiteral("suppress-sound")).toBool() ? "suppress-sound" : "none";
}

Heard alertTwice(FreedesktopNotificationCenter& center, FakeServer& server,
                 FakeSoundPlayer& player) {
    Heard heard;
    for (const bool sound : {true, false}) {
        const int served = server.served;
        center.add({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), {}, {}, sound});
        if (!waitFor([&] { return server.served > served; })) {
            return {};
        }
        (sound ? heard.withSound : heard.withoutSound) = soundHint(server.lastHints);
    }
    heard.played = std::exchange(player.played, {});
    return heard;
}

const QString kThemeSound = QStringLiteral("message-new-instant");

} // namespace

TEST(FreedesktopNotificationCenterSoundTest, PlaysTheSoundOnlyWhereTheServerPlaysNone) {
    auto server = std::make_unique<FakeServer>(QStringLiteral("with sound"));
    ASSERT_TRUE(server->registered) << "no private session bus";
    server->capabilities << QStringLiteral("sound");
    FakeSoundPlayer player;
    FreedesktopNotificationCenter center(QDBusConnection::sessionBus(), &player);
    EXPECT_EQ(center.soundPlayedBy(), SoundPlayedBy::unknown) << "known before the server answered";
    ASSERT_TRUE(waitFor([&] { return center.soundPlayedBy() == SoundPlayedBy::server; }));
    EXPECT_EQ(alertTwice(center, *server, player),
              (Heard{"sound-name message-new-instant", "suppress-sound", {}}));

    // The server is replaced by one without sounds: asked again, and now the app plays.
    server.reset();
    server = std::make_unique<FakeServer>(QStringLiteral("without sound"));
    ASSERT_TRUE(server->registered);
    ASSERT_TRUE(waitFor([&] { return center.soundPlayedBy() == SoundPlayedBy::app; }));
    EXPECT_EQ(alertTwice(center, *server, player),
              (Heard{"suppress-sound", "suppress-sound", {kThemeSound}}));
    EXPECT_EQ(alertTwice(center, *server, player),
              (Heard{"suppress-sound", "suppress-sound", {kThemeSound}}));
    EXPECT_EQ(server->capabilityQueries, 1) << "asked again for every alert";

    // No server at all: nobody is known to play it, and the app does not guess.
    server.reset();
    ASSERT_TRUE(waitFor([&] { return center.soundPlayedBy() == SoundPlayedBy::unknown; }));
    center.add({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), {}, {}, true});
    EXPECT_TRUE(player.played.isEmpty());
}

TEST(FreedesktopNotificationCenterSoundTest, WithoutAPlayerTheServerStaysInCharge) {
    FakeServer server(QStringLiteral("silent"));
    ASSERT_TRUE(server.registered) << "no private session bus";
    FreedesktopNotificationCenter center;
    ASSERT_TRUE(waitFor([&] { return server.capabilityQueries == 1; }));
    FakeSoundPlayer unused;
    EXPECT_EQ(alertTwice(center, server, unused),
              (Heard{"sound-name message-new-instant", "suppress-sound", {}}));
    EXPECT_EQ(center.soundPlayedBy(), SoundPlayedBy::unknown);
}

TEST(FreedesktopNotificationCenterWithoutBusTest, NoSessionBusReadsAsDeniedLater) {
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/backbeacon-bus"), QStringLiteral("none"));
    ASSERT_FALSE(none.isConnected());
    FreedesktopNotificationCenter center(none);
    center.add({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), {}, {}, true});
    int answer = 0;
    center.getAuthorizationStatus([&](int status) { answer = status; });
    EXPECT_EQ(answer, 0) << "answered before the caller returned";
    EXPECT_TRUE(waitFor([&] { return answer == 1; }));
    EXPECT_EQ(center.trackedCount(), 0u);
}

#include "FreedesktopNotificationCenterTest.moc"
