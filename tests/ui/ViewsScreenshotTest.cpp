#include "Colors.h"
#include "ViewsRig.h"
#include "stats/CardCanvas.h"

#include <QImage>
#include <QSignalSpy>

namespace backbeacon::testing {
namespace {

// The drawn children of a row or column, without its Repeater.
QList<QQuickItem*> cells(QQuickItem* row) {
    QList<QQuickItem*> shown;
    for (QQuickItem* child : row->childItems()) {
        if (child->isVisible() && child->width() > 0) {
            shown << child;
        }
    }
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

// The innermost shown item under `root` reading `text`.
QQuickItem* withText(QQuickItem* root, const QString& text) {
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = withText(child, text)) {
            return found;
        }
    }
    return root->isVisible() && root->property("text") == text ? root : nullptr;
}

// The list a picker drops down.
QQuickItem* choices(QQuickItem* picker) {
    return picker->property("popup")
        .value<QObject*>()
        ->property("contentItem")
        .value<QQuickItem*>();
}

QColor pixelAt(const QImage& image, QQuickItem* item, QPointF local) {
    return image.pixelColor(scenePoint(item, local));
}

// The spread of lightness over the item's rectangle: text that can be read
// stands out from what is behind it.
int contrast(const QImage& image, QQuickItem* item) {
    const QRect area = item->mapRectToScene(item->boundingRect()).toRect() & image.rect();
    int low = 255;
    int high = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            low = std::min(low, image.pixelColor(x, y).lightness());
            high = std::max(high, image.pixelColor(x, y).lightness());
        }
    }
    return high - low;
}

const QColor kApp = toQColor(Theme::appBackground);
const QColor kCard = toQColor(Theme::cardBackground);

class ViewsScreenshotTest : public ViewsTest {
protected:
    // Scrolls the Settings window so `item` shows near the top.
    static void scrollTo(ViewsRig& rig, QQuickItem* item) {
        auto* flick =
            must(rig.views.settingsRoot(), "scroll")->property("contentItem").value<QQuickItem*>();
        render(rig.views.settingsWindow());
        const double top =
            item->mapToItem(flick->property("contentItem").value<QQuickItem*>(), QPointF()).y();
        const double end = flick->property("contentHeight").toDouble() - flick->height();
        flick->setProperty("contentY", std::clamp(top - 24, 0.0, std::max(0.0, end)));
        render(rig.views.settingsWindow());
    }

    // The shown view fills the 308 wide panel inside 12/10 padding.
    static void expectPadded(QQuickWindow* window, QQuickItem* view, const QImage& image) {
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(window->width(), 308);
        EXPECT_EQ(view->mapToScene({}), QPointF(12, 10));
        EXPECT_EQ(view->width(), 284);
        EXPECT_EQ(window->height(), int(std::ceil(view->height())) + 20);
        EXPECT_TRUE(near(image.pixelColor(5, window->height() - 4), kApp));
    }
};

TEST_F(ViewsScreenshotTest, CalibrationViewAsksForABaselineAndCapturesIt) {
    ViewsRig rig;
    QQuickWindow* window = openPanel(rig);
    QQuickItem* root = rig.views.panelRoot();
    const QImage image = shoot(window, "panel-uncalibrated");
    QQuickItem* view = must(root, "calibrationView");
    expectPadded(window, view, image);
    EXPECT_FALSE(must(root, "monitorView")->isVisible());
    EXPECT_EQ(must(root, "caption")->property("text"), "Save Baseline");
    EXPECT_FALSE(must(root, "checkmark")->isVisible());
    QQuickItem* save = must(root, "saveBaseline");
    EXPECT_TRUE(near(pixelAt(image, save, {5, save->height() / 2}), toQColor(Theme::accentBlue)));

    rig.engine.monitor->start();
    rig.engine.motion.deliver(0, 0);
    click(window, save);
    shoot(window, "panel-capturing");
    EXPECT_EQ(must(root, "caption")->property("text"), "Hold still");
    rig.engine.hold(0, 0, 1.5);
    shoot(window, "panel-after-capture");
    EXPECT_TRUE(must(root, "monitorView")->isVisible());
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(rig.views.isPanelShown());

    // A second capture over a saved baseline still reads "Hold still".
    rig.views.viewModel()->captureBaseline();
    EXPECT_EQ(rig.views.viewModel()->captureCaption(), "Hold still");
    rig.engine.hold(0, 0, 1.5);
    EXPECT_EQ(rig.views.viewModel()->captureCaption(), "Save Baseline Again");
}

TEST_F(ViewsScreenshotTest, MonitorViewShowsEachStateInItsHeadlineAndDriftBar) {
    const struct {
        const char* name;
        bool available;
        double pitch;    // held after calibrating ...
        double duration; // ... for this long
        bool snoozed;
        const char* headline;
        double filled;
    } cases[] = {
        {"aligned", true, 0, 1, false, "Aligned", 0},
        {"drifting", true, 14, 2, false, "Drifting forward", 0.7},
        {"bad", true, 26, 16, false, "Return to center", 1}, // past the 15 s alert delay
        {"snoozed", true, 0, 1, true, "Snoozed", 0},
        {"unavailable", false, 0, 0, false, "Head tracker unavailable", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ViewsRig rig;
        if (c.available) {
            rig.engine.startCalibrated();
            rig.engine.hold(c.pitch, 0, c.duration);
        } else {
            rig.keepBaseline();
            rig.engine.motion.available = false;
            rig.engine.monitor->start();
        }
        if (c.snoozed) {
            rig.engine.monitor->snooze(10);
        }
        QQuickWindow* window = openPanel(rig);
        QQuickItem* root = rig.views.panelRoot();
        const QImage image = shoot(window, QStringLiteral("panel-%1").arg(c.name));
        expectPadded(window, must(root, "monitorView"), image);
        EXPECT_FALSE(must(root, "calibrationView")->isVisible());
        QQuickItem* headline = must(root, "headline");
        EXPECT_EQ(headline->property("text"), c.headline);
        EXPECT_EQ(headline->opacity(), 1);

        QQuickItem* bar = must(root, "driftBar");
        QQuickItem* fill = must(bar, "fill");
        EXPECT_NEAR(fill->width(), bar->width() * c.filled, 1);
        const double y = bar->height() / 2;
        const QColor track = over(toQColor(Theme::trackBackground), kApp);
        if (c.filled == 0) {
            EXPECT_TRUE(near(pixelAt(image, bar, {bar->width() / 2, y}), track));
            continue;
        }
        // accentBlue, through warningYellow, to badOrange at the fill's end.
        EXPECT_TRUE(near(pixelAt(image, fill, {3, y}), toQColor(Theme::accentBlue), 12));
        EXPECT_TRUE(
            near(pixelAt(image, fill, {fill->width() / 2, y}), toQColor(Theme::warningYellow), 12));
        EXPECT_TRUE(
            near(pixelAt(image, fill, {fill->width() - 3, y}), toQColor(Theme::badOrange), 12));
        if (c.filled < 1) {
            EXPECT_TRUE(near(pixelAt(image, bar, {bar->width() - 4, y}), track));
        }
    }
}

struct DayCase {
    ColorComponents strip;
    double stripOpacity;
    ColorComponents bar;
    double barHeight;
    double barOpacity;
};

TEST_F(ViewsScreenshotTest, DaysAreColouredAndFadedByScoreAndMonitoring) {
    using namespace Theme;
    const DayCase days[] = {
        {accentBlue, 1, goodGreen, 56, 1},      // 80
        {mutedTeal, 1, warningYellow, 55.3, 1}, // 79
        {mutedTeal, 1, warningYellow, 35, 1},   // 50
        {badRed, 1, badRed, 34.3, 1},           // 49
        {accentBlue, 0.5, goodGreen, 70, 0.25}, // no signal: 100
        {badRed, 1, badRed, 8, 1},              // 5, on the floor
        {accentBlue, 0.5, goodGreen, 70, 0.25}, // today, not yet monitored
    };
    ViewsRig rig({120, 126, 300, 306, -1, 570}); // the past days of the table
    rig.keepBaseline();
    const QImage strip = shoot(openPanel(rig), "panel-strip-scores");
    const auto stripCells = cells(must(rig.views.panelRoot(), "strip"));
    ASSERT_EQ(stripCells.size(), std::ssize(days));
    for (int i = 0; i < std::ssize(days); ++i) {
        SCOPED_TRACE(i);
        const QColor cell = pixelAt(strip, stripCells[i], {stripCells[i]->width() / 2, 7});
        EXPECT_TRUE(near(cell, over(toQColor(days[i].strip), kCard, days[i].stripOpacity)));
    }
    // The Settings window takes the focus: the panel closes and drops its view.
    QQuickWindow* settings = openSettings(rig);
    scrollTo(rig, must(rig.views.settingsRoot(), "historyBars"));
    const QImage chart = shoot(settings, "settings-bar-scores");
    const auto columns = cells(must(rig.views.settingsRoot(), "historyBars"));
    ASSERT_EQ(columns.size(), std::ssize(days));
    for (int i = 0; i < std::ssize(days); ++i) {
        SCOPED_TRACE(i);
        const DayCase& d = days[i];
        QQuickItem* bar = columns[i]->childItems().first();
        EXPECT_NEAR(bar->height(), d.barHeight, 1); // laid out on whole pixels
        EXPECT_EQ(bar->opacity(), d.barOpacity);
        const QColor fill = pixelAt(chart, bar, {bar->width() / 2, bar->height() / 2});
        EXPECT_TRUE(near(fill, over(toQColor(d.bar), kCard, d.barOpacity)));
    }
    // Bars stand on one floor.
    const QQuickItem* first = columns.first()->childItems().first();
    const QQuickItem* floor = columns[5]->childItems().first();
    EXPECT_EQ(first->mapToScene({0, first->height()}).y(),
              floor->mapToScene({0, floor->height()}).y());
}

TEST_F(ViewsScreenshotTest, HistoryShowsTodayAndUpToItsLimitOfPastDays) {
    const struct {
        std::vector<double> past;
        int stripCells;
        int columns;
        const char* count;
        const char* rowScores;
    } cases[] = {
        {{}, 1, 1, "1 days", "100%"},
        {{10, 200, 500}, 4, 4, "4 days", "100% 17% 67% 98%"},
        {std::vector<double>(20, 60), 7, 14, "14 days", "100% 90% 90% 90% 90%"},
    };
    for (const auto& c : cases) {
        const QString name = QStringLiteral("%1-days").arg(c.past.size());
        SCOPED_TRACE(name.toStdString());
        ViewsRig rig(c.past);
        rig.keepBaseline();
        QQuickWindow* panel = openPanel(rig);
        shoot(panel, "panel-history-" + name);
        EXPECT_EQ(cells(must(rig.views.panelRoot(), "strip")).size(), c.stripCells);
        if (c.past.empty()) {
            EXPECT_EQ(must(rig.views.panelRoot(), "weekScore")->property("text"),
                      QStringLiteral("%1%").arg(rig.views.viewModel()->todayScore()));
        }

        QQuickWindow* settings = openSettings(rig);
        QQuickItem* root = rig.views.settingsRoot();
        scrollTo(rig, must(root, "History"));
        shoot(settings, "settings-history-" + name);
        EXPECT_EQ(cells(must(root, "historyBars")).size(), c.columns);
        EXPECT_EQ(must(root, "historyCount")->property("text"), c.count);
        const auto rows = cells(must(root, "historyRows"));
        QStringList scores;
        for (int i = 0; i < rows.size(); ++i) {
            const auto parts = rows[i]->childItems(); // the day row, then its divider
            scores << texts(parts[0]).filter(QStringLiteral("%"));
            EXPECT_EQ(parts[1]->isVisible(), i + 1 < rows.size()) << "divider under row " << i;
        }
        EXPECT_EQ(scores.join(u' '), c.rowScores); // today first, then newest to oldest
    }
}

TEST_F(ViewsScreenshotTest, ActionRowsHoverAndActWithoutClosingThePanel) {
    ViewsRig rig;
    rig.engine.startCalibrated();
    QQuickWindow* window = openPanel(rig);
    QQuickItem* root = rig.views.panelRoot();
    QQuickItem* row = must(must(root, "monitorView"), "Save Insight Card");
    const QPointF blank(row->width() - 8, row->height() / 2);
    EXPECT_TRUE(near(pixelAt(shoot(window, "panel-rows"), row, blank), kApp));
    QTest::mouseMove(window, centre(row));
    const QColor hovered = pixelAt(shoot(window, "panel-row-hovered"), row, blank);
    EXPECT_TRUE(near(hovered, over(toQColor(Theme::hoverBackground), kApp), 1));
    EXPECT_NE(hovered, kApp);

    const std::pair<const char*, void (QuickViews::*)()> actions[] = {
        {"Save Insight Card", &QuickViews::insightCardRequested},
        {"Settings...", &QuickViews::settingsWindowRequested},
        {"Quit Backbeacon", &QuickViews::quitRequested},
    };
    for (const auto& [title, signal] : actions) {
        QSignalSpy spy(&rig.views, signal);
        click(window, must(must(root, "monitorView"), title));
        EXPECT_EQ(spy.count(), 1) << title;
    }

    click(window, must(root, "Remap Baseline"));
    shoot(window, "panel-remapped");
    EXPECT_TRUE(rig.views.isPanelShown());
    EXPECT_TRUE(must(root, "calibrationView")->isVisible());
    EXPECT_FALSE(must(root, "monitorView")->isVisible());
    EXPECT_EQ(must(root, "caption")->property("text"), "Save Baseline");

    // The calibration view's footer row: hover and the Settings action.
    QQuickItem* footer = must(must(root, "calibrationView"), "Settings");
    QTest::mouseMove(window, centre(footer));
    const QPointF inside(footer->width() - 10, footer->height() / 2);
    EXPECT_TRUE(near(pixelAt(shoot(window, "panel-footer-hovered"), footer, inside),
                     over(toQColor(Theme::hoverBackground), kApp), 1));
    QSignalSpy settings(&rig.views, &QuickViews::settingsWindowRequested);
    click(window, footer);
    EXPECT_EQ(settings.count(), 1);
}

TEST_F(ViewsScreenshotTest, SettingsCardsScrollIntoViewAndDiagnosticsFollowTheSwitch) {
    ViewsRig rig({30, 200, 500, -1, 10, 100});
    rig.engine.settings.setDiagnostics({3, 2, 1, 4, 5});
    QQuickWindow* window = openSettings(rig);
    QQuickItem* root = rig.views.settingsRoot();
    EXPECT_EQ(window->size(), QSize(460, 540));
    for (const char* title : {"Detection", "Notifications", "History", "General"}) {
        QQuickItem* card = must(root, title);
        scrollTo(rig, card);
        shoot(window, QStringLiteral("settings-%1").arg(title).toLower());
        EXPECT_GE(card->mapToScene({}).y(), 0) << title;
        EXPECT_LT(card->mapToScene({}).y(), 540 - 40) << title;
    }
    QQuickItem* diagnostics = must(root, "Diagnostics");
    EXPECT_FALSE(diagnostics->isVisible());

    QQuickItem* toggle = must(must(root, "Collect local diagnostics"), "switch");
    click(window, toggle);
    EXPECT_TRUE(rig.engine.settings.collectDiagnostics());
    EXPECT_TRUE(diagnostics->isVisible());
    scrollTo(rig, diagnostics);
    shoot(window, "settings-diagnostics");
    EXPECT_EQ(texts(diagnostics).mid(1).join(u','),
              "Launches,3,Calibrations,2,Alerts sent,1,Disconnects,4,Unexpected quits,5");
    scrollTo(rig, toggle);
    click(window, toggle);
    EXPECT_FALSE(diagnostics->isVisible());
}

// Switches end where the pickers and the figures end: on the cards' right
// padding, not short of it.
TEST_F(ViewsScreenshotTest, SwitchesLineUpWithThePickersAndFiguresAtTheRight) {
    ViewsRig rig;
    rig.engine.settings.setCollectDiagnostics(true);
    QQuickWindow* window = openSettings(rig);
    QQuickItem* root = rig.views.settingsRoot();
    render(window);
    const auto right = [](QQuickItem* item) { return item->mapToScene({item->width(), 0}).x(); };
    const double edge = right(must(root, "cooldownPicker"));
    EXPECT_EQ(right(must(root, "alertDelayPicker")), edge);
    EXPECT_NEAR(right(must(root, "authorization")), edge, 0.5);
    for (const char* name :
         {"Play sound with alerts", "Start Backbeacon when you log in",
          "Auto start monitoring when AirPods connect", "Collect local diagnostics"}) {
        QQuickItem* toggle = must(must(root, name), "switch");
        auto* indicator = toggle->property("indicator").value<QQuickItem*>();
        EXPECT_EQ(right(toggle), edge) << name;
        EXPECT_EQ(right(indicator), edge) << name;
    }
    QQuickItem* launches = withText(must(root, "Diagnostics"), "0");
    ASSERT_TRUE(launches);
    EXPECT_NEAR(right(launches), edge, 0.5);
}

TEST_F(ViewsScreenshotTest, CancelSnoozeShowsOnlyWhileASnoozeLiesAhead) {
    ViewsRig rig;
    rig.engine.startCalibrated();
    QQuickWindow* window = openSettings(rig);
    QQuickItem* cancel = must(rig.views.settingsRoot(), "Cancel Snooze");
    EXPECT_FALSE(cancel->isVisible());
    rig.engine.monitor->snooze(10);
    EXPECT_TRUE(cancel->isVisible());
    scrollTo(rig, must(rig.views.settingsRoot(), "General"));
    shoot(window, "settings-snoozed");
    click(window, cancel);
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_FALSE(rig.engine.settings.snoozeUntil());

    rig.engine.monitor->snooze(10);
    rig.engine.time.advance(599);
    EXPECT_TRUE(cancel->isVisible());
    rig.engine.time.advance(2);
    EXPECT_FALSE(cancel->isVisible());
}

TEST_F(ViewsScreenshotTest, SliderAndPickersWriteTheirSettingAtOnce) {
    ViewsRig rig;
    QQuickWindow* window = openSettings(rig);
    QQuickItem* root = rig.views.settingsRoot();
    QQuickItem* slider = must(root, "sensitivitySlider");
    AppSettings& settings = rig.engine.settings;
    shoot(window, "settings-slider");

    slider->forceActiveFocus();
    QTest::keyClick(window, Qt::Key_Right);
    EXPECT_EQ(settings.sensitivityDegrees(), 21);
    EXPECT_EQ(must(root, "sensitivityText")->property("text"), "21° score");

    // Dragged past either end it stops at 5 or 30, in whole degrees between.
    const double y = slider->height() / 2;
    QTest::mousePress(window, Qt::LeftButton, {}, centre(slider));
    QTest::mouseMove(window, scenePoint(slider, {slider->width() + 30, y}));
    EXPECT_EQ(settings.sensitivityDegrees(), 30);
    QTest::mouseMove(window, scenePoint(slider, {-30, y}));
    EXPECT_EQ(settings.sensitivityDegrees(), 5);
    const QPoint between = scenePoint(slider, {slider->width() * 0.37, y});
    QTest::mouseMove(window, between);
    QTest::mouseRelease(window, Qt::LeftButton, {}, between);
    const double degrees = settings.sensitivityDegrees();
    EXPECT_EQ(degrees, std::round(degrees));
    EXPECT_GT(degrees, 5);
    EXPECT_LT(degrees, 30);
    const QString sentence = must(root, "sensitivitySentence")->property("text").toString();
    EXPECT_TRUE(sentence.contains(QStringLiteral(" %1° ").arg(degrees))) << sentence.toStdString();

    QQuickItem* picker = must(root, "alertDelayPicker");
    click(window, picker);
    const QImage open = shoot(window, "settings-picker-open");
    QQuickItem* list = choices(picker);
    ASSERT_TRUE(list && list->isVisible());
    // The current choice is readable on its highlight.
    QQuickItem* current = withText(list, "15 seconds");
    ASSERT_TRUE(current);
    EXPECT_GT(contrast(open, current), 100);
    QQuickItem* choice = withText(list, "30 seconds");
    ASSERT_TRUE(choice);
    click(window, choice);
    EXPECT_EQ(settings.alertDelay(), 30);
    shoot(window, "settings-picked");
    EXPECT_EQ(picker->property("displayText"), "30 seconds");

    // The head source's picker: the camera, and why it is not running.
    picker = must(root, "headSourcePicker");
    QQuickItem* status = must(root, "cameraStatus");
    EXPECT_EQ(picker->property("displayText"), "Head tracker (UDP 4242)");
    auto* shown = picker->property("contentItem").value<QQuickItem*>();
    EXPECT_LE(shown->implicitWidth(), shown->width()) << "the choice is cut short";
    EXPECT_FALSE(status->isVisible());
    click(window, picker);
    render(window);
    QQuickItem* camera = withText(choices(picker), "Camera");
    ASSERT_TRUE(camera);
    click(window, camera);
    EXPECT_EQ(settings.headSource(), HeadSource::camera);
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(status->property("text"), "Starts with monitoring");
    rig.camera.setMonitoring(true);
    rig.launcher.exitWith(CameraSupervisor::kExitNoCamera);
    EXPECT_EQ(status->property("text"), "No camera found; trying again");
    EXPECT_EQ(status->property("color").value<QColor>().rgb(), toQColor(Theme::badRed).rgb());
    shoot(window, "settings-camera");
}

} // namespace
} // namespace backbeacon::testing
