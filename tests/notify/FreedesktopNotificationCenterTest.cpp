// The D-Bus center against a notification server of our own on the private
// session bus, where the test picks the ids and the signals.
#include "notify/FreedesktopNotificationCenter.h"

#include "WaitFor.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kSnooze = QStringLiteral("backbeacon.snooze10");

// Numbers notifications from 1 and sends the signals a test asks for.
class FakeServer final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeServer(const QString& connectionName)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
        m_bus.registerObject(kPath, this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
        registered = m_bus.registerService(kService);
    }
    ~FakeServer() override {
        m_bus.unregisterService(kService);
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    // Gives up the server name; calls already taken can still be answered.
    void releaseName() { m_bus.unregisterService(kService); }
    void answerHeldCall() { m_bus.send(m_held.createReply(nextId++)); }

    bool registered = false;
    bool holdAnswers = false; // keep the next Notify unanswered until answerHeldCall()
    uint nextId = 1;
    int served = 0;
    std::vector<uint> closed;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&,
                const QStringList&, const QVariantMap&, int) {
        ++served;
        if (holdAnswers) {
            setDelayedReply(true);
            m_held = message();
            return 0;
        }
        return nextId++;
    }
    void CloseNotification(uint id) { closed.push_back(id); }

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    QDBusMessage m_held;
};

class FreedesktopNotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "no private session bus";
        ASSERT_TRUE(server->registered);
        center.setNotificationCategories({{QStringLiteral("backbeacon.posture-alert"),
                                           {{kSnooze, QStringLiteral("Pause 10 min")}}}});
    }

    // Adds a request named `identifier` and waits until the server has numbered
    // it. Signals the server sends afterwards reach the center after the answer.
    void show(const QString& identifier) {
        const int served = server->served;
        const std::size_t tracked = center.trackedCount();
        center.add({identifier,
                    QStringLiteral("t"),
                    QStringLiteral("b"),
                    QStringLiteral("backbeacon.posture-alert"),
                    {},
                    false});
        ASSERT_TRUE(waitFor([&] {
            return server->served > served &&
                   (center.trackedCount() > tracked ||
                    tracked == FreedesktopNotificationCenter::kMaxTracked);
        })) << identifier.toStdString();
    }
    // The server reports `ids` chosen in this order, then a marker action on
    // `marker` (one of ours); returns what the center reported, the marker included.
    std::vector<std::pair<QString, QString>> invoke(const std::vector<uint>& ids, uint marker) {
        QSignalSpy spy(&center, &NotificationCenter::actionInvoked);
        for (const uint id : ids) {
            emit server->ActionInvoked(id, kSnooze);
        }
        emit server->ActionInvoked(marker, QStringLiteral("marker"));
        waitFor([&] {
            return !spy.isEmpty() && spy.last().at(1).toString() == QStringLiteral("marker");
        });
        std::vector<std::pair<QString, QString>> seen;
        for (const auto& call : spy) {
            seen.emplace_back(call.at(0).toString(), call.at(1).toString());
        }
        return seen;
    }
    using Seen = std::vector<std::pair<QString, QString>>;

    std::unique_ptr<FakeServer> server = std::make_unique<FakeServer>(QStringLiteral("server"));
    FreedesktopNotificationCenter center;
};

} // namespace

TEST_F(FreedesktopNotificationCenterTest, ActionsReachUsOnlyForOurOwnShownNotifications) {
    show(QStringLiteral("first"));  // server id 1
    show(QStringLiteral("second")); // server id 2
    server->nextId = 9;
    show(QStringLiteral("third")); // server id 9

    // 5 is another application's; 1 is ours and answered once, then closed.
    EXPECT_EQ(invoke({5, 1, 1}, 2), (Seen{{"first", kSnooze}, {"second", "marker"}}));
    EXPECT_TRUE(waitFor([&] { return server->closed.size() == 2; }));
    EXPECT_EQ(server->closed, (std::vector<uint>{1, 2})) << "the bubble goes once acted on";

    // Closed by the server (expired, dismissed): its actions are no longer ours to answer.
    emit server->NotificationClosed(9, 1);
    ASSERT_TRUE(waitFor([&] { return center.trackedCount() == 0; }));
    show(QStringLiteral("fourth")); // server id 10
    EXPECT_EQ(invoke({9}, 10), (Seen{{"fourth", "marker"}}));
    EXPECT_EQ(center.trackedCount(), 0u);
}

TEST_F(FreedesktopNotificationCenterTest, RemembersOnlyTheNewestNotifications) {
    const auto count = static_cast<int>(FreedesktopNotificationCenter::kMaxTracked) + 6;
    for (int i = 1; i <= count; ++i) {
        show(QString::number(i));
    }
    EXPECT_EQ(center.trackedCount(), FreedesktopNotificationCenter::kMaxTracked);
    EXPECT_EQ(invoke({6, 7}, static_cast<uint>(count)),
              (Seen{{"7", kSnooze}, {QString::number(count), "marker"}}));
}

TEST_F(FreedesktopNotificationCenterTest, IdsOfAServerThatWentAwayMeanNothingToItsSuccessor) {
    show(QStringLiteral("shown"));
    server->holdAnswers = true;
    center.add({QStringLiteral("late"),
                QStringLiteral("t"),
                QStringLiteral("b"),
                QStringLiteral("backbeacon.posture-alert"),
                {},
                false});
    ASSERT_TRUE(waitFor([&] { return server->served == 2; }));

    auto gone = std::move(server);
    gone->releaseName();
    ASSERT_TRUE(waitFor([&] { return center.trackedCount() == 0; }));
    // Its answer comes only after it went away, with an id its successor hands out too.
    gone->nextId = 1;
    gone->answerHeldCall();
    ASSERT_TRUE(waitFor([&] { return center.trackedCount() == 1; }));

    QSignalSpy spy(&center, &NotificationCenter::actionInvoked);
    server = std::make_unique<FakeServer>(QStringLiteral("successor"));
    ASSERT_TRUE(server->registered);
    emit server->ActionInvoked(1, kSnooze); // another application's notification 1
    show(QStringLiteral("new"));            // ours, numbered 1 as well
    EXPECT_EQ(invoke({}, 1), (Seen{{"new", "marker"}}));
    EXPECT_EQ(spy.size(), 1) << "an old server's id answered for the new server's notification";
}

TEST(FreedesktopNotificationCenterWithoutBusTest, NoSessionBusReadsAsDenied) {
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/backbeacon-bus"), QStringLiteral("none"));
    ASSERT_FALSE(none.isConnected());
    FreedesktopNotificationCenter center(none);
    center.add({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), {}, {}, true});
    int answer = 0;
    center.getAuthorizationStatus([&](int status) { answer = status; });
    EXPECT_TRUE(waitFor([&] { return answer == 1; }));
    EXPECT_EQ(center.trackedCount(), 0u);
}

#include "FreedesktopNotificationCenterTest.moc"
