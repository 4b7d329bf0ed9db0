#include "ManualClock.h"
#include "Symbols.h"
#include "stats/CardCanvas.h"
#include "stats/Insights.h"
#include "stats/StatsInfographicRenderer.h"

#include <QColorSpace>

#include <gtest/gtest.h>

#include <limits>

using namespace backbeacon;
using namespace backbeacon::testing;
namespace card = backbeacon::StatsInfographicRenderer;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const Instant kToday = at("2026-12-06T00:00:00+01:00");

DailyStats day(int daysBefore, double monitored, double slouched, std::int64_t slouches = 0,
               std::int64_t fixes = 0) {
    return {kToday - 86'400.0 * daysBefore, monitored, slouched, slouches, fixes};
}

// A day scoring exactly `score` (1000 monitored seconds).
DailyStats scored(int daysBefore, int score) {
    return day(daysBefore, 1000, 10.0 * (100 - score));
}

// The figures of `days`, the last being today; their dates do not matter.
Insights insights(std::vector<DailyStats> days) {
    return Insights(std::move(days), DailyStats{});
}

QImage render(const std::vector<DailyStats>& days) {
    return card::render(days, {kToday + 3600, LocalCalendar(QTimeZone("Europe/Berlin")),
                               QLocale(QLocale::English, QLocale::UnitedStates)});
}

// The pixel under the card point (x, y), the card's origin being its lower left.
QColor at(const QImage& image, double x, double y) {
    return image.pixelColor(static_cast<int>(x), static_cast<int>(card::kHeight - y));
}

int distance(const QColor& a, const ColorComponents& b) {
    const QColor c = toQColor(b);
    return std::abs(a.red() - c.red()) + std::abs(a.green() - c.green()) +
           std::abs(a.blue() - c.blue());
}

// `over` laid on the opaque card with its own opacity.
ColorComponents onCard(const ColorComponents& over) {
    const auto mix = [&](double o, double u) { return u + (o - u) * over.opacity; };
    const ColorComponents& under = Theme::cardBackground;
    return {mix(over.red, under.red), mix(over.green, under.green), mix(over.blue, under.blue), 1};
}

// Pixels in the card rectangle (x, y, w, h) within 3 levels of `color`.
int pixelsOf(const QImage& image, const ColorComponents& color, double x, double y, double w,
             double h) {
    int count = 0;
    for (double py = y; py < y + h; ++py) {
        for (double px = x; px < x + w; ++px) {
            count += distance(at(image, px, py), color) <= 3;
        }
    }
    return count;
}

} // namespace

TEST(Insights, TrendRecoveryFooterAndDriftLoadTexts) {
    const struct {
        std::vector<DailyStats> days;
        const char *delta, *body;
    } trends[] = {
        {{scored(1, 91), scored(0, 84)},
         "-7 pts",
         "Today is 7 points below your recent average of 91%."},
        {{scored(1, 70), scored(0, 71)},
         "+1 pts",
         "Today is 1 points above your recent average of 70%."},
        {{scored(1, 88), scored(0, 88)}, "Even", "Today matches your recent average of 88%."}};
    for (const auto& c : trends) {
        EXPECT_EQ(insights(c.days).deltaText(), c.delta);
        EXPECT_EQ(insights(c.days).trendBody(), c.body);
    }
    EXPECT_EQ(insights({scored(0, 40)}).deltaText(), "New");

    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    const struct {
        DailyStats today;
        const char *recovery, *caption, *footer;
    } days[] = {{day(0, 30, 29, -2, 0), "Clean", "No drift events",
                 "More monitoring time will make these insights sharper."},
                {day(0, 31, 4, 8, 1), "13%", "Resets lagged drift", // 12.5 rounds up
                 "Main insight: recoveries are behind drift events today."},
                {day(0, 100, 50, 2, 2), "100%", "Resets kept up",
                 "Main insight: posture drift is present, but resets are keeping pace."},
                {day(0, 1000, 100, 1, huge), "922337203685477580800%",
                 "Resets kept up", // exactly 90
                 "Strong day: drift appeared, but it did not dominate the session."},
                {day(0, 1000, 0, 0, 5), "Clean", "No drift events",
                 "Strong day: no drift events and almost all time stayed aligned."}};
    for (const auto& c : days) {
        EXPECT_EQ(insights({c.today}).recoveryText(), c.recovery);
        EXPECT_EQ(card::recoveryCaption(c.today), c.caption);
        EXPECT_EQ(insights({c.today}).footerInsight(), c.footer);
    }

    // The drift load uses the unrounded rate.
    const struct {
        DailyStats today;
        const char *text, *caption;
        ColorComponents colour;
    } cases[] = {{day(0, 0, 0, 4), "No data", "Start monitoring", Theme::accentBlue},
                 {day(0, 600, 0, 0), "0.0/h", "Low event load", Theme::accentBlue},
                 {day(0, 3600.0 / 0.97, 0, 1), "1.0/h", "Low event load", Theme::accentBlue},
                 {day(0, 3600, 0, 1), "1.0/h", "Moderate event load", Theme::warningYellow},
                 {day(0, 3600, 0, 3), "3.0/h", "High event load", Theme::badOrange}};
    for (const auto& c : cases) {
        const Insights i = insights({c.today});
        EXPECT_EQ(std::tuple(i.driftLoadText(), i.driftLoadCaption(), i.driftLoadColor()),
                  std::tuple(QString(c.text), QString(c.caption), c.colour));
    }
}

// Each case drawn and probed where the card shows it: the week's average as
// gauge cells lit from the left, today's unrounded aligned share as the bar,
// the trend against the days before (within 5 points is steady) in the remark
// and its tile, and the drift load warming with slouches per hour.
TEST(InsightCard, DrawsTheFiguresOfEachCase) {
    using namespace Theme;
    const struct {
        std::vector<DailyStats> days;
        int litCells;
        double barPixels;
        const char* remark;
        ColorComponents trend, load;
    } cases[] = {
        {{}, 32, 784, "First signal logged", accentBlue, accentBlue}, // a fresh day
        // Days too short to score count 100; the average rounds halves up.
        {{day(1, 10, 10), scored(0, 0)}, 16, 0, "More drift than usual", badOrange, accentBlue},
        {{scored(1, 90), scored(0, 91)}, 29, 713.44, "Holding steady", mutedTeal, accentBlue},
        {{day(0, 1000, 5000)}, 0, 0, "First signal logged", accentBlue, accentBlue},
        // Too short to score (100), but the bar shows what happened.
        {{day(0, 20, 10)}, 32, 392, "First signal logged", accentBlue, accentBlue},
        {{scored(1, 80), scored(0, 85)}, 26, 666.4, "Cleaner than usual", accentBlue, accentBlue},
        {{scored(1, 80), day(0, 1800, 450, 1)},
         24,
         588,
         "More drift than usual",
         badOrange,
         warningYellow}};
    const ColorComponents track = onCard(trackBackground);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        const QImage image = render(c.days);
        QString lit; // lit cells are nearly opaque, dark ones a faint tint of the panel
        for (int i = 0; i < 32; ++i) {
            lit +=
                distance(at(image, 186.4 + 22.8125 * i, 838), cardBackground) > 140 ? u'#' : u'.';
        }
        EXPECT_EQ(lit, QString(c.litCells, u'#') + QString(32 - c.litCells, u'.'));
        int bar = 0;
        int trackPixels = 0;
        for (int x = 140; x < 940; ++x) {
            const QColor pixel = at(image, x, 1236);
            bar += distance(pixel, accentBlue) < distance(pixel, track);
            trackPixels += distance(pixel, track) <= 3;
        }
        EXPECT_NEAR(bar, c.barPixels, 1.5);
        EXPECT_NEAR(bar + trackPixels, 784, 3) << "the track spans the content width";
        EXPECT_EQ(card::trendRemark(insights(c.days)), c.remark);
        EXPECT_GT(pixelsOf(image, c.trend, 520, 1404, 380, 50), 30) << "remark";
        EXPECT_GT(pixelsOf(image, c.trend, 166, 1096, 200, 50), 30) << "trend tile";
        EXPECT_GT(pixelsOf(image, c.load, 700, 1096, 200, 50), 30) << "drift load tile";
    }
}

// The gauge runs from the accent blue to the warm orange, lit at opacity 0.94;
// the header's glyph is tinted in the accent colour inside its square; text
// that would run out of its room is set smaller rather than collide or be cut.
TEST(InsightCard, GaugeGlyphsTextRoomPngTextsAndTheLatestSevenDays) {
    const QImage full = render({});
    EXPECT_LE(distance(at(full, 186, 838), onCard({0.27, 0.53, 0.60, 0.94})), 3);
    EXPECT_LE(distance(at(full, 894, 838), onCard({0.90, 0.34, 0.18, 0.94})), 3);
    EXPECT_GT(pixelsOf(full, Theme::accentBlue, 148, 1648, 78, 78), 100);
    EXPECT_EQ(pixelsOf(full, Theme::accentBlue, 120, 1600, 28, 160), 0);

    const QImage image = render({day(0, 20, 0)}); // "100%", two-line footer
    EXPECT_EQ(pixelsOf(image, Theme::primaryText, 505, 1300, 17, 150), 0) << "score and trend";
    EXPECT_GT(pixelsOf(image, Theme::primaryText, 184, 246, 300, 22), 50) << "footer line 2";
    EXPECT_EQ(pixelsOf(image, Theme::secondaryText, 920, 1540, 30, 60), 0) << "summary line";

    // PNG is lossless, and says it is sRGB, which the drawn picture is unsaid.
    const auto png = card::encodePng(full);
    ASSERT_TRUE(png);
    QImage decoded = QImage::fromData(*png, "PNG").convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(decoded.colorSpace(), QColorSpace(QColorSpace::SRgb));
    decoded.setColorSpace(full.colorSpace());
    EXPECT_EQ(decoded, full);
    EXPECT_FALSE(card::encodePng(QImage()));

    // The texts chosen from the figures.
    const std::pair<double, const char*> headlines[] = {
        {30, "Aligned"}, {110, "Mostly aligned"}, {260, "Drifting"}, {510, "Needs reset"}};
    for (const auto& [slouched, text] : headlines) {
        EXPECT_EQ(card::headline(day(0, 1000, slouched)), text) << slouched;
    }
    const std::pair<double, const char*> durations[] = {
        {59.9, "59s"}, {60, "1m"}, {3599, "59m"}, {7300, "2h"}, {kNaN, "0s"}};
    for (const auto& [seconds, text] : durations) {
        EXPECT_EQ(card::shortDuration(seconds), text) << seconds;
    }
    // Out of order and too many: sorted, the latest 7 kept, equal dates in their order.
    std::vector<DailyStats> days;
    for (int i : {3, 8, 0, 5, 1, 7, 2, 6, 4}) {
        days.push_back(day(i, 100 + i, 0));
    }
    days.push_back(day(4, 1, 0));
    EXPECT_EQ(card::normalizedDays(days),
              (std::vector{day(5, 105, 0), day(4, 104, 0), day(4, 1, 0), day(3, 103, 0),
                           day(2, 102, 0), day(1, 101, 0), day(0, 100, 0)}));
}
