#include "app/StatusIndicator.h"

#include "Colors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <tuple>

namespace backbeacon {
namespace {

using namespace statusIndicator;
using testing::near;
using Kind = PostureState::Kind;

const Instant kEvenThird = Instant::fromReferenceSeconds(818'000'000.0); // ×3 even
const Instant kOddThird = Instant::fromReferenceSeconds(818'000'000.34); // ×3 = …001.02

std::vector<PostureState> allStates() {
    return {PostureState::bad(kEvenThird),
            PostureState::snoozed(kEvenThird),
            PostureState::idle(),
            PostureState::unavailable(),
            PostureState::waitingForAirPods(),
            PostureState::needsCalibration(),
            PostureState::capturing(),
            PostureState::good()};
}

TEST(StatusIndicatorTest, DotFollowsTheDriftOnlyForALiveConnectedReading) {
    for (const PostureState& state : allStates()) {
        for (const bool connected : {false, true}) {
            for (const double fraction : {0.0, 0.5, 1.0, 3.0}) {
                SCOPED_TRACE(::testing::Message()
                             << "kind " << static_cast<int>(state.kind()) << " connected "
                             << connected << " fraction " << fraction);
                const ColorComponents dot = indicatorColor(state, connected, fraction);
                const bool live = connected && (state.is(Kind::good) || state.is(Kind::bad));
                if (state.is(Kind::capturing)) {
                    EXPECT_EQ(dot, Theme::accentBlue);
                } else if (live) {
                    EXPECT_EQ(dot, Theme::driftColorComponents(fraction));
                } else {
                    EXPECT_EQ(dot, kSecondaryLabel);
                }
                EXPECT_EQ(shouldFlashRed(state, connected, fraction), live && fraction >= 1.0);
            }
        }
    }
}

// The dot moves in steps it keeps under jitter; full drift is red at once, and
// back from red at once too.
TEST(StatusIndicatorTest, DotStepsKeepTheirPlaceUnderJitterAndFullDriftIsRedAtOnce) {
    // The drift, the step shown so far, the step to show.
    const std::tuple<double, std::optional<double>, double> steps[] = {
        {0.37, std::nullopt, 0.35}, {0.39, 0.35, 0.35}, {0.41, 0.35, 0.4},
        {0.2, 0.35, 0.2},           {0.999, 0.5, 0.95}, {1.0, 0.95, 1.0},
        {std::nan(""), 0.0, 1.0},   {0.97, 1.0, 0.95},  {-0.5, 0.35, 0.0}};
    for (const auto& [drift, shown, expected] : steps) {
        EXPECT_DOUBLE_EQ(dotFraction(drift, shown), expected) << drift;
    }
}

TEST(StatusIndicatorTest, GlyphFlashesAtFullDriftEveryThirdOfASecond) {
    const PostureState good = PostureState::good();
    EXPECT_EQ(symbolColor(good, true, 1.0, kEvenThird), Theme::badRed);
    EXPECT_EQ(symbolColor(good, true, 1.0, kOddThird), kWhite);
    EXPECT_EQ(symbolColor(good, true, 1.0, kEvenThird + 2.0 / 3.0), Theme::badRed);
    EXPECT_EQ(symbolColor(PostureState::bad(kEvenThird), true, 2.0, kEvenThird), Theme::badRed);
    // Just below the threshold the dot is nearly red but the glyph stays white.
    EXPECT_EQ(symbolColor(good, true, 0.999, kEvenThird), kWhite);
    EXPECT_EQ(symbolColor(good, false, 1.0, kEvenThird), kWhite);
    EXPECT_EQ(symbolColor(PostureState::snoozed(kEvenThird), true, 1.0, kEvenThird), kWhite);
    // Truncation toward zero: just before the reference date counts as tick 0.
    EXPECT_EQ(symbolColor(good, true, 1.0, Instant::fromReferenceSeconds(-0.2)), Theme::badRed);
    EXPECT_EQ(symbolColor(good, true, 1.0, Instant::fromReferenceSeconds(-0.4)), kWhite);
}

QColor pixel(const QImage& image, double x, double y) {
    const qreal r = image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(x * r), static_cast<int>(y * r));
}

TEST(StatusIndicatorTest, ImageHoldsTheTintedGlyphAndTheDotAtThePixelRatio) {
    for (const qreal ratio : {1.0, 2.0}) {
        SCOPED_TRACE(ratio);
        const QImage image = statusImage(Theme::accentBlue, Theme::badRed, ratio);
        EXPECT_EQ(image.size(), QSize(28, 18) * ratio);
        EXPECT_EQ(image.devicePixelRatio(), ratio);
        // The dot's centre (bottom-left origin 23.5, 8.5).
        EXPECT_TRUE(near(pixel(image, 23.5, 9.5), QColor::fromRgbF(0.27f, 0.53f, 0.60f), 2.55));
        // Every visible glyph pixel is the symbol colour; outside the two shapes
        // nothing is drawn.
        int glyphPixels = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const double lx = x / ratio;
                if (c.alpha() == 0) {
                    continue;
                }
                if (lx < 18) {
                    ++glyphPixels;
                    if (c.alpha() == 255) {
                        EXPECT_NEAR(c.redF(), 0.78, 0.01);
                        EXPECT_NEAR(c.greenF(), 0.18, 0.01);
                    }
                } else {
                    EXPECT_GE(lx, 19.5) << "stray pixel at " << x << "," << y;
                }
            }
        }
        EXPECT_GT(glyphPixels, 40 * ratio * ratio);
    }
    EXPECT_EQ(pixel(statusImage(kSecondaryLabel, kWhite), 1, 1).alpha(), 0);
}

// Hosts that pick from square sizes get the image scaled to the width,
// centred top to bottom, the dot at its place.
TEST(StatusIndicatorTest, SquareImagesKeepTheDrawingCentred) {
    for (int size : {16, 22, 32, 64}) {
        const QImage square = squareStatusImage(Theme::badRed, kWhite, size);
        EXPECT_EQ(square.size(), QSize(size, size));
        EXPECT_EQ(square.devicePixelRatio(), 1.0);
        // The dot's centre (23.5, 9.5 of 28 x 18), shifted down by the margin.
        const double scale = size / 28.0;
        const int top = (size - qRound(18 * scale)) / 2;
        const QColor dot = square.pixelColor(int(23.5 * scale), top + int(9.5 * scale));
        EXPECT_GT(dot.red(), 150) << size;
        EXPECT_LT(dot.green(), 120) << size;
        EXPECT_EQ(square.pixelColor(0, 0).alpha(), 0) << "the margin is clear";
    }
}

TEST(StatusIndicatorTest, ToolTipAndMoodFollowTheStateAndToday) {
    DailyStats today;
    EXPECT_EQ(toolTip("Aligned", today), "Aligned") << "no score before anything was measured";
    today.monitoredSeconds = 600;
    today.slouchedSeconds = 48;
    EXPECT_EQ(toolTip("Aligned", today), "Aligned \u00b7 today 92 %");

    using Mood = StatusItem::Mood;
    EXPECT_EQ(mood(PostureState::idle(), true, false), Mood::idle);
    EXPECT_EQ(mood(PostureState::good(), false, false), Mood::idle) << "no live reading";
    EXPECT_EQ(mood(PostureState::good(), true, false), Mood::live);
    EXPECT_EQ(mood(PostureState::capturing(), true, false), Mood::live);
    EXPECT_EQ(mood(PostureState::bad({}), true, false), Mood::live) << "not alerted yet";
    EXPECT_EQ(mood(PostureState::bad({}), true, true), Mood::alert);
}

} // namespace
} // namespace backbeacon
