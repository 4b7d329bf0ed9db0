#pragma once

#include "model/Instant.h"

#include <QDate>
#include <QTimeZone>

#include <cstdint>

namespace backbeacon {

// Local calendar days in one time zone (the system zone unless told otherwise).
//
// A day is the half-open interval from the earliest instant whose local date is
// that day to the start of the next day that exists. Days may last 23, 23.5,
// 24.5 or 25 hours, may start after midnight (when midnight falls into a DST gap)
// and may be skipped altogether (Pacific/Apia went from 2011-12-29 straight to
// 2011-12-31): every instant still belongs to exactly one day, and days follow
// each other without gaps.
class LocalCalendar {
public:
    struct Day {
        Instant start;     // first instant of the day
        Instant nextStart; // first instant of the following day
        bool contains(Instant instant) const { return start <= instant && instant < nextStart; }
        bool operator==(const Day&) const = default;
    };

    LocalCalendar();
    explicit LocalCalendar(QTimeZone zone);

    QTimeZone timeZone() const { return m_zone; }
    // Switching the zone bumps generation(), which is how users holding on to a
    // Day learn that it may no longer be right. An invalid zone means the system zone.
    void setTimeZone(QTimeZone zone);
    std::uint64_t generation() const { return m_generation; }

    // Instants are clamped to the years 1 to 9999.
    Day dayContaining(Instant instant) const;
    Instant startOfDay(Instant instant) const { return dayContaining(instant).start; }
    bool isSameDay(Instant a, Instant b) const;

    // The local date shown by a wall clock in this zone at `instant`.
    QDate localDate(Instant instant) const;
    // Earliest instant whose local date is `date` or later; for a date that
    // exists, its start.
    Instant startOfDate(QDate date) const;

private:
    QTimeZone m_zone;
    std::uint64_t m_generation = 0;
};

} // namespace backbeacon
