// The tray item as a StatusNotifierItem host sees it, over a private session
// bus (scripts/private-session.sh): a watcher of the test's own, the host's
// calls and reads on a connection of their own.
#include "app/StatusNotifierItem.h"

#include "AppFakes.h"
#include "BusPeer.h"
#include "WaitFor.h"
#include "ui/PanelPlacement.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace backbeacon::testing {

// Stands in for the desktop's watcher: remembers who registered.
class FakeWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

public:
    QStringList registered;

public slots:
    void RegisterStatusNotifierItem(const QString& service) { registered.push_back(service); }
};

// What a host hears from the item: each change signal by name, a new status
// with the status.
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

QImage filled(int size, QColor color) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

QList<QImage> images(QColor color) {
    QList<QImage> set;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        set.push_back(filled(size, color));
    }
    return set;
}

// The item on the test's session bus; the host's calls and reads on a
// connection of their own, the watcher on another.
struct Rig {
    Rig() {
        EXPECT_TRUE(bus.isConnected()) << "run through private-session.sh";
        startWatcher();
    }
    ~Rig() {
        item.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("host"));
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    }

    void startWatcher() {
        watcherBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
        watcherBus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                  QDBusConnection::ExportAllSlots);
        watcherBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    void stopWatcher() {
        watcherBus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    }

    // Builds the item and waits until it is shown.
    void build() {
        item = std::make_unique<StatusNotifierStatusItem>(bus, [this] {
            auto fake = std::make_unique<FakeStatusItem>();
            fake->shown = fallbackShown;
            ++fallbacksMade;
            lastFallback = fake.get();
            return fake;
        });
        EXPECT_TRUE(waitFor([&] { return item->isShown(); }));
    }
    BusPeer host() const { return {hostBus, watcher.registered.value(0)}; }
    QVariant itemProperty(const QString& name) const {
        return host().property(kItemPath, kItemInterface, name);
    }
    void listen(Heard& heard) {
        for (const char* name : {"NewIcon", "NewToolTip", "NewStatus"}) {
            hostBus.connect(host().service, kItemPath, kItemInterface, QString::fromLatin1(name),
                            &heard, SLOT(onSignal(QDBusMessage)));
        }
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnection hostBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("host"));
    QDBusConnection watcherBus{QStringLiteral("none")};
    FakeWatcher watcher;
    std::unique_ptr<StatusNotifierStatusItem> item;
    bool fallbackShown = true;
    int fallbacksMade = 0;
    FakeStatusItem* lastFallback = nullptr;
};

TEST(StatusNotifierItemTest, RegistersAndShowsTheImageToolTipAndStatusSignallingRealChanges) {
    Rig rig;
    rig.build();
    ASSERT_EQ(rig.watcher.registered.size(), 1);
    EXPECT_TRUE(rig.host().service.startsWith("org.kde.StatusNotifierItem-"))
        << rig.host().service.toStdString();
    EXPECT_EQ(rig.fallbacksMade, 0) << "no XEmbed icon beside a watcher";

    EXPECT_EQ(rig.itemProperty("Id").toString(), "backbeacon");
    EXPECT_EQ(rig.itemProperty("Status").toString(), "Active");
    EXPECT_FALSE(rig.itemProperty("ItemIsMenu").toBool());
    EXPECT_EQ(rig.itemProperty("Menu").value<QDBusObjectPath>().path(), kMenuPath);

    Heard heard;
    rig.listen(heard);
    rig.item->setMood(StatusItem::Mood::idle);
    rig.item->setImages(images(Qt::gray));
    EXPECT_EQ(rig.itemProperty("IconName").toString(), "org.backbeacon.Backbeacon");
    const auto pixmaps = rig.host().value<SniPixmaps>(kItemPath, kItemInterface, "IconPixmap");
    ASSERT_EQ(pixmaps.size(), 6);
    EXPECT_EQ(pixmaps[5].width, 64);
    EXPECT_EQ(pixmaps[5].argb.size(), 64 * 64 * 4);
    // Big-endian ARGB: opaque grey (160, 160, 164) is ff a0 a0 a4.
    EXPECT_EQ(pixmaps[0].argb.left(4), QByteArray::fromHex("ffa0a0a4"));

    // The same images again, and the same mood: nothing for the host to fetch.
    rig.item->setImages(images(Qt::gray));
    rig.item->setMood(StatusItem::Mood::idle);
    ASSERT_TRUE(waitFor([&] { return heard.signals_.count("NewIcon") >= 1; }));
    // Live: the pixmaps rather than the themed icon, and a new image, in the
    // same turn: one signal for both.
    rig.item->setMood(StatusItem::Mood::live);
    rig.item->setImages(images(Qt::green));
    rig.item->setImages(images(Qt::green));
    ASSERT_TRUE(waitFor([&] { return heard.signals_.count("NewIcon") >= 2; }));
    EXPECT_EQ(rig.itemProperty("IconName").toString(), "");

    rig.item->setToolTip(QStringLiteral("Aligned · today 92 %"));
    rig.item->setToolTip(QStringLiteral("Aligned · today 92 %"));
    const auto toolTip = rig.host().value<SniToolTip>(kItemPath, kItemInterface, "ToolTip");
    EXPECT_EQ(toolTip.title, "Backbeacon");
    EXPECT_EQ(toolTip.description, "Aligned · today 92 %");

    rig.item->setMood(StatusItem::Mood::alert);
    EXPECT_EQ(rig.itemProperty("Status").toString(), "NeedsAttention");
    rig.item->setMood(StatusItem::Mood::live);
    ASSERT_TRUE(waitFor([&] { return heard.signals_.size() >= 5; }));
    QTest::qWait(100);
    EXPECT_EQ(heard.signals_, (QStringList{"NewIcon", "NewIcon", "NewToolTip",
                                           "NewStatus NeedsAttention", "NewStatus Active"}));
}

TEST(StatusNotifierItemTest, TheMenuLayoutAndItsClicksReachTheApp) {
    Rig rig;
    rig.build();
    const BusPeer host = rig.host();
    EXPECT_EQ(host.property(kMenuPath, kMenuInterface, "Version").toUInt(), 3u);

    const QDBusMessage reply =
        host.call(kMenuPath, kMenuInterface, "GetLayout", {0, -1, QStringList()});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_EQ(reply.arguments().size(), 2);
    const auto layout = qdbus_cast<DBusMenuLayout>(reply.arguments()[1].value<QDBusArgument>());
    EXPECT_EQ(layout.id, 0);
    EXPECT_EQ(layout.properties.value("children-display").toString(), "submenu");
    QStringList shown;
    for (const DBusMenuLayout& child : layout.children) {
        shown.push_back(child.properties.value("type").toString() == "separator"
                            ? QStringLiteral("--")
                            : child.properties.value("label").toString());
        EXPECT_TRUE(child.children.isEmpty());
    }
    EXPECT_EQ(shown, (QStringList{"Open Backbeacon", "Settings...", "--", "Quit Backbeacon"}));

    // Asked for labels alone, only labels come back.
    const QDBusMessage labels =
        host.call(kMenuPath, kMenuInterface, "GetLayout", {0, 1, QStringList{"label"}});
    const auto labelled = qdbus_cast<DBusMenuLayout>(labels.arguments()[1].value<QDBusArgument>());
    ASSERT_EQ(labelled.children.size(), 4);
    EXPECT_EQ(labelled.children[0].properties.keys(), QStringList{"label"});

    QSignalSpy open(rig.item.get(), &StatusItem::openRequested);
    QSignalSpy settings(rig.item.get(), &StatusItem::settingsRequested);
    QSignalSpy quit(rig.item.get(), &StatusItem::quitRequested);
    const auto event = [&](int entry, const char* what) {
        host.call(kMenuPath, kMenuInterface, "Event",
                  {layout.children[entry].id, QString::fromLatin1(what),
                   QVariant::fromValue(QDBusVariant(0)), 0u});
    };
    for (int entry : {0, 1, 3}) {
        event(entry, "clicked");
    }
    // Hovering is no click, nor is a click on the separator.
    event(0, "hovered");
    event(2, "clicked");
    EXPECT_EQ(open.size(), 1);
    EXPECT_EQ(settings.size(), 1);
    EXPECT_EQ(quit.size(), 1);

    // A host without a menu of its own asks for ours at the click.
    const QPoint at(200, 150);
    host.call(kItemPath, kItemInterface, "ContextMenu", {at.x(), at.y()});
    QMenu* popup = nullptr;
    ASSERT_TRUE(waitFor([&] {
        popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return popup && popup->isVisible();
    }));
    EXPECT_EQ(popup->pos(), at);
    QStringList entries;
    for (const QAction* action : popup->actions()) {
        entries.push_back(action->isSeparator() ? QStringLiteral("--") : action->text());
    }
    EXPECT_EQ(entries, shown);
    popup->actions().back()->trigger();
    EXPECT_EQ(quit.size(), 2);
    popup->close();
}

TEST(StatusNotifierItemTest, ActivateGivesThePanelItsAnchorAndTheFallbackFollowsTheWatcher) {
    Rig rig;
    rig.build();
    EXPECT_TRUE(rig.item->geometry().isEmpty()) << "no anchor before the host says where";

    QSignalSpy clicked(rig.item.get(), &StatusItem::clicked);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint inBottomBar(screen.left() + 300, screen.bottom() - 10);
    rig.host().call(kItemPath, kItemInterface, "Activate", {inBottomBar.x(), inBottomBar.y()});
    EXPECT_EQ(clicked.size(), 1);
    EXPECT_EQ(rig.item->geometry(), activationAnchor(inBottomBar, screen));
    EXPECT_EQ(rig.item->geometry().top(), screen.bottom() - 20);

    // The watcher goes: the XEmbed fallback takes over, with its host's state.
    QSignalSpy shown(rig.item.get(), &StatusItem::shownChanged);
    rig.item->setImage(filled(22, Qt::red));
    rig.item->setToolTip(QStringLiteral("Aligned"));
    rig.fallbackShown = false;
    rig.stopWatcher();
    ASSERT_TRUE(waitFor([&] { return rig.fallbacksMade == 1; }));
    EXPECT_FALSE(rig.item->isShown());
    EXPECT_FALSE(rig.item->usesStatusNotifier());
    // It starts with what the item shows.
    ASSERT_EQ(rig.lastFallback->images.size(), 1u);
    EXPECT_EQ(rig.lastFallback->images[0].pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(rig.lastFallback->toolTip, "Aligned");

    // It comes back: the item registers again and shows.
    rig.startWatcher();
    ASSERT_TRUE(waitFor([&] { return rig.item->usesStatusNotifier(); }));
    EXPECT_TRUE(rig.item->isShown());
    EXPECT_EQ(rig.watcher.registered.size(), 2);
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.back().front().toBool(), true);
}

TEST(StatusNotifierItemTest, WithoutAWatcherTheFallbackIsTheItem) {
    Rig rig;
    rig.stopWatcher();
    rig.build();
    EXPECT_EQ(rig.fallbacksMade, 1);
    EXPECT_FALSE(rig.item->usesStatusNotifier());
    EXPECT_TRUE(rig.watcher.registered.isEmpty());
    // Images, tool tip and clicks pass through.
    rig.item->setImage(filled(22, Qt::red));
    rig.item->setToolTip(QStringLiteral("Aligned"));
    EXPECT_EQ(rig.lastFallback->images.size(), 1u);
    EXPECT_EQ(rig.lastFallback->toolTip, "Aligned");
    QSignalSpy clicked(rig.item.get(), &StatusItem::clicked);
    emit rig.lastFallback->clicked();
    EXPECT_EQ(clicked.size(), 1);
    EXPECT_EQ(rig.item->geometry(), rig.lastFallback->iconGeometry) << "XEmbed's icon geometry";
}

} // namespace
} // namespace backbeacon::testing

#include "StatusNotifierItemTest.moc"
