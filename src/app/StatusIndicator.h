#pragma once

#include "app/StatusItem.h"
#include "engine/PostureState.h"
#include "model/DailyStats.h"
#include "model/Instant.h"
#include "model/Theme.h"

#include <QImage>

#include <optional>

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

// The ramp is shown in steps of this much drift fraction: finer ones cannot
// be told apart on a dot of seven pixels.
inline constexpr double kDotStep = 0.05;

// The drift fraction the dot shows, given the one it shows now (none before
// the first image): the shown step is kept while the drift stays within a
// step of it, so a tracker's jitter does not redraw the tray at every tick,
// and a real drift moves it at once. Full drift (and not a number) is 1 at
// once, as the flash is; below that the dot stops a step short of red.
double dotFraction(double driftFraction, std::optional<double> shown);

ColorComponents indicatorColor(const PostureState& state, bool connected, double driftFraction);
bool shouldFlashRed(const PostureState& state, bool connected, double driftFraction);
// Red and white alternate every third of a second while the drift is full.
ColorComponents symbolColor(const PostureState& state, bool connected, double driftFraction,
                            Instant now);

// The glyph tinted `symbol` and the dot filled `indicator`, on transparency.
// Without the glyph artwork only the dot is drawn.
QImage statusImage(const ColorComponents& indicator, const ColorComponents& symbol,
                   qreal devicePixelRatio = 1.0);

// The image drawn into a square of `pixels`, scaled to its width and centred
// top to bottom, for hosts that pick from square sizes.
QImage squareStatusImage(const ColorComponents& indicator, const ColorComponents& symbol,
                         int pixels);

// "Aligned · today 92 %": the panel's headline and, once today has monitored
// time, today's score.
QString toolTip(const QString& headline, const DailyStats& today);

// Idle while nothing live is shown (and no capture runs), alert while an
// alerted streak lasts.
StatusItem::Mood mood(const PostureState& state, bool connected, bool alerted);

} // namespace statusIndicator
} // namespace backbeacon
