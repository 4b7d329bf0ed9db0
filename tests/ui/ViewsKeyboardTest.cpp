// The views driven from the keyboard alone, as someone without a pointer
// works them, and the headline's cross-fade with its animation running.
#include "ViewsRig.h"

#include <QAnimationDriver>
#include <QSignalSpy>

namespace backbeacon::testing {
namespace {

using ViewsKeyboardTest = ViewsTest;

// The control holding the keyboard focus, by its name: a switch by its row's.
QString focused(QQuickWindow* window) {
    QQuickItem* item = window->activeFocusItem();
    if (item && item->objectName() == QLatin1String("switch")) {
        item = item->parentItem();
    }
    return item ? item->objectName() : QString();
}

// How many focus rings show, and whether one of them is the focused control's.
std::pair<int, bool> rings(QQuickItem* root, QQuickWindow* window) {
    std::pair<int, bool> shown{0, false};
    for (auto* ring : root->findChildren<QQuickItem*>(QStringLiteral("focusRing"))) {
        if (ring->isVisible()) {
            QQuickItem* focus = window->activeFocusItem();
            ++shown.first;
            shown.second |= focus && (focus == ring->parentItem() || focus->isAncestorOf(ring));
        }
    }
    return shown;
}
const std::pair<int, bool> kOnFocusOnly{1, true};

QStringList tabThrough(QQuickWindow* window, int presses,
                       Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QStringList order;
    for (int i = 0; i < presses; ++i) {
        QTest::keyClick(window, modifiers ? Qt::Key_Backtab : Qt::Key_Tab, modifiers);
        order << focused(window);
    }
    return order;
}

TEST_F(ViewsKeyboardTest, ThePanelIsWalkedInReadingOrderAndEnterRemapsTheBaseline) {
    ViewsRig rig;
    rig.engine.startCalibrated();
    QQuickWindow* window = openPanel(rig);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QQuickItem* root = rig.views.panelRoot();
    EXPECT_TRUE(root->hasActiveFocus()) << "the opened panel does not take the keys";
    EXPECT_EQ(rings(root, window).first, 0);

    EXPECT_EQ(tabThrough(window, 5),
              QStringList({"Save Insight Card", "Remap Baseline", "Settings...", "Quit Backbeacon",
                           "Save Insight Card"}));
    EXPECT_EQ(rings(root, window), kOnFocusOnly);
    EXPECT_EQ(tabThrough(window, 3, Qt::ShiftModifier),
              QStringList({"Quit Backbeacon", "Settings...", "Remap Baseline"}));

    // A click puts the ring away; the focus stays where it was.
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(rings(root, window).first, 0);
    EXPECT_EQ(focused(window), "Remap Baseline");

    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_FALSE(rig.engine.settings.goodPosture());
    EXPECT_TRUE(must(root, "calibrationView")->isVisible());
    EXPECT_TRUE(rig.views.isPanelShown());
    EXPECT_EQ(tabThrough(window, 3), QStringList({"saveBaseline", "Settings", "Quit Backbeacon"}));
    EXPECT_EQ(rings(root, window), kOnFocusOnly);

    // Space works the footer's rows as Enter does.
    QSignalSpy quit(&rig.views, &QuickViews::quitRequested);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(quit.count(), 1);

    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(rig.views.isPanelShown());
}

TEST_F(ViewsKeyboardTest, EverySettingIsReachedAndChangedFromTheKeyboard) {
    ViewsRig rig;
    rig.engine.startCalibrated();
    QQuickWindow* window = openSettings(rig);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QQuickItem* root = rig.views.settingsRoot();
    AppSettings& settings = rig.engine.settings;

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
        EXPECT_GE(seen.top(), 0) << control;
        EXPECT_LE(seen.bottom(), window->height()) << control;
        EXPECT_EQ(rings(root, window), kOnFocusOnly) << control;
    }

    // Arrows move the slider and the picker's choice.
    QTest::keyClick(window, Qt::Key_Left);
    EXPECT_EQ(settings.sensitivityDegrees(), 19);
    tabThrough(window, 1);
    QTest::keyClick(window, Qt::Key_Down);
    EXPECT_EQ(settings.alertDelay(), 30);

    // Enter opens the list, Escape closes it and leaves the window open.
    QObject* popup = must(root, "alertDelayPicker")->property("popup").value<QObject*>();
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_TRUE(popup->property("visible").toBool());
    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(popup->property("visible").toBool());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(settings.alertDelay(), 30);

    // Space and Enter flip a switch.
    tabThrough(window, 3);
    ASSERT_EQ(focused(window), "Play sound with alerts");
    const bool sound = settings.soundEnabled();
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(settings.soundEnabled(), !sound);
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(settings.soundEnabled(), sound);

    tabThrough(window, 4);
    ASSERT_EQ(focused(window), "Reset Calibration");
    QTest::keyClick(window, Qt::Key_Enter);
    EXPECT_FALSE(settings.goodPosture());
}

// Moves Qt Quick's animations on only when told, so a test can look at one
// part-way through.
class SteppedAnimations final : public QAnimationDriver {
public:
    void step(qint64 ms) {
        // Animations just started join the timer from the event loop.
        QCoreApplication::processEvents();
        m_elapsed += ms;
        advance();
    }
    qint64 elapsed() const override { return m_elapsed; }

private:
    qint64 m_elapsed = 0;
};

TEST_F(ViewsKeyboardTest, TheHeadlineCrossFadesToItsNewWords) {
    SteppedAnimations animations;
    animations.install();
    ViewsRig rig;
    rig.engine.startCalibrated();
    rig.views.showPanel(QRect());
    QQuickItem* headline = must(rig.views.panelRoot(), "headline");
    QQuickItem* current = must(headline, "current");
    QQuickItem* previous = must(headline, "previous");
    EXPECT_EQ(current->property("text"), "Aligned");
    EXPECT_FALSE(previous->isVisible());

    // The drift reaches the views at their own pace.
    rig.engine.hold(14, 0, ViewModel::kLiveFigureInterval + 0.1);
    ASSERT_EQ(headline->property("text"), "Drifting forward");
    const int duration = headline->property("fadeDuration").toInt();
    ASSERT_GT(duration, 40);
    animations.step(1);
    EXPECT_LT(current->opacity(), 0.2) << "the new words start out faint";
    EXPECT_GT(previous->opacity(), 0.8) << "the old words start out whole";
    EXPECT_EQ(previous->property("text"), "Aligned");

    animations.step(duration / 2);
    EXPECT_NEAR(current->opacity(), 0.5, 0.2);
    EXPECT_NEAR(previous->opacity(), 0.5, 0.2);
    EXPECT_TRUE(previous->isVisible());
    const double fadingIn = current->opacity();
    const double fadingOut = previous->opacity();
    animations.step(duration / 4);
    EXPECT_GT(current->opacity(), fadingIn);
    EXPECT_LT(previous->opacity(), fadingOut);

    animations.step(duration);
    EXPECT_EQ(current->opacity(), 1);
    EXPECT_FALSE(previous->isVisible());
    EXPECT_EQ(headline->opacity(), 1);
    animations.uninstall();
}

} // namespace
} // namespace backbeacon::testing
