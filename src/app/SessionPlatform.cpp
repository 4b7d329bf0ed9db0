#include "SessionPlatform.h"

namespace backbeacon {

std::optional<QByteArray> qpaPlatformFor(const QByteArray& chosen, const QByteArray& display,
                                         const QByteArray& waylandDisplay) {
    if (!chosen.isEmpty()) {
        return std::nullopt;
    }
    if (!display.isEmpty()) {
        return QByteArray("xcb");
    }
    if (!waylandDisplay.isEmpty()) {
        return QByteArray("wayland;xcb");
    }
    return std::nullopt;
}

} // namespace backbeacon
