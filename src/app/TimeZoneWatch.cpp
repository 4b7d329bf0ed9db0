#include "TimeZoneWatch.h"

#include "model/Timer.h"
#include "stats/LocalCalendar.h"

#include <QLoggingCategory>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcZone, "backbeacon.stats")

TimeZoneWatch::TimeZoneWatch(LocalCalendar& calendar, TimerFactory& timers,
                             std::function<QTimeZone()> systemZone)
    : m_calendar(calendar), m_systemZone(std::move(systemZone)), m_timer(timers.createTimer()) {
    // The timer dies with this object, so the tick never outlives it.
    m_timer->start(kInterval, [this] { check(); });
}

TimeZoneWatch::~TimeZoneWatch() = default;

void TimeZoneWatch::check() {
    const QTimeZone zone = m_systemZone();
    // A zone that cannot be read leaves the calendar as it is.
    if (!zone.isValid() || zone.id() == m_calendar.timeZone().id()) {
        return;
    }
    qCInfo(lcZone) << "time zone changed from" << m_calendar.timeZone().id() << "to" << zone.id();
    m_calendar.setTimeZone(zone);
}

} // namespace backbeacon
