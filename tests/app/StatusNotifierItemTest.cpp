// The tray item as a StatusNotifierItem host sees it, over a private session
// bus (scripts/private-session.sh): a watcher of the test's own, the host's
// calls and reads on a connection of their own.
#include "app/StatusNotifierItem.h"

#include "AppFakes.h"
#include "WaitFor.h"
#include "ui/PanelPlacement.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
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

// Counts a host's change signals.
class SignalCounter final : public QObject {
    Q_OBJECT

public:
    int newIcon = 0;
    int newToolTip = 0;
    QStringList statuses;

public slots:
    void onNewIcon() { ++newIcon; }
    void onNewToolTip() { ++newToolTip; }
    void onNewStatus(const QString& status) { statuses.push_back(status); }
};

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

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

// The host calls wait in an event loop, so the item, served in this thread
// too, can answer.
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

    void build() {
        item = std::make_unique<StatusNotifierStatusItem>(bus, [this] {
            auto fake = std::make_unique<FakeStatusItem>();
            fake->shown = fallbackShown;
            ++fallbacksMade;
            lastFallback = fake.get();
            return fake;
        });
    }
    QString service() const { return watcher.registered.value(0); }

    QVariant property(const QString& interface, const QString& path, const QString& name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service(), path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << interface << name;
        const QDBusReply<QDBusVariant> reply = host.call(get, QDBus::BlockWithGui);
        EXPECT_TRUE(reply.isValid())
            << name.toStdString() << ": " << reply.error().message().toStdString();
        return reply.value().variant();
    }
    QVariant itemProperty(const QString& name) { return property(kItemInterface, kItemPath, name); }
    template <typename T> T itemValue(const QString& name) {
        return qdbus_cast<T>(itemProperty(name).value<QDBusArgument>());
    }
    void listen(SignalCounter& counter) {
        host.connect(service(), kItemPath, kItemInterface, QStringLiteral("NewIcon"), &counter,
                     SLOT(onNewIcon()));
        host.connect(service(), kItemPath, kItemInterface, QStringLiteral("NewToolTip"), &counter,
                     SLOT(onNewToolTip()));
        host.connect(service(), kItemPath, kItemInterface, QStringLiteral("NewStatus"), &counter,
                     SLOT(onNewStatus(QString)));
    }
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(service(), path, interface, method);
        message.setArguments(arguments);
        return host.call(message, QDBus::BlockWithGui);
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnection host =
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
    ASSERT_TRUE(waitFor([&] { return rig.item->isShown(); }));
    ASSERT_EQ(rig.watcher.registered.size(), 1);
    EXPECT_TRUE(rig.service().startsWith("org.kde.StatusNotifierItem-"))
        << rig.service().toStdString();
    EXPECT_EQ(rig.fallbacksMade, 0) << "no XEmbed icon beside a watcher";
    EXPECT_EQ(rig.item->imageSizes(), (QList<int>{16, 22, 24, 32, 48, 64}));

    EXPECT_EQ(rig.itemProperty("Id").toString(), "backbeacon");
    EXPECT_EQ(rig.itemProperty("Status").toString(), "Active");
    EXPECT_FALSE(rig.itemProperty("ItemIsMenu").toBool());
    EXPECT_EQ(rig.itemProperty("Menu").value<QDBusObjectPath>().path(), "/MenuBar");

    SignalCounter counter;
    rig.listen(counter);
    rig.item->setMood(StatusItem::Mood::idle);
    rig.item->setImages(images(Qt::gray));
    EXPECT_EQ(rig.itemProperty("IconName").toString(), "org.backbeacon.Backbeacon");
    const auto pixmaps = rig.itemValue<SniPixmaps>("IconPixmap");
    ASSERT_EQ(pixmaps.size(), 6);
    EXPECT_EQ(pixmaps[5].width, 64);
    EXPECT_EQ(pixmaps[5].argb.size(), 64 * 64 * 4);
    // Big-endian ARGB: opaque grey (160, 160, 164) is ff a0 a0 a4.
    EXPECT_EQ(pixmaps[0].argb.left(4), QByteArray::fromHex("ffa0a0a4"));

    // The same images again, and the same mood: nothing for the host to fetch.
    rig.item->setImages(images(Qt::gray));
    rig.item->setMood(StatusItem::Mood::idle);
    ASSERT_TRUE(waitFor([&] { return counter.newIcon >= 1; }));
    // Live: the pixmaps rather than the themed icon, and a new image, in the
    // same turn: one signal for both.
    rig.item->setMood(StatusItem::Mood::live);
    rig.item->setImages(images(Qt::green));
    rig.item->setImages(images(Qt::green));
    ASSERT_TRUE(waitFor([&] { return counter.newIcon >= 2; }));
    QTest::qWait(100);
    EXPECT_EQ(counter.newIcon, 2);
    EXPECT_EQ(rig.itemProperty("IconName").toString(), "");

    rig.item->setToolTip(QStringLiteral("Aligned · today 92 %"));
    rig.item->setToolTip(QStringLiteral("Aligned · today 92 %"));
    const auto toolTip = rig.itemValue<SniToolTip>("ToolTip");
    EXPECT_EQ(toolTip.title, "Backbeacon");
    EXPECT_EQ(toolTip.description, "Aligned · today 92 %");

    rig.item->setMood(StatusItem::Mood::alert);
    EXPECT_EQ(rig.itemProperty("Status").toString(), "NeedsAttention");
    rig.item->setMood(StatusItem::Mood::live);
    ASSERT_TRUE(waitFor([&] { return counter.statuses.size() >= 2; }));
    QTest::qWait(100);
    EXPECT_EQ(counter.statuses, (QStringList{"NeedsAttention", "Active"}));
    EXPECT_EQ(counter.newToolTip, 1);
}

TEST(StatusNotifierItemTest, TheMenuLayoutAndItsClicksReachTheApp) {
    Rig rig;
    rig.build();
    ASSERT_TRUE(waitFor([&] { return rig.item->isShown(); }));
    const QString menu = QStringLiteral("/MenuBar");
    const QString dbusmenu = QStringLiteral("com.canonical.dbusmenu");
    EXPECT_EQ(rig.property(dbusmenu, menu, "Version").toUInt(), 3u);

    const QDBusMessage reply = rig.call(menu, dbusmenu, "GetLayout", {0, -1, QStringList()});
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
    const QDBusMessage labels = rig.call(menu, dbusmenu, "GetLayout", {0, 1, QStringList{"label"}});
    const auto labelled = qdbus_cast<DBusMenuLayout>(labels.arguments()[1].value<QDBusArgument>());
    ASSERT_EQ(labelled.children.size(), 4);
    EXPECT_EQ(labelled.children[0].properties.keys(), QStringList{"label"});

    QSignalSpy open(rig.item.get(), &StatusItem::openRequested);
    QSignalSpy settings(rig.item.get(), &StatusItem::settingsRequested);
    QSignalSpy quit(rig.item.get(), &StatusItem::quitRequested);
    const QVariant noData = QVariant::fromValue(QDBusVariant(0));
    for (int id : {layout.children[0].id, layout.children[1].id, layout.children[3].id}) {
        rig.call(menu, dbusmenu, "Event", {id, QStringLiteral("clicked"), noData, 0u});
    }
    // Hovering is no click, nor is a click on the separator.
    rig.call(menu, dbusmenu, "Event",
             {layout.children[0].id, QStringLiteral("hovered"), noData, 0u});
    rig.call(menu, dbusmenu, "Event",
             {layout.children[2].id, QStringLiteral("clicked"), noData, 0u});
    EXPECT_EQ(open.size(), 1);
    EXPECT_EQ(settings.size(), 1);
    EXPECT_EQ(quit.size(), 1);

    // A host without a menu of its own asks for ours at the click.
    const QPoint at(200, 150);
    rig.call(kItemPath, kItemInterface, "ContextMenu", {at.x(), at.y()});
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
    ASSERT_TRUE(waitFor([&] { return rig.item->isShown(); }));
    EXPECT_TRUE(rig.item->geometry().isEmpty()) << "no anchor before the host says where";

    QSignalSpy clicked(rig.item.get(), &StatusItem::clicked);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint inBottomBar(screen.left() + 300, screen.bottom() - 10);
    rig.call(kItemPath, kItemInterface, "Activate", {inBottomBar.x(), inBottomBar.y()});
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
    EXPECT_TRUE(rig.item->isShown());
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
