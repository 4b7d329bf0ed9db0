#pragma once

#include <QByteArray>

#include <optional>

namespace backbeacon {

// The Qt platform to run on, from the session's QT_QPA_PLATFORM, DISPLAY and
// WAYLAND_DISPLAY; none to leave Qt's choice alone. On Wayland the app runs on
// Xwayland where that is reachable, because only there may it place its panel
// by the tray; natively otherwise, with X11 as the one to try next, so a
// missing plugin is no reason to stop. A platform the user chose stands.
std::optional<QByteArray> qpaPlatformFor(const QByteArray& chosen, const QByteArray& display,
                                         const QByteArray& waylandDisplay);

} // namespace backbeacon
