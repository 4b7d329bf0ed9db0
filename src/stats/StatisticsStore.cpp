#include "StatisticsStore.h"

#include "model/RecordJson.h"

#include <QLoggingCategory>

#include <limits>

Q_LOGGING_CATEGORY(lcStats, "backbeacon.stats")

namespace backbeacon {

namespace {

bool accepted(double seconds) {
    return seconds >= 0.0 && seconds < 5.0;
} // false for NaN

// Counters loaded from a file can sit at the top of the range.
std::int64_t incremented(std::int64_t value) {
    return value == std::numeric_limits<std::int64_t>::max() ? value : value + 1;
}

} // namespace

StatisticsStore::StatisticsStore(StatsStorage& storage, const Clock& clock, LocalCalendar& calendar,
                                 QObject* parent)
    : QObject(parent), m_storage(storage), m_clock(clock), m_calendar(calendar) {
    load();
}

void StatisticsStore::load() {
    std::vector<DailyStats> days;
    StatsStorage::Loaded loaded = m_storage.load();
    if (loaded.outcome == StatsStorage::Loaded::Outcome::read) {
        if (auto decoded = json::decodeDailyStatsArray(loaded.bytes)) {
            days = std::move(*decoded);
        } else {
            m_keepFileAside = true;
        }
    } else if (loaded.outcome == StatsStorage::Loaded::Outcome::unreadable) {
        m_keepFileAside = true;
    }
    if (m_keepFileAside) {
        qCWarning(lcStats) << "the statistics file could not be read; starting empty and keeping "
                              "it aside at the first save";
    }

    const Instant now = m_clock.now();
    const LocalCalendar::Day day = m_calendar.dayContaining(now);
    if (!days.empty() && day.contains(days.back().date)) {
        m_today = days.back();
        days.pop_back();
    } else {
        m_today = DailyStats::freshDay(day.start);
    }
    m_history = std::move(days);
    m_checkedDay = day;
    m_checkedGeneration = m_calendar.generation();
}

std::vector<DailyStats> StatisticsStore::recentDays(int limit) const {
    if (limit <= 0) {
        return {};
    }
    const std::size_t fromHistory = std::min(m_history.size(), static_cast<std::size_t>(limit) - 1);
    std::vector<DailyStats> days(m_history.end() - static_cast<std::ptrdiff_t>(fromHistory),
                                 m_history.end());
    days.push_back(m_today);
    return days;
}

void StatisticsStore::recordSlouch() {
    recordEvent(&DailyStats::slouches);
}

void StatisticsStore::recordFix() {
    recordEvent(&DailyStats::fixes);
}

// Slouches and fixes are rare and worth keeping: they save at once.
void StatisticsStore::recordEvent(std::int64_t DailyStats::*counter) {
    const Instant now = m_clock.now();
    rolloverIfNeeded(now);
    DailyStats day = m_today;
    day.*counter = incremented(day.*counter);
    setToday(day);
    m_lastSave = Instant::distantPast();
    autosave(now);
}

void StatisticsStore::addMonitored(double seconds) {
    if (!accepted(seconds)) {
        return;
    }
    const Instant now = m_clock.now();
    rolloverIfNeeded(now);
    const double sum = m_today.monitoredSeconds + seconds;
    if (sum != m_today.monitoredSeconds) {
        m_today.monitoredSeconds = sum;
        m_unsaved = true;
        emit todayChanged();
    }
    autosave(now);
}

void StatisticsStore::addSlouched(double seconds) {
    if (!accepted(seconds)) {
        return;
    }
    rolloverIfNeeded(m_clock.now());
    const double sum = m_today.slouchedSeconds + seconds;
    if (sum != m_today.slouchedSeconds) {
        m_today.slouchedSeconds = sum;
        m_unsaved = true;
        emit todayChanged();
    }
}

void StatisticsStore::savePendingChanges() {
    if (m_unsaved) {
        save(m_clock.now());
    }
}

void StatisticsStore::rolloverIfNeeded(Instant now) {
    // The common case, every tick: no time-zone arithmetic.
    if (m_checkedDay.contains(now) && m_checkedGeneration == m_calendar.generation()) {
        return;
    }
    const LocalCalendar::Day day = m_calendar.dayContaining(now);
    m_checkedDay = day;
    m_checkedGeneration = m_calendar.generation();
    // Only a later day closes today's record. When the clock is set back into an
    // earlier day, the time keeps counting into today's record rather than
    // opening a second record for a day that is already in the history.
    if (m_today.date < day.start) {
        rollover(now);
    }
}

void StatisticsStore::rollover(Instant now) {
    const LocalCalendar::Day day = m_checkedDay;
    m_history.push_back(m_today);
    if (m_history.size() > kHistoryLimit) {
        m_history.erase(m_history.begin(),
                        m_history.end() - static_cast<std::ptrdiff_t>(kHistoryLimit));
    }
    m_today = DailyStats::freshDay(day.start);
    m_unsaved = true;
    emit historyChanged();
    emit todayChanged();
    m_lastSave = Instant::distantPast();
    autosave(now);
}

void StatisticsStore::autosave(Instant now) {
    // A last save in the future means the clock was set back: waiting for it
    // would stop the throttled saves for as long as the clock jumped.
    if (now - m_lastSave < kSaveInterval && !(m_lastSave > now)) {
        return;
    }
    save(now);
}

void StatisticsStore::save(Instant now) {
    // Set before writing: a failed write waits for the next slot like a good one.
    m_lastSave = now;
    std::vector<DailyStats> days;
    days.reserve(m_history.size() + 1);
    days.insert(days.end(), m_history.begin(), m_history.end());
    days.push_back(m_today);
    const auto bytes = json::encode(std::span<const DailyStats>(days));
    if (!bytes) {
        return;
    }
    if (!m_storage.replace(*bytes, m_keepFileAside)) {
        if (!m_lastSaveFailed) {
            qCWarning(lcStats) << "could not save the statistics; will try again";
        }
        m_lastSaveFailed = true;
        return;
    }
    m_lastSaveFailed = false;
    m_keepFileAside = false;
    m_unsaved = false;
}

void StatisticsStore::setToday(const DailyStats& day) {
    if (day == m_today) {
        return;
    }
    m_today = day;
    m_unsaved = true;
    emit todayChanged();
}

} // namespace backbeacon
