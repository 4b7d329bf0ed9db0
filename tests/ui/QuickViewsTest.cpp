// The Qt Quick views over the real models as a user sees them, worked with the
// pointer and with the keyboard alone, drawn offscreen in software so that
// pictures come out the same on every machine; animations off unless a test
// drives them.
#include "Colors.h"
#include "ViewsRig.h"
#include "stats/CardCanvas.h"

#include <QAnimationDriver>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <stdexcept>

namespace backbeacon::testing {
namespace {

const QColor kApp = toQColor(Theme::appBackground);
const QColor kCard = toQColor(Theme::cardBackground);
const bool kSoftware = (QQuickWindow::setGraphicsApi(QSGRendererInterface::Software), true);

// The item named `name` under `root`; a missing one ends the test.
QQuickItem* must(QQuickItem* root, const QString& name) {
    auto* item = root->findChild<QQuickItem*>(name);
    return item ? item : throw std::runtime_error("no item named " + name.toStdString());
}

QPoint scenePoint(QQuickItem* item, QPointF local) {
    const QPointF scene = item->mapToScene(local);
    return {int(std::floor(scene.x())), int(std::floor(scene.y()))};
}

QPoint centre(QQuickItem* i) {
    return scenePoint(i, {i->width() / 2, i->height() / 2});
}

QColor pixelAt(const QImage& image, QQuickItem* item, QPointF local) {
    return image.pixelColor(scenePoint(item, local));
}

// The drawn children of a row or column, without its Repeater.
QList<QQuickItem*> cells(QQuickItem* row) {
    QList<QQuickItem*> shown = row->childItems();
    shown.removeIf([](QQuickItem* child) { return !child->isVisible() || child->width() <= 0; });
    return shown;
}

// The texts shown inside `root`, in tree order.
QStringList texts(QQuickItem* root) {
    QStringList found;
    if (root->isVisible() && root->inherits("QQuickText")) {
        found << root->property("text").toString();
    }
    for (QQuickItem* child : root->childItems()) {
        found << texts(child);
    }
    return found;
}

// The innermost shown item under `root` reading `text`; a missing one ends the test.
QQuickItem* withText(QQuickItem* root, const QString& text, bool required = true) {
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = withText(child, text, false)) {
            return found;
        }
    }
    if (root->isVisible() && root->property("text") == text) {
        return root;
    }
    return required ? throw std::runtime_error("nothing reads " + text.toStdString()) : nullptr;
}

// The control holding the keyboard focus, by its name: a switch by its row's.
QString focused(QQuickWindow* window) {
    QQuickItem* item = window->activeFocusItem();
    const bool isSwitch = item && item->objectName() == QLatin1String("switch");
    return item ? (isSwitch ? item->parentItem() : item)->objectName() : QString();
}

// How many focus rings show, and whether one of them is the focused control's.
std::pair<int, bool> rings(QQuickItem* root, QQuickWindow* window) {
    auto shown = root->findChildren<QQuickItem*>(QStringLiteral("focusRing"));
    shown.removeIf([](QQuickItem* ring) { return !ring->isVisible(); });
    QQuickItem* focus = window->activeFocusItem();
    return {int(shown.size()), focus && std::ranges::any_of(shown, [focus](QQuickItem* ring) {
                                   return focus == ring->parentItem() || focus->isAncestorOf(ring);
                               })};
}
const std::pair<int, bool> kOnFocusOnly{1, true};

QStringList tabThrough(QQuickWindow* window, int presses, Qt::KeyboardModifiers modifiers = {}) {
    QStringList order;
    for (int i = 0; i < presses; ++i) {
        QTest::keyClick(window, modifiers ? Qt::Key_Backtab : Qt::Key_Tab, modifiers);
        order << focused(window);
    }
    return order;
}

// Renders the window, which also lays it out.
QImage render(QQuickWindow* window) {
    QCoreApplication::processEvents();
    return window->grabWindow();
}

// Opens the panel or the Settings window, animations off.
QQuickWindow* open(ViewsRig& rig, bool settings = false) {
    settings ? rig.views.showSettingsWindow() : rig.views.showPanel(QRect());
    rig.views.viewModel()->setAnimationsEnabled(false);
    return settings ? rig.views.settingsWindow() : rig.views.panelWindow();
}

// An object a control holds in a property: its popup, contentItem or indicator.
template <typename T = QQuickItem> T* held(QObject* control, const char* name) {
    return control->property(name).value<T*>();
}

void click(QQuickWindow* window, QQuickItem* item) {
    QTest::mouseClick(window, Qt::LeftButton, {}, centre(item));
}

// Scrolls the Settings window so `item` shows near the top.
void scrollTo(ViewsRig& rig, QQuickItem* item) {
    auto* flick = held(must(rig.views.settingsRoot(), "scroll"), "contentItem");
    render(rig.views.settingsWindow());
    const double top = item->mapToItem(held(flick, "contentItem"), QPointF()).y();
    const double end = flick->property("contentHeight").toDouble() - flick->height();
    flick->setProperty("contentY", std::clamp(top - 24, 0.0, std::max(0.0, end)));
    render(rig.views.settingsWindow());
}

// The shown view fills the 308 wide panel inside 12/10 padding.
void expectPadded(QQuickWindow* window, QQuickItem* view, const QImage& image) {
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->mapRectToScene({0, 0, view->width(), 1}), QRectF(12, 10, 284, 1));
    EXPECT_EQ(window->size(), QSize(308, int(std::ceil(view->height())) + 20));
    EXPECT_TRUE(near(image.pixelColor(5, window->height() - 4), kApp));
}

// The QML engine waits for the first opening; every opening builds a fresh
// view, as tall as what it shows. Its rows hover and act at a click without
// closing it; from the keyboard they are walked in reading order, with a ring
// on the focused one.
TEST(ViewsTest, ThePanelIsBuiltAfreshEachOpeningAndWorkedWithThePointerOrTheKeys) {
    ViewsRig rig;
    EXPECT_FALSE(rig.views.hasEngine());
    QQuickWindow* window = open(rig);
    QPointer<QQuickItem> first = rig.views.panelRoot();
    rig.views.closePanel();
    // A closed panel keeps no view that would follow the monitor unseen.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    EXPECT_EQ(open(rig), window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QQuickItem* root = rig.views.panelRoot();
    EXPECT_TRUE(root->hasActiveFocus()) << "the opened panel does not take the keys";
    const QImage image = render(window);
    QQuickItem* view = must(root, "calibrationView");
    expectPadded(window, view, image);
    QQuickItem* save = must(root, "saveBaseline");
    EXPECT_TRUE(near(pixelAt(image, save, {5, save->height() / 2}), toQColor(Theme::accentBlue)));
    rig.engine.monitor->start();
    rig.engine.motion.deliver(0, 0);
    click(window, save);
    EXPECT_EQ(must(root, "caption")->property("text"), "Hold still");
    rig.engine.hold(0, 0, 1.5);
    EXPECT_TRUE(must(root, "monitorView")->isVisible() && !view->isVisible());

    const QColor hovered = over(toQColor(Theme::hoverBackground), kApp);
    QQuickItem* row = must(must(root, "monitorView"), "Save Insight Card");
    const QPointF blank(row->width() - 8, row->height() / 2);
    EXPECT_TRUE(near(pixelAt(render(window), row, blank), kApp));
    QTest::mouseMove(window, centre(row));
    EXPECT_TRUE(near(pixelAt(render(window), row, blank), hovered, 1));
    const std::pair<const char*, void (QuickViews::*)()> actions[] = {
        {"Save Insight Card", &QuickViews::insightCardRequested},
        {"Settings...", &QuickViews::settingsWindowRequested},
        {"Quit Backbeacon", &QuickViews::quitRequested}};
    for (const auto& [title, signal] : actions) {
        QSignalSpy spy(&rig.views, signal);
        click(window, must(must(root, "monitorView"), title));
        EXPECT_EQ(spy.count(), 1) << title;
    }

    root->forceActiveFocus();
    EXPECT_EQ(tabThrough(window, 5),
              QStringList({"Save Insight Card", "Remap Baseline", "Settings...", "Quit Backbeacon",
                           "Save Insight Card"}));
    EXPECT_EQ(rings(root, window), kOnFocusOnly);
    EXPECT_EQ(tabThrough(window, 3, Qt::ShiftModifier).last(), "Remap Baseline");
    // A click puts the ring away; the focus stays where it was.
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(rings(root, window).first, 0);
    EXPECT_EQ(focused(window), "Remap Baseline");
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_FALSE(rig.engine.settings.goodPosture());
    EXPECT_TRUE(view->isVisible() && rig.views.isPanelShown());
    // Space works the calibration view's footer rows as Enter does.
    EXPECT_EQ(tabThrough(window, 3), QStringList({"saveBaseline", "Settings", "Quit Backbeacon"}));
    EXPECT_EQ(rings(root, window), kOnFocusOnly);
    QSignalSpy quit(&rig.views, &QuickViews::quitRequested);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(quit.count(), 1);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(rig.views.isPanelShown());
}

TEST(ViewsTest, TheMonitorViewShowsEachStateInItsHeadlineAndDriftBar) {
    // Pitch held after calibrating and for how long (none: no head tracker),
    // snoozed, the headline, the bar's filled part.
    const std::tuple<const char*, double, double, bool, const char*, double> cases[] = {
        {"aligned", 0, 1, false, "Aligned", 0},
        {"drifting", 14, 2, false, "Drifting forward", 0.7},
        {"bad", 26, 16, false, "Return to center", 1}, // past the 15 s alert delay
        {"snoozed", 0, 1, true, "Snoozed", 0},
        {"unavailable", 0, 0, false, "Head tracker unavailable", 0}};
    for (const auto& [name, pitch, duration, snoozed, headline, filled] : cases) {
        SCOPED_TRACE(name);
        ViewsRig rig;
        rig.keepBaseline();
        rig.engine.motion.available = duration > 0;
        duration > 0 ? rig.engine.startCalibrated() : rig.engine.monitor->start();
        rig.engine.hold(pitch, 0, duration);
        if (snoozed) {
            rig.engine.monitor->snooze(10);
        }
        QQuickWindow* window = open(rig);
        QQuickItem* root = rig.views.panelRoot();
        const QImage image = render(window);
        expectPadded(window, must(root, "monitorView"), image);
        EXPECT_EQ(must(root, "headline")->property("text"), headline);
        QQuickItem* bar = must(root, "driftBar");
        EXPECT_NEAR(must(bar, "fill")->width(), bar->width() * filled, 1);
    }
}

TEST(ViewsTest, HistoryShowsEachDayColouredAndFadedByScoreUpToItsLimit) {
    // Past days; strip cells, history columns and their count; the rows'
    // scores, today first, then newest to oldest.
    const std::tuple<std::vector<double>, int, int, const char*, const char*> cases[] = {
        {{}, 1, 1, "1 days", "100%"},
        {{120, 126, 300, 306, -1, 570}, 7, 7, "7 days", "100% 5% 100% 49% 50%"},
        {std::vector<double>(20, 60), 7, 14, "14 days", "100% 90% 90% 90% 90%"}};
    using namespace Theme;
    // Of the second: strip cell colour and opacity, history bar colour, height
    // and opacity, of days scoring 80, 79, 50, 49, no signal, 5 (on the
    // floor), then of today.
    const std::tuple<ColorComponents, double, ColorComponents, double, double> days[] = {
        {accentBlue, 1, goodGreen, 56, 1},      {mutedTeal, 1, warningYellow, 55.3, 1},
        {mutedTeal, 1, warningYellow, 35, 1},   {badRed, 1, badRed, 34.3, 1},
        {accentBlue, 0.5, goodGreen, 70, 0.25}, {badRed, 1, badRed, 8, 1},
        {accentBlue, 0.5, goodGreen, 70, 0.25}};
    for (const auto& [past, stripCells, columns, count, scores] : cases) {
        SCOPED_TRACE(count);
        ViewsRig rig(past);
        rig.keepBaseline();
        const bool coloured = past.size() == 6;
        const QImage strip = render(open(rig));
        const auto cell = cells(must(rig.views.panelRoot(), "strip"));
        ASSERT_EQ(cell.size(), stripCells);
        for (int i = 0; coloured && i < 7; ++i) {
            const auto& [colour, opacity, barColour, height, barOpacity] = days[i];
            EXPECT_TRUE(near(pixelAt(strip, cell[i], {cell[i]->width() / 2, 7}),
                             over(toQColor(colour), kCard, opacity)));
        }
        // The Settings window takes the focus: the panel closes and drops its view.
        open(rig, true);
        QQuickItem* root = rig.views.settingsRoot();
        scrollTo(rig, must(root, "History"));
        const QImage chart = render(rig.views.settingsWindow());
        const auto bars = cells(must(root, "historyBars"));
        ASSERT_EQ(bars.size(), columns);
        EXPECT_EQ(must(root, "historyCount")->property("text"), count);
        EXPECT_EQ(texts(must(root, "historyRows")).filter(QStringLiteral("%")).join(u' '), scores);
        const auto bar = [&](int i) { return bars[i]->childItems().first(); };
        for (int i = 0; coloured && i < 7; ++i) {
            const auto& [stripColour, stripOpacity, colour, height, opacity] = days[i];
            EXPECT_NEAR(bar(i)->height(), height, 1); // laid out on whole pixels
            EXPECT_TRUE(near(pixelAt(chart, bar(i), {bar(i)->width() / 2, bar(i)->height() / 2}),
                             over(toQColor(colour), kCard, opacity)));
        }
    }
}

// Every control is reached from the keyboard and every setting written at
// once; the window, built once, is kept across closing.
TEST(ViewsTest, TheSettingsWindowWritesEachSettingFromTheKeysOrAtAClick) {
    ViewsRig rig;
    rig.engine.startCalibrated();
    rig.engine.settings.setDiagnostics({3, 2, 1, 4, 5});
    AppSettings& settings = rig.engine.settings;
    QQuickWindow* window = open(rig, true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QQuickItem* root = rig.views.settingsRoot();
    // Each control in turn, scrolled into sight as it is reached, then round.
    for (const char* control :
         {"sensitivitySlider", "alertDelayPicker", "headSourcePicker", "cooldownPicker",
          "Play sound with alerts", "Start Backbeacon when you log in",
          "Auto start monitoring when AirPods connect", "Collect local diagnostics",
          "Reset Calibration", "sensitivitySlider"}) {
        QTest::keyClick(window, Qt::Key_Tab);
        ASSERT_EQ(focused(window), control);
        QQuickItem* item = window->activeFocusItem();
        const QRectF seen = item->mapRectToScene(item->boundingRect());
        EXPECT_TRUE(seen.top() >= 0 && seen.bottom() <= window->height()) << control;
        EXPECT_EQ(rings(root, window), kOnFocusOnly) << control;
    }
    // Arrows move the slider and the picker's choice.
    QTest::keyClick(window, Qt::Key_Left);
    EXPECT_EQ(must(root, "sensitivityText")->property("text"), "19° score");
    tabThrough(window, 1);
    QTest::keyClick(window, Qt::Key_Down);
    EXPECT_EQ(settings.alertDelay(), 30);
    // Enter opens the list, its current choice readable on its highlight;
    // Escape closes it and leaves the window open.
    QQuickItem* picker = must(root, "alertDelayPicker");
    auto* popup = held<QObject>(picker, "popup");
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_TRUE(popup->property("visible").toBool());
    QQuickItem* current = withText(held(popup, "contentItem"), "30 seconds");
    const QColor behind = pixelAt(render(window), current, {1, 1});
    EXPECT_GT(std::abs(current->property("color").value<QColor>().lightness() - behind.lightness()),
              100);
    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(popup->property("visible").toBool());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(picker->property("displayText"), "30 seconds");
    // Space and Enter flip a switch.
    ASSERT_EQ(tabThrough(window, 3).last(), "Play sound with alerts");
    const bool sound = settings.soundEnabled();
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(settings.soundEnabled(), !sound);
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(settings.soundEnabled(), sound);

    // The slider dragged past its end stops there.
    QQuickItem* slider = must(root, "sensitivitySlider");
    scrollTo(rig, slider);
    QTest::mousePress(window, Qt::LeftButton, {}, centre(slider));
    const QPoint beyond = scenePoint(slider, {slider->width() + 30, slider->height() / 2});
    QTest::mouseMove(window, beyond);
    QTest::mouseRelease(window, Qt::LeftButton, {}, beyond);
    EXPECT_EQ(settings.sensitivityDegrees(), 30);

    // The head source's picker: the camera, and why it is not running.
    picker = must(root, "headSourcePicker");
    QQuickItem* status = must(root, "cameraStatus");
    QQuickItem* shown = held(picker, "contentItem");
    EXPECT_LE(shown->implicitWidth(), shown->width()) << "the choice is cut short";
    EXPECT_FALSE(status->isVisible());
    click(window, picker);
    render(window); // lays out the opened list
    click(window, withText(held(held<QObject>(picker, "popup"), "contentItem"), "Camera"));
    EXPECT_EQ(settings.headSource(), HeadSource::camera);
    EXPECT_TRUE(status->isVisible());
    rig.camera.setMonitoring(true);
    rig.launcher.exitWith(CameraSupervisor::kExitNoCamera);
    EXPECT_EQ(status->property("text"), "No camera found; trying again");
    EXPECT_EQ(status->property("color").value<QColor>().rgb(), toQColor(Theme::badRed).rgb());

    // "Cancel Snooze" shows only while a snooze lies ahead.
    QQuickItem* cancel = must(root, "Cancel Snooze");
    EXPECT_FALSE(cancel->isVisible());
    rig.engine.monitor->snooze(10);
    scrollTo(rig, cancel);
    click(window, cancel);
    EXPECT_FALSE(cancel->isVisible() || settings.snoozeUntil());
    rig.engine.monitor->snooze(10);
    rig.engine.time.advance(599);
    EXPECT_TRUE(cancel->isVisible());
    rig.engine.time.advance(2);
    EXPECT_FALSE(cancel->isVisible());

    // A click on a switch or on its label flips it, each way.
    QQuickItem* diagnostics = must(root, "Diagnostics");
    QQuickItem* row = must(root, "Collect local diagnostics");
    EXPECT_FALSE(diagnostics->isVisible());
    scrollTo(rig, row);
    click(window, must(row, "switch"));
    EXPECT_TRUE(settings.collectDiagnostics() && diagnostics->isVisible());
    click(window, withText(row, "Collect local diagnostics"));
    EXPECT_FALSE(settings.collectDiagnostics() || diagnostics->isVisible());
    click(window, withText(row, "Collect local diagnostics"));
    EXPECT_TRUE(settings.collectDiagnostics());
    render(window); // lays out the figures shown again
    EXPECT_EQ(texts(diagnostics).mid(1).join(u','),
              "Launches,3,Calibrations,2,Alerts sent,1,Disconnects,4,Unexpected quits,5");

    // Switches end where the pickers and the figures end: on the cards' right padding.
    const auto right = [](QQuickItem* item) { return item->mapToScene({item->width(), 0}).x(); };
    QList<QQuickItem*> column{must(root, "alertDelayPicker"), must(root, "authorization"),
                              withText(diagnostics, "3")};
    for (QQuickItem* toggle : root->findChildren<QQuickItem*>(QStringLiteral("switch"))) {
        column << held(toggle, "indicator");
    }
    ASSERT_EQ(column.size(), 7);
    for (QQuickItem* item : column) {
        EXPECT_NEAR(right(item), right(must(root, "cooldownPicker")), 0.5);
    }

    // Whatever changed while it was closed, the Authorization row is current.
    window->close();
    rig.engine.center.status = 1;
    rig.views.showSettingsWindow();
    EXPECT_TRUE(window->isVisible() && rig.views.settingsRoot() == root);
    EXPECT_EQ(std::pair(rig.engine.notifications.authorizationStatus(),
                        rig.engine.center.authorizationQueries),
              std::pair(1, 2));
}

// The headline's words cross-fade: looked at part-way with Qt Quick's
// animations moved on only when told.
TEST(ViewsTest, TheHeadlineCrossFadesToItsNewWords) {
    struct Stepped final : QAnimationDriver {
        qint64 elapsed() const override { return ms; }
        void step(qint64 by) {
            QCoreApplication::processEvents(); // a just-started animation joins from the loop
            ms += by;
            advance();
        }
        qint64 ms = 0;
    } animations;
    animations.install();
    ViewsRig rig;
    rig.engine.startCalibrated();
    rig.views.showPanel(QRect());
    QQuickItem* headline = must(rig.views.panelRoot(), "headline");
    rig.engine.hold(14, 0, ViewModel::kLiveFigureInterval + 0.1);
    ASSERT_EQ(headline->property("text"), "Drifting forward");
    const int duration = headline->property("fadeDuration").toInt();
    animations.step(1);
    animations.step(duration / 2);
    EXPECT_NEAR(must(headline, "current")->opacity(), 0.5, 0.2) << "the new words fade in";
    EXPECT_EQ(must(headline, "previous")->property("text"), "Aligned") << "as the old fade out";
    animations.step(duration);
    EXPECT_EQ(must(headline, "current")->opacity() + headline->opacity(), 2);
    EXPECT_FALSE(must(headline, "previous")->isVisible());
    animations.uninstall();
}

} // namespace
} // namespace backbeacon::testing
