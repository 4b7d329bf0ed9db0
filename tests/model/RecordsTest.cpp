#include "model/Choices.h"
#include "model/DailyStats.h"
#include "model/RecordJson.h"
#include "model/Theme.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace backbeacon;
namespace bj = backbeacon::json;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
constexpr auto kMin = std::numeric_limits<std::int64_t>::min();

DailyStats sampleDay() {
    return DailyStats{Instant::fromReferenceSeconds(786'585'600.0), 3600.25, 812.5, 3, 2};
}
} // namespace

TEST(DailyStats, ScoreIsTheAlignedShareRoundedHalfUpAndPerfectWhenTooShortToJudge) {
    const struct {
        double monitored, slouched;
        int score;
    } cases[] = {{30, 30, 100}, {-10, 5, 100},   {kNaN, 5, 100}, {31, 31, 0},
                 {40, 50, 0},   {100, 25, 75},   {1000, 5, 100}, {1000, 15, 99},
                 {60, -5, 100}, {60, kNaN, 100}, {60, kInf, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ((DailyStats{{}, c.monitored, c.slouched}).score(), c.score)
            << c.monitored << " " << c.slouched;
    }
}

TEST(Choices, OnlyExactRawValuesAreChoicesAndTheDriftRampTakesItsEndsOutsideIt) {
    EXPECT_EQ(alertDelayFromRawValue(60), AlertDelay::lazy);
    EXPECT_EQ(notificationCooldownFromRawValue(600), NotificationCooldown::tenMin);
    EXPECT_FALSE(alertDelayFromRawValue(15.000001) || alertDelayFromRawValue(kNaN) ||
                 notificationCooldownFromRawValue(59.9));

    // The drift colour ramp runs through the three colours and takes the ends outside it.
    using namespace Theme;
    // 0.85 is past the breakpoint: yellow to red.
    const std::pair<double, ColorComponents> cases[] = {{-kInf, goodGreen},
                                                        {0.35, {0.62, 0.60, 0.485, 1}},
                                                        {0.85, {0.83, 0.40, 0.245, 1}},
                                                        {kInf, badRed},
                                                        {kNaN, badRed}};
    for (const auto& [fraction, want] : cases) {
        const ColorComponents got = driftColorComponents(fraction);
        EXPECT_LT(std::abs(got.red - want.red) + std::abs(got.green - want.green) +
                      std::abs(got.blue - want.blue) + std::abs(got.opacity - want.opacity),
                  1e-9)
            << fraction;
    }
}

TEST(RecordJson, WritesCompactObjectsWithKeysInFieldOrderAndRoundTripsEveryBit) {
    EXPECT_EQ(bj::encode(PosturePoint(0.5, -0.25, Instant::fromReferenceSeconds(12.5))),
              R"({"pitch":0.5,"roll":-0.25,"capturedAt":12.5})");
    EXPECT_EQ(bj::encode(sampleDay()),
              R"({"date":786585600.0,"monitoredSeconds":3600.25,"slouchedSeconds":812.5,)"
              R"("slouches":3,"fixes":2})");
    EXPECT_EQ(bj::encode(Diagnostics{1, 2, 3, 4, 5}),
              R"({"launches":1,"calibrations":2,"alertsSent":3,"disconnects":4,)"
              R"("unexpectedQuits":5})");

    // A capture time with a long fraction: dates must not lose precision.
    const PosturePoint point(0.1234567890123456789, -3.0e-17,
                             Instant::fromReferenceSeconds(786'600'123.456789012));
    EXPECT_EQ(bj::decodePosturePoint(*bj::encode(point)), point);
    const Diagnostics counters{7, 0, -1, 1'000'000'000'000, 9};
    EXPECT_EQ(bj::decodeDiagnostics(*bj::encode(counters)), counters);
    std::vector<DailyStats> days(91, sampleDay());
    days.back() = {days.back().date, 1.0 / 3.0, 0.1, kMax, kMin};
    const auto text = bj::encode(std::span<const DailyStats>(days));
    EXPECT_TRUE(text->starts_with("[" + *bj::encode(days[0]) + "," + *bj::encode(days[0]) + ","));
    EXPECT_EQ(bj::decodeDailyStatsArray(*text), days);
}

TEST(RecordJson, NonFiniteOrMissingFieldsFailAndExtraKeysAreIgnored) {
    EXPECT_FALSE(bj::encode(PosturePoint(kNaN, 0, Instant())));
    EXPECT_FALSE(bj::encode(PosturePoint(0, 0, Instant::fromReferenceSeconds(-kInf))));
    DailyStats bad = sampleDay();
    bad.slouchedSeconds = kInf;
    const DailyStats days[] = {sampleDay(), bad};
    EXPECT_FALSE(bj::encode(std::span<const DailyStats>(days)));

    EXPECT_EQ(bj::decodePosturePoint(R"({"note":"x","capturedAt":3,"roll":2,"pitch":1,"v":[1]})"),
              PosturePoint(1, 2, Instant::fromReferenceSeconds(3)));
    for (const char* bad : {R"({"pitch":1,"roll":2})", R"({"pitch":1,"roll":2,"capturedAt":null})",
                            R"({"pitch":"1","roll":0,"capturedAt":0})",
                            R"({"pitch":1e400,"roll":0,"capturedAt":0})"}) {
        EXPECT_FALSE(bj::decodePosturePoint(bad)) << bad;
    }
    EXPECT_FALSE(
        bj::decodeDiagnostics(R"({"launches":1,"calibrations":2,"alertsSent":3,"disconnects":4})"));
}

TEST(RecordJson, IntegersOutOfRangeAndMalformedTextNeverDecode) {
    auto day = [](const char* slouches) {
        return bj::decodeDailyStats(std::string(R"({"date":0,"monitoredSeconds":1,)") +
                                    R"("slouchedSeconds":0,"fixes":0,"slouches":)" + slouches +
                                    "}");
    };
    EXPECT_EQ(day("9223372036854775807")->slouches, kMax);
    EXPECT_EQ(day("-9223372036854775808")->slouches, kMin);
    // 2^63 is one past the signed range; 2^64 past the unsigned one too.
    for (const char* bad :
         {"2.5", "9223372036854775808", "-9223372036854775809", "\"2\"", "null"}) {
        EXPECT_FALSE(day(bad)) << bad;
    }

    // Malformed text never decodes, and one bad record fails the array.
    const std::string good = *bj::encode(sampleDay());
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_FALSE(bj::decodeDailyStats(good.substr(0, cut))) << cut;
    }
    EXPECT_FALSE(bj::decodeDailyStats(good + "garbage"));
    EXPECT_FALSE(bj::decodeDailyStats(std::string("{\"date\":\0}", 11)));
    EXPECT_FALSE(bj::decodeDiagnostics("\xff\xfe"));
    EXPECT_EQ(bj::decodeDailyStatsArray("[]")->size(), 0u);
    for (const std::string& bad :
         {"[" + good + ",{\"date\":1}]", "[" + good + ",7]", good, std::string(100000, '[')}) {
        EXPECT_FALSE(bj::decodeDailyStatsArray(bad)) << bad.substr(0, 80);
    }
}
