#include "StatsInfographicRenderer.h"

#include "CardCanvas.h"
#include "Symbols.h"
#include "model/Clock.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <png.h>
#include <vector>

Q_LOGGING_CATEGORY(lcCard, "backbeacon.stats")

namespace backbeacon::StatsInfographicRenderer {

namespace {

using namespace Theme;

constexpr ColorComponents white(double opacity) {
    return {1, 1, 1, opacity};
}
constexpr ColorComponents withOpacity(ColorComponents color, double opacity) {
    color.opacity = opacity;
    return color;
}

// Content runs between these two x of the card.
constexpr double kLeft = 148;
constexpr double kContentWidth = 784;
constexpr double kRight = kLeft + kContentWidth;
constexpr int kSignalCells = 32;

// A symbol tinted as a whole: drawn at `pointSize` into a scratch image of the
// target size, coloured only where the symbol has pixels, then laid on the card.
void drawGlyph(CardCanvas& canvas, const QString& symbol, int pointSize, const QRectF& rect,
               const ColorComponents& tint) {
    const QImage shape = symbolImage(symbol, QSize(pointSize, pointSize));
    const QSize size(static_cast<int>(std::ceil(rect.width())),
                     static_cast<int>(std::ceil(rect.height())));
    QImage scratch(size, QImage::Format_ARGB32_Premultiplied);
    if (shape.isNull() || scratch.isNull()) {
        return;
    }
    scratch.fill(Qt::transparent);
    QPainter painter(&scratch);
    painter.drawImage(QPointF((size.width() - pointSize) / 2.0, (size.height() - pointSize) / 2.0),
                      shape);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(scratch.rect(), toQColor(tint));
    painter.end();
    canvas.image(rect, scratch);
}

void drawProgressBar(CardCanvas& canvas, const QRectF& rect, double fraction,
                     const std::vector<ColorComponents>& colors) {
    const double radius = rect.height() / 2;
    canvas.fillRoundedRect(rect, radius, trackBackground);
    const double filled =
        std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0) * rect.width();
    if (filled > 0) {
        canvas.linearGradientIn(rect, colors, QRectF(rect.x(), rect.y(), filled, rect.height()),
                                radius);
    }
}

void drawHeader(CardCanvas& canvas, const DailyStats& today, const CardContext& context, double y) {
    drawGlyph(canvas, QStringLiteral("airpodspro"), 72, QRectF(kLeft, y - 18, 78, 78), accentBlue);
    canvas.textAt({254, y + 24}, headline(today), 48, FontWeight::semibold, primaryText,
                  kRight - 254);
    canvas.textAt({254, y - 28}, mediumDate(context.calendar.localDate(today.date), context.locale),
                  30, FontWeight::regular, secondaryText);
    canvas.textAt({666, y - 22}, QStringLiteral("Backbeacon insight card"), 24, FontWeight::medium,
                  secondaryText, kRight - 666);
}

void drawSummaryLine(CardCanvas& canvas, double y) {
    const QRectF rect(kLeft, y, kContentWidth, 76);
    canvas.fillRoundedRect(rect, 18, white(0.28));
    canvas.strokeRoundedRect(rect, 18, cardStroke, 1);
    canvas.textAt(
        {178, y + 25},
        QStringLiteral("Shows today's score, 7-day trend, recovery and time out of line."), 24,
        FontWeight::regular, secondaryText, kContentWidth - 2 * 30);
}

void drawHero(CardCanvas& canvas, const DailyStats& today, const Insights& insights, double y) {
    // Room up to the trend column, which starts at x = 520.
    canvas.textAt({kLeft, y}, QString::number(today.score()) + u'%', 124, FontWeight::bold,
                  primaryText, 520 - 16 - kLeft);
    canvas.textAt({156, y - 36}, QStringLiteral("Today's score"), 30, FontWeight::regular,
                  secondaryText);
    canvas.textAt({520, y + 84}, trendRemark(insights), 38, FontWeight::semibold,
                  insights.trendColor(), kRight - 520);
    canvas.textIn(QRectF(522, y - 42, 388, 112), insights.trendBody(), 25, FontWeight::regular,
                  secondaryText, 4);
    drawProgressBar(canvas, QRectF(kLeft, y - 90, kContentWidth, 12), alignedFraction(today),
                    {accentBlue, accentBlue});
}

void drawInsightCard(CardCanvas& canvas, const QString& title, const QString& value,
                     const QString& caption, const ColorComponents& color, const QRectF& rect) {
    const double left = rect.x();
    const double bottom = rect.y();
    const double top = bottom + rect.height();
    canvas.fillRoundedRect(rect, 18, white(0.26));
    canvas.strokeRoundedRect(rect, 18, cardStroke, 1);
    canvas.textAt({left + 18, top - 38}, title, 20, FontWeight::medium, secondaryText);
    canvas.textAt({left + 18, bottom + 58}, value, 34, FontWeight::semibold, color,
                  rect.width() - 36);
    canvas.textIn(QRectF(left + 18, bottom + 16, rect.width() - 36, 38), caption, 17,
                  FontWeight::regular, secondaryText, 2);
}

void drawInsightCards(CardCanvas& canvas, const Insights& insights, double y) {
    constexpr double gap = 18;
    constexpr double width = (kContentWidth - 2 * gap) / 3;
    const auto tile = [&](int column) {
        return QRectF(kLeft + column * (width + gap), y, width, 170);
    };
    drawInsightCard(canvas, QStringLiteral("Trend"), insights.deltaText(), trendCaption(insights),
                    insights.trendColor(), tile(0));
    drawInsightCard(canvas, QStringLiteral("Recovery"), insights.recoveryText(),
                    recoveryCaption(insights.today()), accentBlue, tile(1));
    drawInsightCard(canvas, QStringLiteral("Drift load"), insights.driftLoadText(),
                    insights.driftLoadCaption(), insights.driftLoadColor(), tile(2));
}

// Cool on the left, warm on the right.
ColorComponents signalCellColor(int index) {
    const double t = index / static_cast<double>(kSignalCells - 1);
    if (t < 0.62) {
        return interpolate(accentBlue, mutedTeal, t / 0.62);
    }
    if (t < 0.82) {
        return interpolate(mutedTeal, warningYellow, (t - 0.62) / 0.2);
    }
    return interpolate(warningYellow, badOrange, (t - 0.82) / 0.18);
}

void drawSevenDaySignal(CardCanvas& canvas, const std::vector<DailyStats>& days, double y) {
    const QRectF panel(kLeft, y, kContentWidth, 194);
    const double left = panel.x();
    const double bottom = panel.y();
    const double top = bottom + panel.height();
    canvas.fillRoundedRect(panel, 24, cardBackground);
    canvas.strokeRoundedRect(panel, 24, cardStroke, 2);
    canvas.textAt({left + 28, top - 52}, QStringLiteral("7 day signal"), 32, FontWeight::regular,
                  primaryText);
    const int average = averageScore(days);
    canvas.textAt({kRight - 108, top - 52}, QString::number(average) + u'%', 34, FontWeight::bold,
                  primaryText, 108 - 16);
    canvas.textAt({left + 30, top - 90},
                  QStringLiteral("Clean days fill the bar; warmer cells mean more drift pressure."),
                  19, FontWeight::regular, secondaryText);

    const int lit = litCells(average);
    constexpr double cellWidth = (kContentWidth - 60 - 186) / kSignalCells;
    for (int i = 0; i < kSignalCells; ++i) {
        const QRectF cell(left + 30 + (cellWidth + 6) * i, bottom + 52, cellWidth, 32);
        canvas.fillRoundedRect(cell, 6, withOpacity(signalCellColor(i), i < lit ? 0.94 : 0.16));
    }
    const ColorComponents legend = withOpacity(secondaryText, 0.76);
    canvas.textAt({left + 30, bottom + 20}, QStringLiteral("clean"), 16, FontWeight::medium,
                  legend);
    canvas.textAt({kRight - 68, bottom + 20}, QStringLiteral("drift"), 16, FontWeight::medium,
                  legend);
}

void drawMetric(CardCanvas& canvas, double centre, double y, const QString& symbol,
                const ColorComponents& tint, const QString& value, const QString& label) {
    // Glyph and value form one group centred on the column, the label sits centred below.
    const double valueWidth = CardCanvas::textWidth(value, 36, FontWeight::semibold);
    const double groupLeft = centre - (valueWidth + 34) / 2;
    drawGlyph(canvas, symbol, 22, QRectF(groupLeft, y + 84, 24, 24), tint);
    canvas.textAt({groupLeft + 34, y + 77}, value, 36, FontWeight::semibold, primaryText);
    const double labelWidth = CardCanvas::textWidth(label, 22, FontWeight::regular);
    canvas.textAt({centre - labelWidth / 2, y + 38}, label, 22, FontWeight::regular, secondaryText);
}

void drawMetrics(CardCanvas& canvas, const DailyStats& today, double y) {
    canvas.line({kLeft, y + 138}, {kRight, y + 138}, divider, 1);
    canvas.line({kLeft, y - 12}, {kRight, y - 12}, divider, 1);
    for (const double x : {409.0, 671.0}) {
        canvas.line({x, y + 108}, {x, y + 12}, divider, 1);
    }
    drawMetric(canvas, 278, y, QStringLiteral("arrow.down.right"), badOrange,
               QString::number(today.slouches), driftEventLabel(today.slouches));
    drawMetric(canvas, 540, y, QStringLiteral("arrow.up.right"), accentBlue,
               QString::number(today.fixes), resetLabel(today.fixes));
    drawMetric(canvas, 802, y, QStringLiteral("clock"), primaryText,
               shortDuration(today.slouchedSeconds), QStringLiteral("Out of line"));
}

void drawFooterInsight(CardCanvas& canvas, const Insights& insights, double y) {
    const QRectF rect(kLeft, y, kContentWidth, 164);
    canvas.fillRoundedRect(rect, 24, white(0.25));
    canvas.strokeRoundedRect(rect, 24, cardStroke, 1);
    canvas.textAt({184, y + 104}, QStringLiteral("Main insight"), 22, FontWeight::medium,
                  secondaryText);
    canvas.textIn(QRectF(184, y + 30, 712, 70), insights.footerInsight(), 29, FontWeight::semibold,
                  primaryText, 4);
}

void drawCard(CardCanvas& canvas, const DailyStats& today, const std::vector<DailyStats>& days,
              const Insights& insights, const CardContext& context) {
    const QRectF card(72, 96, 936, 1728);
    canvas.fillRoundedRect(card, 34, cardBackground);
    canvas.strokeRoundedRect(card, 34, {0, 0, 0, 0.14}, 2);
    drawHeader(canvas, today, context, 1666);
    drawSummaryLine(canvas, 1530);
    drawHero(canvas, today, insights, 1320);
    drawInsightCards(canvas, insights, 1038);
    drawSevenDaySignal(canvas, days, 770);
    drawMetrics(canvas, today, 500);
    drawFooterInsight(canvas, insights, 210);
}

} // namespace

CardContext CardContext::current() {
    return {SystemClock().now(), LocalCalendar(), QLocale()};
}

QImage render(const std::vector<DailyStats>& days) {
    return render(days, CardContext::current());
}

QImage render(const std::vector<DailyStats>& input, const CardContext& context) {
    const std::vector<DailyStats> days = normalizedDays(input);
    const DailyStats today =
        days.empty() ? DailyStats::freshDay(context.calendar.startOfDay(context.now)) : days.back();
    const Insights insights(days, today);

    // Opaque: the background covers everything, and RGB32 encodes faster than
    // premultiplied ARGB.
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    if (image.isNull()) {
        qCWarning(lcCard) << "No memory for the insight card";
        return image;
    }
    QPainter painter;
    if (!painter.begin(&image)) {
        image.fill(Qt::white);
        return image;
    }
    CardCanvas canvas(painter, kHeight);
    canvas.fill(QRectF(0, 0, kWidth, kHeight), appBackground);
    canvas.radialGradient({540, 1267.2}, 920, white(0.62), white(0));
    drawCard(canvas, today, days, insights, context);
    return image;
}

std::optional<QByteArray> pngData(const std::vector<DailyStats>& days) {
    return encodePng(render(days));
}

std::optional<QByteArray> encodePng(const QImage& image) {
    if (image.isNull()) {
        return std::nullopt;
    }
    const QImage rgb = image.format() == QImage::Format_RGB888
                           ? image
                           : image.convertToFormat(QImage::Format_RGB888);
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(rgb.width());
    png.height = static_cast<png_uint_32>(rgb.height());
    png.format = PNG_FORMAT_RGB;
    // Fast filtering and zlib's fastest level: the card is saved while the
    // user waits, and the file grows only a little.
    png.flags = PNG_IMAGE_FLAG_FAST;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, rgb.constBits(),
                                   static_cast<png_int_32>(rgb.bytesPerLine()), nullptr)) {
        qCWarning(lcCard) << "Could not encode the insight card:" << png.message;
        png_image_free(&png);
        return std::nullopt;
    }
    bytes.truncate(static_cast<qsizetype>(size));
    return bytes;
}

std::vector<DailyStats> normalizedDays(std::vector<DailyStats> days) {
    std::stable_sort(days.begin(), days.end(),
                     [](const DailyStats& a, const DailyStats& b) { return a.date < b.date; });
    if (days.size() > 7) {
        days.erase(days.begin(), days.end() - 7);
    }
    return days;
}

QString headline(const DailyStats& today) {
    const int score = today.score();
    if (score >= 90) {
        return QStringLiteral("Aligned");
    }
    if (score >= 75) {
        return QStringLiteral("Mostly aligned");
    }
    if (score >= 50) {
        return QStringLiteral("Drifting");
    }
    return QStringLiteral("Needs reset");
}

QString trendRemark(const Insights& insights) {
    const auto average = insights.previousAverage();
    if (!average) {
        return QStringLiteral("First signal logged");
    }
    const int delta = insights.today().score() - *average;
    if (delta >= 5) {
        return QStringLiteral("Cleaner than usual");
    }
    if (delta <= -5) {
        return QStringLiteral("More drift than usual");
    }
    return QStringLiteral("Holding steady");
}

QString trendCaption(const Insights& insights) {
    return insights.previousAverage() ? QStringLiteral("vs recent average")
                                      : QStringLiteral("No trend yet");
}

QString recoveryCaption(const DailyStats& today) {
    if (today.slouches < 1) {
        return QStringLiteral("No drift events");
    }
    return today.fixes >= today.slouches ? QStringLiteral("Resets kept up")
                                         : QStringLiteral("Resets lagged drift");
}

QString driftEventLabel(std::int64_t slouches) {
    return slouches == 1 ? QStringLiteral("Drift event") : QStringLiteral("Drift events");
}

QString resetLabel(std::int64_t fixes) {
    return fixes == 1 ? QStringLiteral("Reset") : QStringLiteral("Resets");
}

QString shortDuration(double seconds) {
    // Bounded before the conversion: NaN or a huge value must not reach it.
    const double bounded = std::isnan(seconds) ? 0.0 : std::clamp(seconds, -1e15, 1e15);
    const auto n = static_cast<std::int64_t>(bounded);
    if (n < 60) {
        return QString::number(n) + u's';
    }
    if (n < 3600) {
        return QString::number(n / 60) + u'm';
    }
    return QString::number(n / 3600) + u'h';
}

int averageScore(const std::vector<DailyStats>& days) {
    if (days.empty()) {
        return 100;
    }
    double sum = 0;
    for (const DailyStats& day : days) {
        sum += day.score();
    }
    return static_cast<int>(std::round(sum / static_cast<double>(days.size())));
}

double alignedFraction(const DailyStats& today) {
    if (!(today.monitoredSeconds > 0)) {
        return 1;
    }
    const double aligned = 1.0 - today.slouchedSeconds / today.monitoredSeconds;
    return std::isnan(aligned) ? 0.0 : std::clamp(aligned, 0.0, 1.0);
}

int litCells(int average) {
    return std::clamp(average, 0, 100) * kSignalCells / 100;
}

ColorComponents interpolate(const ColorComponents& from, const ColorComponents& to, double amount) {
    const double t = std::isnan(amount) ? 0.0 : std::clamp(amount, 0.0, 1.0);
    const auto mix = [t](double a, double b) { return a + t * (b - a); };
    return {mix(from.red, to.red), mix(from.green, to.green), mix(from.blue, to.blue),
            mix(from.opacity, to.opacity)};
}

QString mediumDate(QDate date, const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::LongFormat);
    // The weekday with whatever separates it from the rest ("dddd, ", " dddd").
    static const QRegularExpression weekday(QStringLiteral("[,،]?\\s*d{3,4}[,،]?\\s*"));
    format.replace(weekday, QStringLiteral(" "));
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(date, format.trimmed());
}

} // namespace backbeacon::StatsInfographicRenderer
