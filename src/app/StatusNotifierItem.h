#pragma once

#include "StatusItem.h"
#include "StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QPoint>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace backbeacon {

// The item as hosts see it at /StatusNotifierItem: its properties, the
// activation calls and the change signals.
class SniItemObject final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category MEMBER m_category)
    Q_PROPERTY(QString Id MEMBER m_id)
    Q_PROPERTY(QString Title MEMBER m_title)
    Q_PROPERTY(QString Status MEMBER m_status)
    Q_PROPERTY(int WindowId MEMBER m_windowId)
    Q_PROPERTY(QString IconThemePath MEMBER m_empty)
    Q_PROPERTY(QString IconName MEMBER m_iconName)
    Q_PROPERTY(backbeacon::SniPixmaps IconPixmap MEMBER m_pixmaps)
    Q_PROPERTY(QString OverlayIconName MEMBER m_empty)
    Q_PROPERTY(backbeacon::SniPixmaps OverlayIconPixmap MEMBER m_noPixmaps)
    Q_PROPERTY(QString AttentionIconName MEMBER m_empty)
    Q_PROPERTY(backbeacon::SniPixmaps AttentionIconPixmap MEMBER m_noPixmaps)
    Q_PROPERTY(QString AttentionMovieName MEMBER m_empty)
    Q_PROPERTY(backbeacon::SniToolTip ToolTip MEMBER m_toolTip)
    Q_PROPERTY(bool ItemIsMenu MEMBER m_itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu MEMBER m_menu)

public:
    explicit SniItemObject(QObject* parent = nullptr);

    // Each one signals the hosts only when the value really changes.
    void setPixmaps(const SniPixmaps& pixmaps, const QString& iconName);
    void setToolTipText(const QString& description);
    void setAttention(bool attention);

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

    void activated(QPoint at);
    void contextMenuRequested(QPoint at);

private:
    QString m_category = QStringLiteral("ApplicationStatus");
    QString m_id = QStringLiteral("backbeacon");
    QString m_title = QStringLiteral("Backbeacon");
    QString m_status = QStringLiteral("Active");
    int m_windowId = 0;
    QString m_empty;
    QString m_iconName;
    SniPixmaps m_pixmaps;
    SniPixmaps m_noPixmaps;
    SniToolTip m_toolTip;
    bool m_itemIsMenu = false;
    QDBusObjectPath m_menu{QStringLiteral("/MenuBar")};
    // One NewIcon for all changes in one turn of the event loop (a new mood
    // and a new image come together): each one has every host fetch it all.
    QTimer m_newIcon;
};

// The menu at /MenuBar, for hosts that draw it themselves: a fixed list of
// entries, each one's "clicked" event reported by id.
class DBusMenuObject final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version MEMBER m_version)
    Q_PROPERTY(QString TextDirection MEMBER m_textDirection)
    Q_PROPERTY(QString Status MEMBER m_status)
    Q_PROPERTY(QStringList IconThemePath MEMBER m_iconThemePath)

public:
    struct Entry {
        int id = 0;
        QString label; // empty for a separator
    };
    explicit DBusMenuObject(QList<Entry> entries, QObject* parent = nullptr);

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   backbeacon::DBusMenuLayout& layout);
    backbeacon::DBusMenuItemPropertiesList GetGroupProperties(const QList<int>& ids,
                                                              const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const backbeacon::DBusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void ItemsPropertiesUpdated(const backbeacon::DBusMenuItemPropertiesList& updated,
                                const backbeacon::DBusMenuItemPropertiesList& removed);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

    void entryClicked(int id);

private:
    QVariantMap properties(int id, const QStringList& names) const;
    bool exists(int id) const;

    QList<Entry> m_entries;
    uint m_version = 3;
    QString m_textDirection = QStringLiteral("ltr");
    QString m_status = QStringLiteral("normal");
    QStringList m_iconThemePath;
};

// The tray icon: our own StatusNotifierItem while the session has a
// org.kde.StatusNotifierWatcher, the fallback (QSystemTrayIcon's XEmbed icon in
// the app) while it has none. The watcher may come, go and come back: the
// item follows it.
class StatusNotifierStatusItem final : public StatusItem {
    Q_OBJECT

public:
    using Fallback = std::function<std::unique_ptr<StatusItem>()>;
    StatusNotifierStatusItem(QDBusConnection bus, Fallback makeFallback, QObject* parent = nullptr);
    ~StatusNotifierStatusItem() override;

    void setImage(const QImage& image) override;
    void setImages(const QList<QImage>& images) override;
    QList<int> imageSizes() const override;
    void setMood(Mood mood) override;
    void setToolTip(const QString& text) override;
    bool isShown() const override;
    QRect geometry() const override;
    qreal devicePixelRatio() const override;

    // Whether the item is registered with a watcher right now.
    bool usesStatusNotifier() const { return m_registered; }

private:
    void watcherAppeared();
    void watcherGone();
    void useFallback();
    void setShown(bool shown);
    void pushPixmaps();

    QDBusConnection m_bus;
    Fallback m_makeFallback;
    QString m_service;
    SniItemObject m_item;
    DBusMenuObject m_menu;
    QMenu m_contextMenu;
    QDBusServiceWatcher m_watcher;
    std::unique_ptr<StatusItem> m_fallback;
    bool m_registered = false;
    bool m_shown = false;
    std::optional<QPoint> m_activatedAt;
    // What the fallback is handed again when it is made anew.
    QImage m_image;
    QString m_toolTip;
    QList<QImage> m_images;
    Mood m_mood = Mood::idle;
};

} // namespace backbeacon
