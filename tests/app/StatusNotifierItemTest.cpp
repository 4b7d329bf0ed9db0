// The tray item as a StatusNotifierItem host sees it, over a private session
// bus (scripts/private-session.sh): a watcher of the test's own, the host's
// calls and reads on a connection of their own.
#include "app/StatusNotifierItem.h"

#include "AppFakes.h"
#include "BusPeer.h"
#include "WaitFor.h"
#include "ui/PanelPlacement.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace backbeacon::testing {

// Stands in for the desktop's watcher: remembers who registered.
class FakeWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
public slots:
    void RegisterStatusNotifierItem(const QString& service) { registered.push_back(service); }

public:
    QStringList registered;
};

// The item's change signals a host hears, a new status with the status.
class Heard final : public QObject {
    Q_OBJECT
public:
    QStringList signals_;
public slots:
    void onSignal(const QDBusMessage& message) {
        signals_ << (QStringList{message.member()} + message.arguments().value(0).toStringList())
                        .join(u' ');
    }
};

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString kWatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

QList<QImage> images(QColor color, const QList<int>& sizes = {16, 22, 24, 32, 48, 64}) {
    QList<QImage> set;
    for (int size : sizes) {
        set.push_back(QImage(size, size, QImage::Format_ARGB32_Premultiplied));
        set.back().fill(color);
    }
    return set;
}

class StatusNotifierItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.isConnected()) << "run through private-session.sh";
        startWatcher();
        // The item, with an XEmbed fallback of `fallbackShown` when needed.
        item = std::make_unique<StatusNotifierStatusItem>(bus, [this] {
            auto fake = std::make_unique<FakeStatusItem>();
            fake->shown = fallbackShown;
            fallback = fake.get();
            return fake;
        });
        ASSERT_TRUE(waitFor([&] { return item->isShown(); }));
    }
    void TearDown() override {
        item.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("host"));
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    }
    void startWatcher() {
        watcherBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
        watcherBus.registerObject("/StatusNotifierWatcher", &watcher,
                                  QDBusConnection::ExportAllSlots);
        watcherBus.registerService(kWatcherName);
    }
    void stopWatcher() {
        watcherBus.unregisterService(kWatcherName);
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    }
    BusPeer host() const { return {hostBus, watcher.registered.value(0)}; }
    QVariant property(const QString& name) const {
        return host().property(kItemPath, kItemInterface, name);
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnection hostBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("host"));
    QDBusConnection watcherBus{QStringLiteral("none")};
    FakeWatcher watcher;
    std::unique_ptr<StatusNotifierStatusItem> item;
    bool fallbackShown = true;
    FakeStatusItem* fallback = nullptr; // the last one made
};

TEST_F(StatusNotifierItemTest, RegistersAndShowsTheImageToolTipAndStatusSignallingRealChanges) {
    ASSERT_EQ(watcher.registered.size(), 1);
    EXPECT_TRUE(host().service.startsWith("org.kde.StatusNotifierItem-"));
    EXPECT_FALSE(fallback) << "no XEmbed icon beside a watcher";
    EXPECT_EQ(property("Status").toString(), "Active");
    EXPECT_EQ(property("Menu").value<QDBusObjectPath>().path(), kMenuPath);

    Heard heard;
    for (const char* name : {"NewIcon", "NewToolTip", "NewStatus"}) {
        hostBus.connect(host().service, kItemPath, kItemInterface, QString::fromLatin1(name),
                        &heard, SLOT(onSignal(QDBusMessage)));
    }
    item->setMood(StatusItem::Mood::idle);
    item->setImages(images(Qt::gray));
    EXPECT_EQ(property("IconName").toString(), "org.backbeacon.Backbeacon");
    const auto pixmaps = host().value<SniPixmaps>(kItemPath, kItemInterface, "IconPixmap");
    ASSERT_EQ(pixmaps.size(), 6);
    EXPECT_EQ(pixmaps[5].argb.size(), 64 * 64 * 4);
    // Big-endian ARGB: opaque grey (160, 160, 164) is ff a0 a0 a4.
    EXPECT_EQ(pixmaps[0].argb.left(4), QByteArray::fromHex("ffa0a0a4"));

    // The same images and mood again: nothing new to fetch.
    item->setImages(images(Qt::gray));
    item->setMood(StatusItem::Mood::idle);
    ASSERT_TRUE(waitFor([&] { return heard.signals_.count("NewIcon") >= 1; }));
    // Live (pixmaps, not the themed icon) and a new image in one turn: one signal.
    item->setMood(StatusItem::Mood::live);
    item->setImages(images(Qt::green));
    item->setImages(images(Qt::green));
    ASSERT_TRUE(waitFor([&] { return heard.signals_.count("NewIcon") >= 2; }));
    EXPECT_EQ(property("IconName").toString(), "");

    item->setToolTip(QStringLiteral("Aligned · today 92 %"));
    item->setToolTip(QStringLiteral("Aligned · today 92 %"));
    const auto toolTip = host().value<SniToolTip>(kItemPath, kItemInterface, "ToolTip");
    EXPECT_EQ(toolTip.title, "Backbeacon");
    EXPECT_EQ(toolTip.description, "Aligned · today 92 %");

    item->setMood(StatusItem::Mood::alert);
    EXPECT_EQ(property("Status").toString(), "NeedsAttention");
    item->setMood(StatusItem::Mood::live);
    ASSERT_TRUE(waitFor([&] { return heard.signals_.size() >= 5; }));
    QTest::qWait(100);
    EXPECT_EQ(heard.signals_, (QStringList{"NewIcon", "NewIcon", "NewToolTip",
                                           "NewStatus NeedsAttention", "NewStatus Active"}));
}

TEST_F(StatusNotifierItemTest, TheMenuLayoutAndItsClicksReachTheApp) {
    const BusPeer peer = host();
    // All levels (-1): the entries, each without children of its own.
    const QDBusMessage reply =
        peer.call(kMenuPath, kMenuInterface, "GetLayout", {0, -1, QStringList()});
    ASSERT_EQ(reply.arguments().size(), 2) << reply.errorMessage().toStdString();
    const auto layout = qdbus_cast<DBusMenuLayout>(reply.arguments()[1].value<QDBusArgument>());
    EXPECT_EQ(layout.properties.value("children-display").toString(), "submenu");
    QStringList shown;
    for (const DBusMenuLayout& child : layout.children) {
        const bool separator = child.properties.value("type").toString() == "separator";
        shown << (separator ? QStringLiteral("--") : child.properties.value("label").toString());
        EXPECT_TRUE(child.children.isEmpty());
    }
    ASSERT_EQ(shown, (QStringList{"Open Backbeacon", "Settings...", "--", "Quit Backbeacon"}));

    QSignalSpy open(item.get(), &StatusItem::openRequested);
    QSignalSpy settings(item.get(), &StatusItem::settingsRequested);
    QSignalSpy quit(item.get(), &StatusItem::quitRequested);
    // Clicks on the three entries; a hover is no click, nor is one on the separator.
    const std::pair<int, const char*> events[] = {
        {0, "clicked"}, {1, "clicked"}, {3, "clicked"}, {0, "hovered"}, {2, "clicked"}};
    for (const auto& [entry, what] : events) {
        peer.call(kMenuPath, kMenuInterface, "Event",
                  {layout.children[entry].id, QString::fromLatin1(what),
                   QVariant::fromValue(QDBusVariant(0)), 0u});
    }
    EXPECT_EQ(open.size(), 1);
    EXPECT_EQ(settings.size(), 1);
    EXPECT_EQ(quit.size(), 1);
}

TEST_F(StatusNotifierItemTest, ActivateGivesThePanelItsAnchorAndTheFallbackFollowsTheWatcher) {
    EXPECT_TRUE(item->geometry().isEmpty()) << "no anchor before the host says where";
    QSignalSpy clicked(item.get(), &StatusItem::clicked);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint inBottomBar(screen.left() + 300, screen.bottom() - 10);
    host().call(kItemPath, kItemInterface, "Activate", {inBottomBar.x(), inBottomBar.y()});
    EXPECT_EQ(clicked.size(), 1);
    EXPECT_EQ(item->geometry(), activationAnchor(inBottomBar, screen));
    EXPECT_EQ(item->geometry().top(), screen.bottom() - 20);

    // The watcher goes: the XEmbed fallback takes over from what the item
    // shows, and passes on clicks with its own icon's place.
    QSignalSpy shown(item.get(), &StatusItem::shownChanged);
    item->setImage(images(Qt::red, {22})[0]);
    item->setToolTip(QStringLiteral("Aligned"));
    fallbackShown = false;
    stopWatcher();
    ASSERT_TRUE(waitFor([&] { return fallback; }));
    EXPECT_FALSE(item->isShown());
    EXPECT_FALSE(item->usesStatusNotifier());
    ASSERT_EQ(fallback->images.size(), 1u);
    EXPECT_EQ(fallback->images[0].pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(fallback->toolTip, "Aligned");
    emit fallback->clicked();
    EXPECT_EQ(clicked.size(), 2);
    EXPECT_EQ(item->geometry(), fallback->iconGeometry);
    // It comes back: the item registers again and shows.
    startWatcher();
    ASSERT_TRUE(waitFor([&] { return item->usesStatusNotifier(); }));
    EXPECT_TRUE(item->isShown());
    EXPECT_EQ(watcher.registered.size(), 2);
    ASSERT_GE(shown.size(), 2);
    EXPECT_TRUE(shown.back().front().toBool());
}

} // namespace
} // namespace backbeacon::testing

#include "StatusNotifierItemTest.moc"
