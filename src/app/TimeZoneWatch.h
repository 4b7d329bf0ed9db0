#pragma once

#include <QTimeZone>

#include <functional>
#include <memory>

namespace backbeacon {

class LocalCalendar;
class Timer;
class TimerFactory;

// Keeps the statistics calendar in the system's time zone, so that after the
// user changes it (or travels with the laptop) days start at the new local
// midnight. Looks once a minute; reading the zone is a stat() of
// /etc/localtime when nothing changed.
class TimeZoneWatch {
public:
    static constexpr double kInterval = 60.0;

    explicit TimeZoneWatch(LocalCalendar& calendar, TimerFactory& timers,
                           std::function<QTimeZone()> systemZone = &QTimeZone::systemTimeZone);
    ~TimeZoneWatch();

    void check();

private:
    LocalCalendar& m_calendar;
    std::function<QTimeZone()> m_systemZone;
    std::unique_ptr<Timer> m_timer;
};

} // namespace backbeacon
