#pragma once

#include "Insights.h"
#include "LocalCalendar.h"
#include "model/DailyStats.h"
#include "model/Theme.h"

#include <QByteArray>
#include <QDate>
#include <QImage>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The insight card: today's posture figures against the recent days, drawn as a
// 1080 x 1920 picture and encoded as PNG. Drawing needs a QGuiApplication (for
// fonts) but no display.
namespace backbeacon::StatsInfographicRenderer {

inline constexpr int kWidth = 1080;
inline constexpr int kHeight = 1920;

// What the card reads from outside the days it is given.
struct CardContext {
    Instant now;            // dates the fresh record drawn when no days are given
    LocalCalendar calendar; // the local day of the header's date
    QLocale locale;         // the header's date format

    // The system clock and time zone and the user's locale.
    static CardContext current();
};

// An opaque RGB32 image of kWidth x kHeight; a null image if none could be made.
QImage render(const std::vector<DailyStats>& days);
QImage render(const std::vector<DailyStats>& days, const CardContext& context);

// The rendered card as PNG bytes; nothing if it could not be drawn or encoded.
std::optional<QByteArray> pngData(const std::vector<DailyStats>& days);
// 8-bit RGB, unfiltered rows, zlib's fastest level: the user waits for these
// bytes, and on the card's broad flat areas this is smaller than Qt's writer
// at its default level and several times faster. Alpha is dropped.
std::optional<QByteArray> encodePng(const QImage& image);

// The choices the card makes, each from the figures it shows.

// Sorted by date (equal dates keep their order), at most the latest 7.
std::vector<DailyStats> normalizedDays(std::vector<DailyStats> days);
QString headline(const DailyStats& today);
QString trendRemark(const Insights& insights);
QString trendCaption(const Insights& insights);
QString recoveryCaption(const DailyStats& today);
QString driftEventLabel(std::int64_t slouches);
QString resetLabel(std::int64_t fixes);
// Whole seconds, minutes or hours, truncated: "59s", "1m", "2h".
QString shortDuration(double seconds);
// Mean score, rounded; 100 without days.
int averageScore(const std::vector<DailyStats>& days);
// Share of monitored time aligned, unrounded and without the short-day rule.
double alignedFraction(const DailyStats& today);
// Cells of the 32-cell signal gauge lit for an average score.
int litCells(int average);
ColorComponents interpolate(const ColorComponents& from, const ColorComponents& to, double amount);
// The locale's long date without the weekday and with abbreviated month names
// ("Dec 6, 2026", "6. Dez. 2026").
QString mediumDate(QDate date, const QLocale& locale);

} // namespace backbeacon::StatsInfographicRenderer
