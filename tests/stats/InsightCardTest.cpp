#include "ManualClock.h"
#include "Symbols.h"
#include "stats/CardCanvas.h"
#include "stats/StatsInfographicRenderer.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace backbeacon;
using namespace backbeacon::testing;
namespace card = backbeacon::StatsInfographicRenderer;

namespace {

const Instant kToday = at("2026-12-06T00:00:00+01:00");

DailyStats day(int daysBefore, double monitored, double slouched, std::int64_t slouches = 0,
               std::int64_t fixes = 0) {
    return {kToday - 86'400.0 * daysBefore, monitored, slouched, slouches, fixes};
}

// A day scoring exactly `score` (1000 monitored seconds).
DailyStats scored(int daysBefore, int score) {
    return day(daysBefore, 1000, 10.0 * (100 - score));
}

QImage render(const std::vector<DailyStats>& days) {
    return card::render(days, {kToday + 3600, LocalCalendar(QTimeZone("Europe/Berlin")),
                               QLocale(QLocale::English, QLocale::UnitedStates)});
}

// The pixel under the card point (x, y), the card's origin being its lower left.
QColor at(const QImage& image, double x, double y) {
    return image.pixelColor(static_cast<int>(x), static_cast<int>(card::kHeight - y));
}

// `over` laid on the opaque `under` with its own opacity.
QColor blend(const ColorComponents& over, const ColorComponents& under) {
    const auto mix = [&](double o, double u) { return u + (o - u) * over.opacity; };
    return toQColor(
        {mix(over.red, under.red), mix(over.green, under.green), mix(over.blue, under.blue), 1});
}

int distance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

// Pixels in the card rectangle (x, y, w, h) within 3 levels of `color`.
int pixelsOf(const QImage& image, const ColorComponents& color, double x, double y, double w,
             double h) {
    const QColor wanted = toQColor(color);
    int count = 0;
    for (double py = y; py < y + h; ++py) {
        for (double px = x; px < x + w; ++px) {
            count += distance(at(image, px, py), wanted) <= 3;
        }
    }
    return count;
}

std::vector<DailyStats> week(int score) {
    std::vector<DailyStats> days;
    for (int i = 6; i >= 0; --i) {
        days.push_back(scored(i, score));
    }
    return days;
}

} // namespace

TEST(InsightCard, OpaqueCanvasWithTheCardOnTheBackground) {
    const QImage image = render(week(80));
    ASSERT_EQ(image.size(), QSize(1080, 1920));
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_LE(distance(at(image, 5, 5), toQColor(palette::appBackground)), 1);
    EXPECT_LE(distance(at(image, 100, 1000), toQColor(palette::cardBackground)), 1);
    // The glow is centred on the upper card: above the card it lightens the
    // background, below it it does not reach.
    EXPECT_LE(distance(at(image, 540, 40), toQColor(palette::appBackground)), 1);
    const QColor top = at(image, 540, 1872);
    const QColor plain = toQColor(palette::appBackground);
    EXPECT_GE(top.red() + top.green() + top.blue(), plain.red() + plain.green() + plain.blue() + 9);

    // PNG is lossless: the decoded file is the drawn picture.
    const auto png = card::encodePng(image);
    ASSERT_TRUE(png);
    const QImage decoded = QImage::fromData(*png, "PNG");
    EXPECT_FALSE(decoded.hasAlphaChannel());
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), image);
    EXPECT_FALSE(card::encodePng(QImage()));
}

TEST(InsightCard, SignalGaugeLightsCellsFromTheLeftForTheWeeksAverage) {
    struct Case {
        int average;
        int lit;
    };
    for (const Case c : {Case{50, 16}, Case{99, 31}, Case{100, 32}, Case{0, 0}}) {
        const QImage image = render(week(c.average));
        int lit = 0;
        int firstDark = -1;
        for (int i = 0; i < 32; ++i) {
            const QColor cell = at(image, 178 + (16.8125 + 6) * i + 8.4, 838);
            // Lit cells are nearly opaque, dark ones a faint tint of the panel.
            if (distance(cell, toQColor(palette::cardBackground)) > 140) {
                ++lit;
                EXPECT_EQ(firstDark, -1) << "cell " << i << " lit after a dark one";
            } else if (firstDark < 0) {
                firstDark = i;
            }
        }
        EXPECT_EQ(lit, c.lit) << "average " << c.average;
    }
    // The ramp runs from the accent blue to the warm orange, lit at opacity 0.94.
    const QImage full = render(week(100));
    EXPECT_LE(
        distance(at(full, 186, 838), blend({0.27, 0.53, 0.60, 0.94}, palette::cardBackground)), 3);
    EXPECT_LE(
        distance(at(full, 894, 838), blend({0.90, 0.34, 0.18, 0.94}, palette::cardBackground)), 3);
}

TEST(InsightCard, AlignedBarShowsTheUnroundedAlignedShare) {
    struct Case {
        std::vector<DailyStats> days;
        double filled;
    };
    const Case cases[] = {
        {{day(0, 1000, 500)}, 392}, {{day(0, 1000, 250)}, 588},
        {{day(0, 20, 10)}, 392}, // scores 100, but the bar shows what happened
        {{day(0, 1000, 1000)}, 0},  {{day(0, 1000, 5000)}, 0},
        {{day(0, 0, 0)}, 784},      {{}, 784}, // no record yet: a fresh day
    };
    const QColor bar = toQColor(palette::accentBlue);
    const QColor track = blend(palette::trackBackground, palette::cardBackground);
    for (const Case& c : cases) {
        const QImage image = render(c.days);
        int filled = 0;
        int track_pixels = 0;
        for (int x = 140; x < 940; ++x) {
            const QColor pixel = at(image, x, 1236);
            filled += distance(pixel, bar) < distance(pixel, track);
            track_pixels += distance(pixel, track) <= 3;
        }
        EXPECT_NEAR(filled, c.filled, 1.5) << "aligned share " << c.filled / 784;
        EXPECT_NEAR(filled + track_pixels, 784, 3) << "the track spans the content width";
    }
}

TEST(InsightCard, TilesAndRemarkTakeTheirAccentColours) {
    struct Case {
        std::vector<DailyStats> days;
        ColorComponents trend;
        ColorComponents driftLoad;
    };
    const Case cases[] = {
        {{scored(0, 80)}, palette::accentBlue, palette::accentBlue},
        {{scored(1, 80), scored(0, 85)}, palette::accentBlue, palette::accentBlue},
        {{scored(1, 80), scored(0, 84)}, palette::mutedTeal, palette::accentBlue},
        {{scored(1, 80), scored(0, 76)}, palette::mutedTeal, palette::accentBlue},
        {{scored(1, 80), day(0, 1800, 450, 1)}, palette::badOrange, palette::warningYellow},
        {{day(0, 3600, 0, 1)}, palette::accentBlue, palette::warningYellow},
        {{day(0, 3600, 0, 3, 3)}, palette::accentBlue, palette::badOrange},
    };
    for (const Case& c : cases) {
        const QImage image = render(c.days);
        EXPECT_GT(pixelsOf(image, c.trend, 166, 1096, 200, 50), 30) << "trend tile value";
        EXPECT_GT(pixelsOf(image, c.trend, 520, 1404, 380, 50), 30) << "hero remark";
        EXPECT_GT(pixelsOf(image, palette::accentBlue, 433, 1096, 200, 50), 30) << "recovery";
        EXPECT_GT(pixelsOf(image, c.driftLoad, 700, 1096, 200, 50), 30) << "drift load";
    }
}

// The layout was made for a narrower face than most Linux desktops use; text
// that would run out of its room is set smaller rather than collide or be cut.
TEST(InsightCard, WideTextKeepsToItsRoom) {
    const QImage image = render({day(0, 20, 0)}); // "100%", two-line footer
    EXPECT_EQ(pixelsOf(image, palette::primaryText, 505, 1300, 17, 150), 0)
        << "the score stays clear of the trend column";
    EXPECT_GT(pixelsOf(image, palette::primaryText, 184, 246, 300, 22), 50)
        << "the footer's second line is shown";
    EXPECT_EQ(pixelsOf(image, palette::secondaryText, 920, 1540, 30, 60), 0)
        << "the summary line ends inside its box";
}

TEST(InsightCard, GlyphsComeFromTheProjectsSymbols) {
    for (const char* name : {"airpodspro", "arrow.down.right", "arrow.up.right", "clock"}) {
        const QImage symbol = symbolImage(QString::fromLatin1(name), QSize(24, 24));
        QImage blank(24, 24, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        EXPECT_EQ(symbol.size(), QSize(24, 24)) << name;
        EXPECT_NE(symbol, blank) << name;
    }
    EXPECT_TRUE(symbolImage("no.such.symbol", QSize(24, 24)).isNull());
    EXPECT_TRUE(symbolImage("../symbols/clock", QSize(24, 24)).isNull());
    EXPECT_TRUE(symbolImage("clock", QSize(0, 0)).isNull());

    // The header's glyph is tinted in the accent colour, inside its square.
    const QImage image = render(week(90));
    EXPECT_GT(pixelsOf(image, palette::accentBlue, 148, 1648, 78, 78), 100);
    EXPECT_EQ(pixelsOf(image, palette::accentBlue, 120, 1600, 28, 160), 0);
}

TEST(InsightCard, HeadlineAndTrendTexts) {
    struct Case {
        double slouched;
        const char* headline;
    };
    for (const Case c :
         {Case{100, "Aligned"}, Case{110, "Mostly aligned"}, Case{250, "Mostly aligned"},
          Case{260, "Drifting"}, Case{500, "Drifting"}, Case{510, "Needs reset"}}) {
        EXPECT_EQ(card::headline(day(0, 1000, c.slouched)), c.headline) << c.slouched;
    }
    EXPECT_EQ(card::headline(day(0, 30, 30)), "Aligned") << "too short to judge";

    const auto remark = [](std::vector<DailyStats> days) {
        const Insights insights(days, DailyStats{});
        return std::pair(card::trendRemark(insights), card::trendCaption(insights));
    };
    EXPECT_EQ(remark({}), std::pair(QString("First signal logged"), QString("No trend yet")));
    EXPECT_EQ(remark({scored(0, 40)}).first, "First signal logged");
    EXPECT_EQ(remark({scored(1, 80), scored(0, 85)}),
              std::pair(QString("Cleaner than usual"), QString("vs recent average")));
    EXPECT_EQ(remark({scored(1, 80), scored(0, 84)}).first, "Holding steady");
    EXPECT_EQ(remark({scored(1, 80), scored(0, 76)}).first, "Holding steady");
    EXPECT_EQ(remark({scored(1, 80), scored(0, 75)}).first, "More drift than usual");
}

TEST(InsightCard, CounterTextsAndCaptions) {
    EXPECT_EQ(card::recoveryCaption(day(0, 100, 0, 0, 3)), "No drift events");
    EXPECT_EQ(card::recoveryCaption(day(0, 100, 0, 1, 1)), "Resets kept up");
    EXPECT_EQ(card::recoveryCaption(day(0, 100, 0, 2, 1)), "Resets lagged drift");
    EXPECT_EQ(card::driftEventLabel(0) + card::driftEventLabel(1) + card::driftEventLabel(2),
              "Drift eventsDrift eventDrift events");
    EXPECT_EQ(card::resetLabel(0) + card::resetLabel(1) + card::resetLabel(12),
              "ResetsResetResets");

    struct Duration {
        double seconds;
        const char* text;
    };
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    for (const Duration d :
         {Duration{0, "0s"}, Duration{59.9, "59s"}, Duration{60, "1m"}, Duration{61, "1m"},
          Duration{3599, "59m"}, Duration{3600, "1h"}, Duration{7300, "2h"}, Duration{kNaN, "0s"},
          Duration{1e300, "277777777777h"}}) {
        EXPECT_EQ(card::shortDuration(d.seconds), d.text) << d.seconds;
    }
}

TEST(InsightCard, WeekFiguresAndColourRamp) {
    EXPECT_EQ(card::averageScore({}), 100);
    EXPECT_EQ(card::averageScore({scored(1, 90), scored(0, 91)}), 91) << "halves round up";
    EXPECT_EQ(card::averageScore({day(1, 10, 10), scored(0, 0)}), 50) << "short days count 100";

    // Out of order and too many: sorted, the latest 7 kept, equal dates in their order.
    std::vector<DailyStats> days;
    for (int i : {3, 8, 0, 5, 1, 7, 2, 6, 4}) {
        days.push_back(day(i, 100 + i, 0));
    }
    days.push_back(day(4, 1, 0));
    const auto kept = card::normalizedDays(days);
    ASSERT_EQ(kept.size(), 7u);
    EXPECT_EQ(kept.front(), day(5, 105, 0));
    EXPECT_EQ(kept[1], day(4, 104, 0));
    EXPECT_EQ(kept[2], day(4, 1, 0));
    EXPECT_EQ(kept.back(), day(0, 100, 0)) << "the latest record is today's";

    const ColorComponents a{0, 0.2, 1, 1};
    const ColorComponents b{1, 0.6, 0, 0.5};
    EXPECT_EQ(card::interpolate(a, b, -1), a);
    EXPECT_EQ(card::interpolate(a, b, 7), b);
    EXPECT_EQ(card::interpolate(a, b, std::numeric_limits<double>::quiet_NaN()), a);
    EXPECT_EQ(card::interpolate(a, b, 0.5), (ColorComponents{0.5, 0.4, 0.5, 0.75}));
}

TEST(InsightCard, HeaderDateInTheUsersLocale) {
    const QDate date(2026, 12, 6);
    EXPECT_EQ(card::mediumDate(date, QLocale(QLocale::English, QLocale::UnitedStates)),
              "Dec 6, 2026");
    EXPECT_EQ(card::mediumDate(date, QLocale(QLocale::German, QLocale::Germany)), "6. Dez. 2026");
    EXPECT_EQ(card::mediumDate(date, QLocale(QLocale::French, QLocale::France)), "6 déc. 2026");
}
