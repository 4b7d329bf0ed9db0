#include "app/TimeZoneWatch.h"

#include "VirtualTime.h"
#include "stats/LocalCalendar.h"

#include <gtest/gtest.h>

namespace backbeacon::testing {
namespace {

TEST(TimeZoneWatchTest, TheCalendarFollowsTheSystemZoneWithinAMinute) {
    VirtualTime time;
    LocalCalendar calendar(QTimeZone("Europe/Berlin"));
    QTimeZone system("Europe/Berlin");
    TimeZoneWatch watch(calendar, time, [&] { return system; });

    time.advance(120);
    EXPECT_EQ(calendar.generation(), 0u); // no change, no new days

    system = QTimeZone("Asia/Tokyo");
    time.advance(60);
    EXPECT_EQ(calendar.timeZone().id(), "Asia/Tokyo");
    EXPECT_EQ(calendar.generation(), 1u);

    // An unreadable zone keeps the last good one.
    system = QTimeZone();
    time.advance(60);
    EXPECT_EQ(calendar.timeZone().id(), "Asia/Tokyo");
}

} // namespace
} // namespace backbeacon::testing
