#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace backbeacon {

// Top-left corner of a panel of `size`: centred under the tray icon when its
// geometry is known (above it when the tray sits at the bottom of the screen,
// beside it for an anchor wider than tall: a slice of a bar at a side),
// otherwise at the pointer; always inside `available`, the screen's work area.
QPoint panelPosition(const QRect& iconGeometry, const QPoint& pointer, const QSize& size,
                     const QRect& available);

} // namespace backbeacon

namespace backbeacon {

// The icon's likely area from the point a StatusNotifierItem host passes on
// activation, on `screen`: the bar is taken to run along the screen edge
// nearest the point, centred on it, so the area reaches from that edge to as
// far past the point. A point farther than kMaxBarReach from every edge is
// not in a bar: the area is the point alone. Empty when the point is on no
// screen.
inline constexpr int kMaxBarReach = 64;
QRect activationAnchor(const QPoint& point, const QRect& screen);

} // namespace backbeacon
