#include "StatusNotifierItem.h"

#include "QtStatusItem.h"
#include "ui/PanelPlacement.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcSni, "backbeacon.tray")

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
// The installed icon, which the desktop's theme draws sharp at any size.
const QString kThemedIcon = QStringLiteral("org.backbeacon.Backbeacon");

enum MenuId { kRoot = 0, kOpen = 1, kSettings = 2, kSeparator = 3, kQuit = 4 };

int nextItemNumber() {
    static int number = 0;
    return ++number;
}

} // namespace

// ---- the item ----

SniItemObject::SniItemObject(QObject* parent) : QObject(parent) {
    m_toolTip.title = m_title;
    m_newIcon.setSingleShot(true);
    m_newIcon.setInterval(0);
    connect(&m_newIcon, &QTimer::timeout, this, &SniItemObject::NewIcon);
}

void SniItemObject::setPixmaps(const SniPixmaps& pixmaps, const QString& iconName) {
    if (pixmaps == m_pixmaps && iconName == m_iconName) {
        return;
    }
    m_pixmaps = pixmaps;
    m_iconName = iconName;
    m_newIcon.start();
}

void SniItemObject::setToolTipText(const QString& description) {
    if (description == m_toolTip.description) {
        return;
    }
    m_toolTip.description = description;
    emit NewToolTip();
}

void SniItemObject::setAttention(bool attention) {
    const QString status = attention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
    if (status == m_status) {
        return;
    }
    m_status = status;
    emit NewStatus(status);
}

void SniItemObject::Activate(int x, int y) {
    emit activated({x, y});
}

void SniItemObject::SecondaryActivate(int, int) {}

void SniItemObject::ContextMenu(int x, int y) {
    emit contextMenuRequested({x, y});
}

void SniItemObject::Scroll(int, const QString&) {}

// ---- the menu ----

DBusMenuObject::DBusMenuObject(QList<Entry> entries, QObject* parent)
    : QObject(parent), m_entries(std::move(entries)) {}

bool DBusMenuObject::exists(int id) const {
    return id == kRoot || std::any_of(m_entries.begin(), m_entries.end(),
                                      [id](const Entry& e) { return e.id == id; });
}

QVariantMap DBusMenuObject::properties(int id, const QStringList& names) const {
    QVariantMap all;
    if (id == kRoot) {
        all[QStringLiteral("children-display")] = QStringLiteral("submenu");
    }
    for (const Entry& entry : m_entries) {
        if (entry.id != id) {
            continue;
        }
        if (entry.label.isEmpty()) {
            all[QStringLiteral("type")] = QStringLiteral("separator");
        } else {
            all[QStringLiteral("label")] = entry.label;
            all[QStringLiteral("enabled")] = true;
            all[QStringLiteral("visible")] = true;
        }
    }
    if (names.isEmpty()) {
        return all;
    }
    QVariantMap asked;
    for (const QString& name : names) {
        if (all.contains(name)) {
            asked[name] = all[name];
        }
    }
    return asked;
}

uint DBusMenuObject::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                               DBusMenuLayout& layout) {
    layout = {parentId, properties(parentId, propertyNames), {}};
    // Only the root has children; a depth of 0 asks for the node alone.
    if (parentId == kRoot && recursionDepth != 0) {
        for (const Entry& entry : m_entries) {
            layout.children.push_back({entry.id, properties(entry.id, propertyNames), {}});
        }
    }
    return 1; // the layout never changes: one revision
}

DBusMenuItemPropertiesList DBusMenuObject::GetGroupProperties(const QList<int>& ids,
                                                              const QStringList& propertyNames) {
    DBusMenuItemPropertiesList items;
    for (int id : ids) {
        if (exists(id)) {
            items.push_back({id, properties(id, propertyNames)});
        }
    }
    return items;
}

QDBusVariant DBusMenuObject::GetProperty(int id, const QString& name) {
    return QDBusVariant(properties(id, {}).value(name));
}

void DBusMenuObject::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (eventId == QLatin1String("clicked") && id != kRoot && exists(id)) {
        emit entryClicked(id);
    }
}

QList<int> DBusMenuObject::EventGroup(const DBusMenuEventList& events) {
    QList<int> errors;
    for (const DBusMenuEvent& event : events) {
        if (exists(event.id)) {
            Event(event.id, event.eventId, event.data, event.timestamp);
        } else {
            errors.push_back(event.id);
        }
    }
    return errors;
}

bool DBusMenuObject::AboutToShow(int) {
    return false; // nothing to update before it shows
}

QList<int> DBusMenuObject::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (int id : ids) {
        if (!exists(id)) {
            idErrors.push_back(id);
        }
    }
    return {};
}

// ---- the status item ----

StatusNotifierStatusItem::StatusNotifierStatusItem(QDBusConnection bus, Fallback makeFallback,
                                                   QObject* parent)
    : StatusItem(parent), m_bus(std::move(bus)), m_makeFallback(std::move(makeFallback)),
      m_service(QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(nextItemNumber())),
      m_menu({{kOpen, QStringLiteral("Open Backbeacon")},
              {kSettings, QStringLiteral("Settings...")},
              {kSeparator, {}},
              {kQuit, QStringLiteral("Quit Backbeacon")}}),
      m_watcher(kWatcherService, m_bus,
                QDBusServiceWatcher::WatchForRegistration |
                    QDBusServiceWatcher::WatchForUnregistration) {
    registerStatusNotifierTypes();
    pushPixmaps(); // the themed icon until the first image
    connect(&m_item, &SniItemObject::activated, this, [this](QPoint at) {
        m_activatedAt = at;
        emit clicked();
    });
    connect(&m_menu, &DBusMenuObject::entryClicked, this, [this](int id) {
        if (id == kOpen) {
            emit openRequested();
        } else if (id == kSettings) {
            emit settingsRequested();
        } else if (id == kQuit) {
            emit quitRequested();
        }
    });
    // Hosts without a menu of their own ask the item to show one.
    addStatusMenuActions(m_contextMenu, *this);
    connect(&m_item, &SniItemObject::contextMenuRequested, this,
            [this](QPoint at) { m_contextMenu.popup(at / devicePixelRatio()); });

    const auto options = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                         QDBusConnection::ExportAllProperties;
    if (!m_bus.isConnected() || !m_bus.registerObject(kItemPath, &m_item, options) ||
        !m_bus.registerObject(kMenuPath, &m_menu, options) || !m_bus.registerService(m_service)) {
        qCWarning(lcSni) << "no session bus for a StatusNotifierItem:"
                         << m_bus.lastError().message();
    }
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &StatusNotifierStatusItem::watcherAppeared);
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &StatusNotifierStatusItem::watcherGone);
    if (m_bus.isConnected() && m_bus.interface()->isServiceRegistered(kWatcherService)) {
        watcherAppeared();
    } else {
        useFallback();
    }
}

StatusNotifierStatusItem::~StatusNotifierStatusItem() {
    if (m_bus.isConnected()) {
        m_bus.unregisterService(m_service);
        m_bus.unregisterObject(kMenuPath);
        m_bus.unregisterObject(kItemPath);
    }
}

void StatusNotifierStatusItem::watcherAppeared() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, kWatcherService,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << m_service;
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError()) {
            qCWarning(lcSni) << "the StatusNotifierWatcher refused the item:"
                             << w->error().message();
            useFallback();
            return;
        }
        m_registered = true;
        if (m_fallback) {
            m_fallback.reset(); // its XEmbed icon leaves the tray
        }
        qCInfo(lcSni) << "StatusNotifierItem registered as" << m_service;
        setShown(true);
    });
}

void StatusNotifierStatusItem::watcherGone() {
    m_registered = false;
    qCInfo(lcSni) << "the StatusNotifierWatcher went away";
    useFallback();
}

void StatusNotifierStatusItem::useFallback() {
    if (m_registered || m_fallback || !m_makeFallback) {
        setShown(false);
        return;
    }
    m_fallback = m_makeFallback();
    connect(m_fallback.get(), &StatusItem::clicked, this, [this] {
        m_activatedAt.reset();
        emit clicked();
    });
    connect(m_fallback.get(), &StatusItem::openRequested, this, &StatusItem::openRequested);
    connect(m_fallback.get(), &StatusItem::settingsRequested, this, &StatusItem::settingsRequested);
    connect(m_fallback.get(), &StatusItem::quitRequested, this, &StatusItem::quitRequested);
    connect(m_fallback.get(), &StatusItem::shownChanged, this, &StatusNotifierStatusItem::setShown);
    m_fallback->setToolTip(m_toolTip);
    if (!m_image.isNull()) {
        m_fallback->setImage(m_image);
    }
    setShown(m_fallback->isShown());
}

void StatusNotifierStatusItem::setShown(bool shown) {
    if (shown != m_shown) {
        m_shown = shown;
        emit shownChanged(shown);
    }
}

void StatusNotifierStatusItem::setImage(const QImage& image) {
    m_image = image;
    if (m_fallback) {
        m_fallback->setImage(image);
    }
}

QList<int> StatusNotifierStatusItem::imageSizes() const {
    // What panels from 16 px to HiDPI ones pick from.
    return {16, 22, 24, 32, 48, 64};
}

void StatusNotifierStatusItem::setImages(const QList<QImage>& images) {
    m_images = images;
    pushPixmaps();
}

void StatusNotifierStatusItem::setMood(Mood mood) {
    m_mood = mood;
    m_item.setAttention(mood == Mood::alert);
    pushPixmaps();
}

void StatusNotifierStatusItem::pushPixmaps() {
    SniPixmaps pixmaps;
    for (const QImage& image : m_images) {
        pixmaps.push_back(sniPixmap(image));
    }
    m_item.setPixmaps(pixmaps, m_mood == Mood::idle ? kThemedIcon : QString());
}

void StatusNotifierStatusItem::setToolTip(const QString& text) {
    m_toolTip = text;
    m_item.setToolTipText(text);
    if (m_fallback) {
        m_fallback->setToolTip(text);
    }
}

bool StatusNotifierStatusItem::isShown() const {
    return m_shown;
}

QRect StatusNotifierStatusItem::geometry() const {
    if (m_fallback) {
        return m_fallback->geometry();
    }
    if (!m_activatedAt) {
        return {};
    }
    // The host speaks in device pixels, the panel is placed in logical ones.
    const QPoint at = *m_activatedAt / devicePixelRatio();
    const QScreen* screen = QGuiApplication::screenAt(at);
    return screen ? activationAnchor(at, screen->geometry()) : QRect();
}

qreal StatusNotifierStatusItem::devicePixelRatio() const {
    return qApp->devicePixelRatio();
}

} // namespace backbeacon
