// The tray item as a StatusNotifierItem host sees it, over a private session
// bus (scripts/private-session.sh): a watcher of the test's own, the host's
// calls and reads on a connection of their own.
#include "app/StatusNotifierItem.h"

#include "AppFakes.h"
#include "BusPeer.h"
#include "WaitFor.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMenu>

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

QList<QImage> images(QColor color) {
    QList<QImage> set;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        set.push_back(QImage(size, size, QImage::Format_ARGB32_Premultiplied));
        set.back().fill(color);
    }
    return set;
}

class StatusNotifierItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.isConnected()) << "run through private-session.sh";
        watcherBus.registerObject("/StatusNotifierWatcher", &watcher,
                                  QDBusConnection::ExportAllSlots);
        watcherBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        // The item, with an XEmbed fallback should the watcher go.
        item = std::make_unique<StatusNotifierStatusItem>(
            bus, [] { return std::make_unique<FakeStatusItem>(); });
        ASSERT_TRUE(waitFor([&] { return item->isShown(); }));
    }
    void TearDown() override {
        item.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("host"));
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    }
    BusPeer host() const { return {hostBus, watcher.registered.value(0)}; }
    QVariant property(const QString& name) const {
        return host().property(kItemPath, kItemInterface, name);
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnection hostBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("host"));
    QDBusConnection watcherBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
    FakeWatcher watcher;
    std::unique_ptr<StatusNotifierStatusItem> item;
};

TEST_F(StatusNotifierItemTest, RegistersAndShowsTheImageToolTipAndStatusSignallingRealChanges) {
    ASSERT_EQ(watcher.registered.size(), 1);
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
    EXPECT_EQ(pixmaps[0].argb.left(4), QByteArray::fromHex("ffa0a0a4")) << "big-endian ARGB";

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

    QStringList asked;
    QObject::connect(item.get(), &StatusItem::openRequested, [&] { asked << "open"; });
    QObject::connect(item.get(), &StatusItem::settingsRequested, [&] { asked << "settings"; });
    QObject::connect(item.get(), &StatusItem::quitRequested, [&] { asked << "quit"; });
    // Clicks on the three entries; a hover is no click, nor is one on the separator.
    const std::pair<int, const char*> events[] = {
        {0, "clicked"}, {1, "clicked"}, {3, "clicked"}, {0, "hovered"}, {2, "clicked"}};
    for (const auto& [entry, what] : events) {
        peer.call(kMenuPath, kMenuInterface, "Event",
                  {layout.children[entry].id, QString::fromLatin1(what),
                   QVariant::fromValue(QDBusVariant(0)), 0u});
    }
    EXPECT_EQ(asked, (QStringList{"open", "settings", "quit"}));

    // A host without a menu of its own asks for ours at the click.
    peer.call(kItemPath, kItemInterface, "ContextMenu", {200, 150});
    QMenu* popup = nullptr;
    ASSERT_TRUE(waitFor([&] {
        return (popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr;
    }));
    EXPECT_EQ(popup->pos(), QPoint(200, 150));
    popup->actions().back()->trigger();
    EXPECT_EQ(asked.back(), "quit");
    popup->close();
}

} // namespace
} // namespace backbeacon::testing

#include "StatusNotifierItemTest.moc"
