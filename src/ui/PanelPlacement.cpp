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
    if (anchor.width() > anchor.height()) {
        // A slice across a bar on the left or right: beside it, toward the
        // side with room.
        x = anchor.right() + 1 + kGap;
        y = anchor.center().y() - size.height() / 2;
        const bool roomRight = x + size.width() <= available.right() + 1;
        const bool roomLeft = anchor.left() - kGap - size.width() >= available.left();
        if (!roomRight && roomLeft) {
            x = anchor.left() - kGap - size.width();
        }
    } else {
        const bool roomBelow = y + size.height() <= available.bottom() + 1;
        const bool roomAbove = anchor.top() - kGap - size.height() >= available.top();
        if (!roomBelow && roomAbove) {
            y = anchor.top() - kGap - size.height();
        }
    }
    // Pinned to the top-left when the panel is larger than the work area, so
    // its header and first actions stay reachable.
    x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
}

QRect activationAnchor(const QPoint& point, const QRect& screen) {
    if (!screen.contains(point)) {
        return {};
    }
    const int left = point.x() - screen.left();
    const int right = screen.right() - point.x();
    const int top = point.y() - screen.top();
    const int bottom = screen.bottom() - point.y();
    const int nearest = std::min({left, right, top, bottom});
    if (nearest > kMaxBarReach) {
        return {point, QSize(1, 1)};
    }
    // From the edge to the point's mirror image: 1 px across the bar's length,
    // so a slice of a side bar is wider than tall and one of a top or bottom
    // bar taller than wide.
    const int reach = 2 * nearest + 1;
    if (nearest == top) {
        return {point.x(), screen.top(), 1, reach};
    }
    if (nearest == bottom) {
        return {point.x(), screen.bottom() + 1 - reach, 1, reach};
    }
    if (nearest == left) {
        return {screen.left(), point.y(), reach, 1};
    }
    return {screen.right() + 1 - reach, point.y(), reach, 1};
}

Qt::WindowFlags panelWindowFlags(bool asWindow, const QByteArray& platform, bool waylandSession) {
    if (asWindow) {
        return Qt::Window;
    }
    const Qt::WindowFlags popup = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if (waylandSession && platform == "xcb") {
        // A plain window type: the compositor gives the keyboard to such a
        // window when it appears, and would not to a tool window.
        return popup | Qt::Window | Qt::X11BypassWindowManagerHint;
    }
    return popup | Qt::Tool;
}

} // namespace backbeacon
