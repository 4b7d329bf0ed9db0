#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace backbeacon {

// Top-left corner of a panel of `size`: centred under the tray icon when its
// geometry is known (above it when the tray sits at the bottom of the screen),
// otherwise at the pointer; always inside `available`, the screen's work area.
QPoint panelPosition(const QRect& iconGeometry, const QPoint& pointer, const QSize& size,
                     const QRect& available);

} // namespace backbeacon
