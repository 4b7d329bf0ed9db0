#include "AppFakes.h"
#include "Colors.h"
#include "EngineRig.h"
#include "app/StatusBarController.h"
#include "app/StatusIndicator.h"
#include "stats/CardCanvas.h"

#include <gtest/gtest.h>

#include <cmath>

namespace backbeacon::testing {
namespace {

using namespace statusIndicator;
using Kind = PostureState::Kind;
using Mood = StatusItem::Mood;

TEST(StatusIndicatorTest, DotFollowsTheDriftOnlyForALiveConnectedReading) {
    for (const PostureState& state :
         {PostureState::bad({}), PostureState::snoozed({}), PostureState::idle(),
          PostureState::capturing(), PostureState::good()}) {
        for (const bool connected : {false, true}) {
            for (const double fraction : {0.0, 0.5, 1.0, 3.0}) {
                const bool live = connected && (state.is(Kind::good) || state.is(Kind::bad));
                SCOPED_TRACE(::testing::Message()
                             << static_cast<int>(state.kind()) << connected << " " << fraction);
                EXPECT_EQ(indicatorColor(state, connected, fraction),
                          state.is(Kind::capturing) ? Theme::accentBlue
                          : live                    ? Theme::driftColorComponents(fraction)
                                                    : kSecondaryLabel);
                EXPECT_EQ(shouldFlashRed(state, connected, fraction), live && fraction >= 1.0);
            }
        }
    }
}

// Bad readings: not a number shows full drift, less than none shows none.
TEST(StatusIndicatorTest, TheDotStepOfABadReading) {
    EXPECT_DOUBLE_EQ(dotFraction(std::nan(""), 0.0), 1.0);
    EXPECT_DOUBLE_EQ(dotFraction(-0.5, 0.35), 0.0);
}

// The dot (centre 23.5, 9.5 of 28 x 18) at the pixel ratio; a square image
// holds the drawing centred top to bottom.
TEST(StatusIndicatorTest, ImagesHoldTheDotInPlaceAtThePixelRatioAndInASquare) {
    for (const qreal ratio : {1.0, 2.0}) {
        const QImage image = statusImage(Theme::accentBlue, Theme::badRed, ratio);
        EXPECT_EQ(image.size(), QSize(28, 18) * ratio);
        EXPECT_EQ(image.devicePixelRatio(), ratio);
        EXPECT_TRUE(near(image.pixelColor(int(23.5 * ratio), int(9.5 * ratio)),
                         toQColor(Theme::accentBlue), 2.55));
    }
    const QImage square = squareStatusImage(Theme::badRed, kWhite, 56);
    EXPECT_TRUE(near(square.pixelColor(47, 29), toQColor(Theme::badRed), 2.55));
    EXPECT_EQ(square.pixelColor(0, 0).alpha(), 0) << "the margin is clear";
}

TEST(StatusIndicatorTest, ToolTipAndMoodFollowTheStateAndToday) {
    DailyStats today;
    EXPECT_EQ(toolTip("Aligned", today), "Aligned") << "no score before anything was measured";
    today.monitoredSeconds = 600;
    today.slouchedSeconds = 48;
    EXPECT_EQ(toolTip("Aligned", today), "Aligned \u00b7 today 92 %");
    EXPECT_EQ(mood(PostureState::idle(), true, false), Mood::idle);
    EXPECT_EQ(mood(PostureState::good(), false, false), Mood::idle) << "no live reading";
    EXPECT_EQ(mood(PostureState::good(), true, false), Mood::live);
    EXPECT_EQ(mood(PostureState::capturing(), true, false), Mood::live);
    EXPECT_EQ(mood(PostureState::bad({}), true, false), Mood::live) << "not alerted yet";
    EXPECT_EQ(mood(PostureState::bad({}), true, true), Mood::alert);
}

struct ControllerRig : EngineRig {
    FakeStatusItem tray;
    FakeViewHost views;
    std::unique_ptr<StatusBarController> controller;

    void build() {
        controller = std::make_unique<StatusBarController>(*monitor, settings, stats, tray, views,
                                                           time.clock(), time);
    }
    QColor dot() const { return tray.images.back().pixelColor(47, 19); } // at ratio 2
};

// An XEmbed tray gets one image at its pixel ratio, a StatusNotifierItem square
// ones at its sizes; only when what they show changes: not on quiet ticks, nor
// for a tracker's jitter (colour steps nobody sees). Full drift turns the dot
// red at the next redraw and flashes the glyph, red and white taking turns.
TEST(StatusBarControllerTest, TheTrayGetsSizedImagesOnlyWhenWhatTheyShowChanges) {
    ControllerRig rig;
    rig.settings.setSensitivityDegrees(20);
    rig.settings.setAlertDelay(2);
    rig.tray.sizes = {16, 64};
    rig.tray.ratio = 2.0;
    rig.build();
    rig.time.advance(2.0); // ten quiet ticks
    ASSERT_EQ(rig.tray.images.size(), 1u);
    ASSERT_EQ(rig.tray.imageSets.size(), 1u);
    EXPECT_EQ(rig.tray.images[0].size(), QSize(56, 36));
    EXPECT_EQ(rig.tray.imageSets[0][1].size(), QSize(64, 64));

    rig.startCalibrated();
    const std::size_t settled = rig.tray.images.size();
    const double jitter[] = {0.3, -0.5, 0.6, 0.1, -0.6, 0.4, 0.5, -0.2};
    for (int i = 0; i < 500; ++i) { // 10 s at 50 Hz
        rig.sampleAfter(0.02, jitter[i % 8], jitter[(i + 3) % 8]);
    }
    EXPECT_EQ(rig.tray.images.size(), settled);

    rig.sampleAfter(0.02, 20.5); // full drift: red at the next redraw
    rig.time.advance(StatusBarController::kRedrawInterval);
    EXPECT_TRUE(near(rig.dot(), toQColor(Theme::badRed), 2.55));
    const std::size_t drifted = rig.tray.images.size();
    rig.hold(30, 0, 2.0, 0.05);
    EXPECT_GE(rig.tray.images.size() - drifted, 4u);
    EXPECT_NE(rig.tray.images.back(), rig.tray.images[rig.tray.images.size() - 2]);
    // Alerted after the 2 s delay: attention, and the state in the tool tip.
    ASSERT_EQ(rig.alertsShown(), 1u);
    EXPECT_EQ(rig.tray.mood, Mood::alert);
    EXPECT_TRUE(rig.tray.toolTip.startsWith("Return to center")) << rig.tray.toolTip.toStdString();
    rig.hold(0, 0, 0.5);
    EXPECT_EQ(rig.tray.mood, Mood::live);
}

// Clicks toggle the panel, "Open Backbeacon" and a second launch only open. Each redraw first takes
// in what the head source sent; an open panel asks for samples promptly for as long as it is open.
TEST(StatusBarControllerTest, ClicksToggleThePanelWhichKeepsSamplesPromptWhileOpen) {
    ControllerRig rig;
    rig.build();
    rig.startCalibrated();
    rig.time.advance(StatusBarController::kRedrawInterval / 2); // between two redraws
    const int before = rig.motion.pendingDeliveries;
    rig.time.advance(1.0);
    EXPECT_EQ(rig.motion.pendingDeliveries - before, 5) << "one catch-up per redraw";
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kRelaxedDelay);
    emit rig.tray.clicked();
    EXPECT_EQ(rig.motion.pendingDeliveries - before, 6) << "the panel opens on current figures";
    rig.time.advance(1.0);
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kPromptDelay);
    emit rig.tray.clicked();
    EXPECT_FALSE(rig.views.panelShown);
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kRelaxedDelay);
    emit rig.tray.openRequested();
    rig.controller->openPopover();
    EXPECT_EQ(rig.views.panelOpenings, 2);
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kPromptDelay);
    rig.views.closePanel(); // from elsewhere (it lost focus): seen at the next redraw
    rig.time.advance(StatusBarController::kRedrawInterval);
    EXPECT_EQ(rig.motion.delays.back(), PostureMonitor::kRelaxedDelay);
    emit rig.tray.settingsRequested();
    EXPECT_EQ(rig.views.settingsShowings, 1);
}

TEST(StatusBarControllerTest, WithoutATrayHostThePanelOpensAsAWindowAfterTenSeconds) {
    for (const bool hostComesLate : {true, false}) {
        ControllerRig rig;
        rig.tray.shown = false;
        rig.build();
        rig.time.advance(hostComesLate ? 4 : 9.9);
        EXPECT_EQ(rig.views.panelWindowOpenings, 0);
        if (hostComesLate) {
            rig.tray.setShown(true);
        }
        const int opened = hostComesLate ? 0 : 1;
        rig.time.advance(0.2);
        EXPECT_EQ(rig.views.panelWindowOpenings, opened) << hostComesLate;
        rig.time.advance(60);
        EXPECT_EQ(rig.views.panelWindowOpenings, opened) << hostComesLate;
        // Without a tray icon to anchor to, a second launch opens the window too.
        rig.views.panelShown = false;
        rig.controller->openPopover();
        EXPECT_EQ(rig.views.panelWindowOpenings, 2 * opened) << hostComesLate;
    }
}

} // namespace
} // namespace backbeacon::testing
