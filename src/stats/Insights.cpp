#include "Insights.h"

#include <charconv>
#include <cmath>

namespace backbeacon {

Insights::Insights(std::vector<DailyStats> days, const DailyStats& fallbackToday)
    : m_days(std::move(days)), m_today(m_days.empty() ? fallbackToday : m_days.back()) {}

std::optional<int> Insights::previousAverage() const {
    if (m_days.size() < 2) {
        return std::nullopt;
    }
    double sum = 0;
    for (std::size_t i = 0; i + 1 < m_days.size(); ++i) {
        sum += m_days[i].score();
    }
    return static_cast<int>(std::round(sum / static_cast<double>(m_days.size() - 1)));
}

ColorComponents Insights::trendColor() const {
    const auto average = previousAverage();
    const int score = m_today.score();
    if (!average || score >= *average + 5) {
        return Theme::accentBlue;
    }
    if (score <= *average - 5) {
        return Theme::badOrange;
    }
    return Theme::mutedTeal;
}

QString Insights::trendBody() const {
    const auto average = previousAverage();
    if (!average) {
        return QStringLiteral("Keep monitoring for a few days and this card will compare today "
                              "against your baseline.");
    }
    const int score = m_today.score();
    const QString averageText = QString::number(*average);
    if (score == *average) {
        return QStringLiteral("Today matches your recent average of ") + averageText +
               QStringLiteral("%.");
    }
    const bool above = score > *average;
    return QStringLiteral("Today is ") + QString::number(std::abs(score - *average)) +
           QStringLiteral(" points ") +
           (above ? QStringLiteral("above") : QStringLiteral("below")) +
           QStringLiteral(" your recent average of ") + averageText + QStringLiteral("%.");
}

QString Insights::deltaText() const {
    const auto average = previousAverage();
    if (!average) {
        return QStringLiteral("New");
    }
    const int delta = m_today.score() - *average;
    if (delta == 0) {
        return QStringLiteral("Even");
    }
    return (delta > 0 ? QStringLiteral("+") : QString()) + QString::number(delta) +
           QStringLiteral(" pts");
}

QString Insights::recoveryText() const {
    if (m_today.slouches < 1) {
        return QStringLiteral("Clean");
    }
    const double rate =
        static_cast<double>(m_today.fixes) / static_cast<double>(m_today.slouches) * 100.0;
    // Formatted from the double: counts near the 64-bit limit would overflow llround.
    return QString::number(std::round(rate), 'f', 0) + u'%';
}

std::optional<double> Insights::driftRate() const {
    if (!(m_today.monitoredSeconds > 0)) {
        return std::nullopt;
    }
    return static_cast<double>(m_today.slouches) / (m_today.monitoredSeconds / 3600.0);
}

QString Insights::driftLoadText() const {
    const auto rate = driftRate();
    if (!rate) {
        return QStringLiteral("No data");
    }
    // to_chars, not printf: the C locale of a Qt process follows the user's, and
    // "2,4/h" is not the format.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, *rate, std::chars_format::fixed, 1);
    if (result.ec != std::errc()) {
        return QStringLiteral("No data");
    }
    return QString::fromLatin1(buffer, result.ptr - buffer) + QStringLiteral("/h");
}

QString Insights::driftLoadCaption() const {
    const auto rate = driftRate();
    if (!rate) {
        return QStringLiteral("Start monitoring");
    }
    if (*rate < 1) {
        return QStringLiteral("Low event load");
    }
    if (*rate < 3) {
        return QStringLiteral("Moderate event load");
    }
    return QStringLiteral("High event load");
}

ColorComponents Insights::driftLoadColor() const {
    const auto rate = driftRate();
    if (!rate || *rate < 1) {
        return Theme::accentBlue;
    }
    if (*rate < 3) {
        return Theme::warningYellow;
    }
    return Theme::badOrange;
}

QString Insights::footerInsight() const {
    if (!(m_today.monitoredSeconds > 30)) {
        return QStringLiteral("More monitoring time will make these insights sharper.");
    }
    if (m_today.score() < 90) {
        return m_today.fixes < m_today.slouches
                   ? QStringLiteral("Main insight: recoveries are behind drift events today.")
                   : QStringLiteral(
                         "Main insight: posture drift is present, but resets are keeping pace.");
    }
    return m_today.slouches != 0
               ? QStringLiteral("Strong day: drift appeared, but it did not dominate the session.")
               : QStringLiteral("Strong day: no drift events and almost all time stayed aligned.");
}

} // namespace backbeacon
