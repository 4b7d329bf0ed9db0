#pragma once

#include "model/DailyStats.h"
#include "model/Theme.h"

#include <QString>

#include <optional>
#include <vector>

namespace backbeacon {

// Comparative figures and sentences for the insight card, computed on demand
// from a short run of days (oldest first, today last).
class Insights {
public:
    // `fallbackToday` is used when `days` is empty: a fresh record for today.
    Insights(std::vector<DailyStats> days, const DailyStats& fallbackToday);

    const std::vector<DailyStats>& days() const { return m_days; }
    const DailyStats& today() const { return m_today; }

    // Mean score of the days before today, rounded; absent without such days.
    std::optional<int> previousAverage() const;

    ColorComponents trendColor() const;
    QString trendBody() const;
    QString deltaText() const;
    QString recoveryText() const;
    QString driftLoadText() const;
    QString driftLoadCaption() const;
    ColorComponents driftLoadColor() const;
    QString footerInsight() const;

private:
    // Slouches per monitored hour; absent without monitored time.
    std::optional<double> driftRate() const;

    std::vector<DailyStats> m_days;
    DailyStats m_today;
};

} // namespace backbeacon
