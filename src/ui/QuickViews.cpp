#include "QuickViews.h"

#include "PanelPlacement.h"
#include "SymbolImageProvider.h"
#include "ViewTheme.h"
#include "engine/PostureMonitor.h"
#include "model/AppSettings.h"
#include "notify/NotificationManager.h"
#include "stats/StatisticsStore.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QtMath>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcViews, "backbeacon.ui")

namespace {

constexpr auto kPanelSource = "qrc:/qml/MenuBarRootView.qml";
constexpr auto kSettingsSource = "qrc:/qml/SettingsRootView.qml";

QScreen* screenAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    return screen ? screen : QGuiApplication::primaryScreen();
}

void present(QWindow& window) {
    window.show();
    window.raise();
    window.requestActivate();
}

} // namespace

QuickViews::QuickViews(Models models, QObject* parent) : ViewHost(parent), m_models(models) {}

// Views go while their windows still have a scene graph (images left for the
// window's own teardown leak their textures), windows before the engine the
// views came from, and that before the objects the views read.
QuickViews::~QuickViews() {
    delete m_panelRoot.data();
    delete m_settingsRoot.data();
    m_panel.reset();
    m_settings.reset();
    m_panelComponent.reset();
    m_settingsComponent.reset();
    m_engine.reset();
    m_viewModel.reset();
    m_theme.reset();
}

void QuickViews::ensureEngine() {
    if (m_engine) {
        return;
    }
    m_viewModel = std::make_unique<ViewModel>(m_models);
    m_theme = std::make_unique<ViewTheme>();
    m_engine = std::make_unique<QQmlEngine>();
    m_engine->addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    QQmlContext* context = m_engine->rootContext();
    context->setContextProperty(QStringLiteral("settings"), &m_models.settings);
    context->setContextProperty(QStringLiteral("stats"), &m_models.stats);
    context->setContextProperty(QStringLiteral("monitor"), &m_models.monitor);
    context->setContextProperty(QStringLiteral("notifications"), &m_models.notifications);
    context->setContextProperty(QStringLiteral("viewModel"), m_viewModel.get());
    context->setContextProperty(QStringLiteral("theme"), m_theme.get());
    context->setContextProperty(QStringLiteral("app"), this);
    m_panelComponent = std::make_unique<QQmlComponent>(m_engine.get(), QUrl(kPanelSource));
    m_settingsComponent = std::make_unique<QQmlComponent>(m_engine.get(), QUrl(kSettingsSource));
}

QQuickItem* QuickViews::createRoot(QQmlComponent& component, QQuickWindow& window) {
    QObject* object = component.create();
    auto* item = qobject_cast<QQuickItem*>(object);
    if (!item) {
        qCWarning(lcViews) << "cannot build view" << component.url() << component.errorString();
        delete object;
        return nullptr;
    }
    // Owned by the window, so it goes with it, and as large as the window.
    item->setParent(&window);
    item->setParentItem(window.contentItem());
    item->setSize(window.size());
    connect(&window, &QWindow::widthChanged, item, [item](int width) { item->setWidth(width); });
    connect(&window, &QWindow::heightChanged, item,
            [item](int height) { item->setHeight(height); });
    // Keys reach the view from the moment its window is active.
    item->setFocus(true);
    return item;
}

void QuickViews::preparePanel(bool asWindow) {
    ensureEngine();
    if (!m_panel) {
        m_panel = std::make_unique<QQuickWindow>();
        m_panel->setColor(Qt::transparent);
        m_panel->installEventFilter(this);
        // A popup that loses focus has been clicked away from. One that
        // bypasses the window manager holds the keyboard and pointer instead
        // of the focus, so it sees the click away itself.
        connect(m_panel.get(), &QWindow::activeChanged, this, [this] {
            if (m_panelIsPopup && !m_panelGrabs && m_panel->isVisible() && !m_panel->isActive()) {
                m_panel->hide();
            }
        });
        // A hidden view would go on following the monitor's 50 Hz figures for
        // nobody, and the next opening builds a fresh one anyway. Deferred:
        // the view may be running the very click that closed the panel.
        connect(m_panel.get(), &QWindow::visibleChanged, this, [this](bool visible) {
            if (!visible && m_panelRoot) {
                // Off the window now, so its images are released while the
                // window's scene graph is there to release them.
                m_panelRoot->setParentItem(nullptr);
                m_panelRoot->deleteLater();
                m_panelRoot = nullptr;
            }
        });
    }
    m_panel->hide();
    m_panelIsPopup = !asWindow;
    const Qt::WindowFlags flags = panelWindowFlags(
        asWindow, QGuiApplication::platformName().toUtf8(), !qgetenv("WAYLAND_DISPLAY").isEmpty());
    m_panelGrabs = flags.testFlag(Qt::X11BypassWindowManagerHint);
    m_panel->setFlags(flags);
    // The popup's title is never shown; it names the window for scripts.
    m_panel->setTitle(asWindow ? QStringLiteral("Backbeacon") : QStringLiteral("Backbeacon Panel"));
    // Every opening starts from a fresh view.
    m_panelRoot = createRoot(*m_panelComponent, *m_panel);
    if (!m_panelRoot) {
        return;
    }
    // The height follows the content: the calibration view is shorter than
    // the monitor view, and either may take the other's place while shown.
    const auto fitContent = [this] {
        const QSize size(kPanelWidth, qMax(1, qCeil(m_panelRoot->implicitHeight())));
        m_panel->setMinimumSize(size);
        m_panel->setMaximumSize(size);
        m_panel->resize(size);
        m_panelRoot->setSize(size);
        if (m_panel->isVisible() && m_panelIsPopup) {
            placePanel();
        }
    };
    fitContent();
    connect(m_panelRoot, &QQuickItem::implicitHeightChanged, m_panel.get(), fitContent);
}

void QuickViews::placePanel() {
    const QPoint pointer = QCursor::pos();
    const bool iconKnown = m_iconGeometry.isValid() && !m_iconGeometry.isEmpty();
    QScreen* screen = screenAt(iconKnown ? m_iconGeometry.center() : pointer);
    m_panel->setScreen(screen);
    m_panel->setPosition(
        panelPosition(m_iconGeometry, pointer, m_panel->size(), screen->availableGeometry()));
}

bool QuickViews::isPanelShown() const {
    return m_panel && m_panel->isVisible();
}

// What the user waits for after a click: logged (backbeacon.ui) so the
// measuring script can report it, the first opening with the QML engine's start.
void QuickViews::timeOpening() {
    disconnect(m_openingDrawn);
    m_openingDrawn = connect(m_panel.get(), &QQuickWindow::frameSwapped, this, [this] {
        disconnect(m_openingDrawn);
        qCInfo(lcViews).nospace() << "panel opening " << ++m_openings << " drawn in "
                                  << m_opening.elapsed() << " ms";
    });
}

void QuickViews::showPanel(const QRect& iconGeometry) {
    m_opening.start();
    m_iconGeometry = iconGeometry;
    preparePanel(false);
    placePanel();
    timeOpening();
    present(*m_panel);
}

void QuickViews::showPanelAsWindow() {
    m_opening.start();
    preparePanel(true);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        m_panel->setPosition(screen->availableGeometry().center() -
                             QPoint(m_panel->width() / 2, m_panel->height() / 2));
    }
    timeOpening();
    present(*m_panel);
}

void QuickViews::closePanel() {
    if (m_panel) {
        m_panel->hide();
    }
}

void QuickViews::showSettingsWindow() {
    if (!m_settings) {
        ensureEngine();
        m_settings = std::make_unique<QQuickWindow>();
        m_settings->setTitle(QStringLiteral("Backbeacon"));
        m_settings->installEventFilter(this);
        m_settings->setFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                             Qt::WindowMinimizeButtonHint);
        // It may grow, never shrink below what the cards need.
        const QSize size(kSettingsWidth, kSettingsHeight);
        m_settings->resize(size);
        m_settings->setMinimumSize(size);
        m_settingsRoot = createRoot(*m_settingsComponent, *m_settings);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            m_settings->setPosition(screen->availableGeometry().center() -
                                    QPoint(kSettingsWidth / 2, kSettingsHeight / 2));
        }
    }
    present(*m_settings);
}

bool QuickViews::eventFilter(QObject* watched, QEvent* event) {
    if (m_panelGrabs && watched == m_panel.get()) {
        // Like any X11 popup menu: the keyboard and pointer are ours while it
        // shows (possible only once it is on screen), and a press outside it
        // closes it.
        if (event->type() == QEvent::Expose && m_panel->isExposed()) {
            m_panel->setKeyboardGrabEnabled(true);
            m_panel->setMouseGrabEnabled(true);
        } else if (event->type() == QEvent::KeyPress && !m_panel->activeFocusItem()) {
            // Keys come through the grab while the X focus is wherever the
            // compositor left it, so the view takes the focus as it would on
            // focus in, keeping the control it had.
            m_panel->contentItem()->setFocus(true);
        } else if (event->type() == QEvent::Hide) {
            m_panel->setKeyboardGrabEnabled(false);
            m_panel->setMouseGrabEnabled(false);
        } else if (event->type() == QEvent::MouseButtonPress &&
                   !QRect(QPoint(), m_panel->size())
                        .contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            m_panel->hide();
            return true;
        }
    }
    bool keyboard = m_keyboardInUse;
    if (event->type() == QEvent::KeyPress) {
        keyboard = true;
    } else if (event->type() == QEvent::MouseButtonPress) {
        keyboard = false;
    }
    if (keyboard != m_keyboardInUse) {
        m_keyboardInUse = keyboard;
        emit keyboardInUseChanged();
    }
    return ViewHost::eventFilter(watched, event);
}

} // namespace backbeacon
