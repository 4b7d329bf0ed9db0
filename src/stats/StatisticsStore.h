#pragma once

#include "LocalCalendar.h"
#include "StatsStorage.h"
#include "model/Clock.h"
#include "model/DailyStats.h"

#include <QObject>

#include <cstdint>
#include <vector>

namespace backbeacon {

// The day's posture figures and the past 90 days, kept in the statistics file.
//
// Fed by the posture monitor; read by the views. Saves are throttled to one per
// 5 seconds, except after a slouch, a fix or a day change, which save at once.
// Failures are absorbed: the figures in memory stay as they are and the next
// save tries again.
class StatisticsStore final : public QObject {
    Q_OBJECT

public:
    static constexpr double kSaveInterval = 5.0;
    static constexpr std::size_t kHistoryLimit = 90;

    // Loads the file; writes nothing.
    StatisticsStore(StatsStorage& storage, const Clock& clock, LocalCalendar& calendar,
                    QObject* parent = nullptr);

    const DailyStats& today() const { return m_today; }
    // Past days, oldest first; never today.
    const std::vector<DailyStats>& history() const { return m_history; }
    // At most `limit` records: the latest past days, then today (none for limit <= 0).
    std::vector<DailyStats> recentDays(int limit) const;

    void recordSlouch();
    void recordFix();
    // Elapsed seconds of one tick; anything outside [0, 5) is ignored.
    void addMonitored(double seconds);
    void addSlouched(double seconds);

    // Writes at once if anything changed since the last successful save (at an
    // orderly quit, so the throttle loses nothing).
    void savePendingChanges();

signals:
    void todayChanged();
    void historyChanged();

private:
    void load();
    void recordEvent(std::int64_t DailyStats::*counter);
    void rolloverIfNeeded(Instant now);
    void rollover(Instant now);
    void autosave(Instant now);
    void save(Instant now);
    void setToday(const DailyStats& day);

    StatsStorage& m_storage;
    const Clock& m_clock;
    LocalCalendar& m_calendar;

    DailyStats m_today;
    std::vector<DailyStats> m_history;
    Instant m_lastSave = Instant::distantPast();

    bool m_unsaved = false;        // changes since the last successful save
    bool m_keepFileAside = false;  // the file found at start could not be used
    bool m_lastSaveFailed = false; // to log a failure once, not every 5 seconds

    // The interval in which the last rollover check found nothing to do; while
    // the clock stays inside it (and the zone is unchanged) it still holds.
    LocalCalendar::Day m_checkedDay{Instant::distantPast(), Instant::distantPast()};
    std::uint64_t m_checkedGeneration = 0;
};

} // namespace backbeacon
