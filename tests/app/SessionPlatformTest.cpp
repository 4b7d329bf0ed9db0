#include "app/SessionPlatform.h"

#include <gtest/gtest.h>

namespace backbeacon {
namespace {

TEST(SessionPlatformTest, WaylandRunsOnXwaylandWhereReachableAndNeverWithoutAFallback) {
    // Xwayland beside the compositor: X11, where the panel can be placed.
    EXPECT_EQ(qpaPlatformFor("", ":0", "wayland-1"), QByteArray("xcb"));
    // No X server: native, X11 only as the next try.
    EXPECT_EQ(qpaPlatformFor("", "", "wayland-1"), QByteArray("wayland;xcb"));
    // A plain X11 session, or nothing known: Qt's own choice.
    EXPECT_EQ(qpaPlatformFor("", ":0", ""), QByteArray("xcb"));
    EXPECT_EQ(qpaPlatformFor("", "", ""), std::nullopt);
    // What the user set stands.
    EXPECT_EQ(qpaPlatformFor("wayland", ":0", "wayland-1"), std::nullopt);
}

} // namespace
} // namespace backbeacon
