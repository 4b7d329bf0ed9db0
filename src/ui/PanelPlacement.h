#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

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

// Flags of the panel's window on Qt platform `platform`. A popup normally
// asks the window manager to keep it frameless and on top, which every X11
// manager honours at the position given. Under a Wayland compositor's
// Xwayland (`waylandSession`) the compositor floats such a window in the
// middle of the screen, so there the popup bypasses it, the only way an X11
// window keeps the place we give it by the tray.
Qt::WindowFlags panelWindowFlags(bool asWindow, const QByteArray& platform, bool waylandSession);

} // namespace backbeacon
