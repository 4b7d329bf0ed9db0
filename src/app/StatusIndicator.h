#pragma once

#include "engine/PostureState.h"
#include "model/Instant.h"
#include "model/Theme.h"

#include <QImage>

namespace backbeacon {

// What the tray shows of the monitor, as plain functions of its state so the
// rules run without a tray.
namespace statusIndicator {

// The dimmed colour of everything that is not a live reading. A mid grey, so it
// reads on light and dark panels alike.
inline constexpr ColorComponents kSecondaryLabel{0.60, 0.60, 0.60};
inline constexpr ColorComponents kWhite{1, 1, 1};

// Logical size of the tray image; drawn at the screen's pixel ratio.
inline constexpr int kImageWidth = 28;
inline constexpr int kImageHeight = 18;

ColorComponents indicatorColor(const PostureState& state, bool connected, double driftFraction);
bool shouldFlashRed(const PostureState& state, bool connected, double driftFraction);
// Red and white alternate every third of a second while the drift is full.
ColorComponents symbolColor(const PostureState& state, bool connected, double driftFraction,
                            Instant now);

// The glyph tinted `symbol` and the dot filled `indicator`, on transparency.
// Without the glyph artwork only the dot is drawn.
QImage statusImage(const ColorComponents& indicator, const ColorComponents& symbol,
                   qreal devicePixelRatio = 1.0);

} // namespace statusIndicator
} // namespace backbeacon
