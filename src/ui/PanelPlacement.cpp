#include "PanelPlacement.h"

#include <algorithm>

namespace backbeacon {

namespace {

// Gap between the icon or pointer and the panel.
constexpr int kGap = 4;

} // namespace

QPoint panelPosition(const QRect& iconGeometry, const QPoint& pointer, const QSize& size,
                     const QRect& available) {
    const QRect anchor = iconGeometry.isValid() && !iconGeometry.isEmpty()
                             ? iconGeometry
                             : QRect(pointer, QSize(1, 1));
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.bottom() + 1 + kGap;
    const bool roomBelow = y + size.height() <= available.bottom() + 1;
    const bool roomAbove = anchor.top() - kGap - size.height() >= available.top();
    if (!roomBelow && roomAbove) {
        y = anchor.top() - kGap - size.height();
    }
    // Pinned to the top-left when the panel is larger than the work area, so
    // its header and first actions stay reachable.
    x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
}

} // namespace backbeacon
