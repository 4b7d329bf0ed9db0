#include "LocalCalendar.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace backbeacon {

namespace {

// 0001-01-01T00:00:00Z and 9999-12-31T00:00:00Z in milliseconds since 1970.
constexpr qint64 kEarliestMs = -62135596800000;
constexpr qint64 kLatestMs = 253402214400000;

qint64 toMs(Instant instant) {
    const double ms = std::floor(instant.unixSeconds() * 1000.0);
    if (!(ms >= static_cast<double>(kEarliestMs))) { // also NaN
        return kEarliestMs;
    }
    if (ms > static_cast<double>(kLatestMs)) {
        return kLatestMs;
    }
    return static_cast<qint64>(ms);
}

Instant fromMs(qint64 ms) {
    return Instant::fromUnixSeconds(static_cast<double>(ms) / 1000.0);
}

QTimeZone orSystemZone(QTimeZone zone) {
    return zone.isValid() ? zone : QTimeZone::systemTimeZone();
}

} // namespace

LocalCalendar::LocalCalendar() : m_zone(QTimeZone::systemTimeZone()) {}

LocalCalendar::LocalCalendar(QTimeZone zone) : m_zone(orSystemZone(std::move(zone))) {}

void LocalCalendar::setTimeZone(QTimeZone zone) {
    m_zone = orSystemZone(std::move(zone));
    ++m_generation;
}

QDate LocalCalendar::localDate(Instant instant) const {
    return QDateTime::fromMSecsSinceEpoch(toMs(instant), m_zone).date();
}

Instant LocalCalendar::startOfDate(QDate date) const {
    const QDateTime candidate = date.startOfDay(m_zone);
    if (candidate.isValid()) {
        const qint64 ms = candidate.toMSecsSinceEpoch();
        // Trust Qt's answer only when the millisecond before it is an earlier date.
        if (localDate(fromMs(ms)) >= date && localDate(fromMs(ms - 1)) < date) {
            return fromMs(ms);
        }
    }
    // No start from Qt (the date was skipped) or a doubtful one: search for the
    // earliest second whose local date is `date` or later (offsets are whole
    // seconds). Offsets stay within a day and a half of UTC, so three days either
    // side of UTC noon bracket it.
    const qint64 noon = QDateTime(date, QTime(12, 0), QTimeZone::utc()).toMSecsSinceEpoch() / 1000;
    qint64 low = std::max(noon - 3 * 86'400, kEarliestMs / 1000);
    qint64 high = std::min(noon + 3 * 86'400, kLatestMs / 1000);
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        if (localDate(fromMs(middle * 1000)) >= date) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return fromMs(low * 1000);
}

LocalCalendar::Day LocalCalendar::dayContaining(Instant instant) const {
    const qint64 ms = toMs(instant);
    const Instant at = fromMs(ms);
    QDate date = localDate(at);
    Day day{startOfDate(date), startOfDate(date.addDays(1))};
    // Where the clock falls back across midnight, the repeated hour shows the
    // previous date although that day is over; it belongs to the day it follows.
    while (!(at < day.nextStart) && ms < kLatestMs) {
        date = localDate(day.nextStart);
        day = Day{day.nextStart, startOfDate(date.addDays(1))};
    }
    return day;
}

bool LocalCalendar::isSameDay(Instant a, Instant b) const {
    return dayContaining(a) == dayContaining(b);
}

} // namespace backbeacon
