#include "model/RecordJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace backbeacon;
namespace bj = backbeacon::json;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

DailyStats sampleDay() {
    return DailyStats{Instant::fromReferenceSeconds(786'585'600.0), 3600.25, 812.5, 3, 2};
}
} // namespace

TEST(RecordJson, WritesCompactObjectsWithKeysInFieldOrder) {
    EXPECT_EQ(bj::encode(PosturePoint(0.5, -0.25, Instant::fromReferenceSeconds(12.5))),
              R"({"pitch":0.5,"roll":-0.25,"capturedAt":12.5})");
    EXPECT_EQ(bj::encode(sampleDay()),
              R"({"date":786585600.0,"monitoredSeconds":3600.25,"slouchedSeconds":812.5,)"
              R"("slouches":3,"fixes":2})");
    EXPECT_EQ(bj::encode(Diagnostics{1, 2, 3, 4, 5}),
              R"({"launches":1,"calibrations":2,"alertsSent":3,"disconnects":4,)"
              R"("unexpectedQuits":5})");
    const DailyStats days[] = {sampleDay(), sampleDay()};
    const auto array = bj::encode(std::span<const DailyStats>(days));
    ASSERT_TRUE(array);
    EXPECT_EQ(array->front(), '[');
    EXPECT_EQ(array->find(' '), std::string::npos);
}

TEST(RecordJson, RoundTripKeepsEveryBit) {
    // A capture time with a long fraction: dates must not lose precision.
    const PosturePoint point(0.1234567890123456789, -3.0e-17,
                             Instant::fromReferenceSeconds(786'600'123.456789012));
    EXPECT_EQ(bj::decodePosturePoint(*bj::encode(point)), point);

    DailyStats day = sampleDay();
    day.monitoredSeconds = 1.0 / 3.0;
    day.slouches = std::numeric_limits<std::int64_t>::max();
    day.fixes = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(bj::decodeDailyStats(*bj::encode(day)), day);

    const Diagnostics counters{7, 0, -1, 1'000'000'000'000, 9};
    EXPECT_EQ(bj::decodeDiagnostics(*bj::encode(counters)), counters);

    std::vector<DailyStats> days(91, sampleDay());
    days.back().slouchedSeconds = 0.1;
    EXPECT_EQ(bj::decodeDailyStatsArray(*bj::encode(std::span<const DailyStats>(days))), days);
}

TEST(RecordJson, NonFiniteFloatFailsTheWholeEncoding) {
    EXPECT_FALSE(bj::encode(PosturePoint(kNaN, 0, Instant())));
    EXPECT_FALSE(bj::encode(PosturePoint(0, kInf, Instant())));
    EXPECT_FALSE(bj::encode(PosturePoint(0, 0, Instant::fromReferenceSeconds(-kInf))));
    DailyStats bad = sampleDay();
    bad.slouchedSeconds = kNaN;
    EXPECT_FALSE(bj::encode(bad));
    const DailyStats days[] = {sampleDay(), bad};
    EXPECT_FALSE(bj::encode(std::span<const DailyStats>(days)));
}

TEST(RecordJson, EveryKeyIsRequiredAndExtraKeysAreIgnored) {
    EXPECT_FALSE(bj::decodePosturePoint(R"({"pitch":1,"roll":2})"));
    EXPECT_FALSE(bj::decodePosturePoint(R"({"pitch":1,"roll":2,"capturedAt":null})"));
    const auto extra =
        bj::decodePosturePoint(R"({"note":"x","capturedAt":3,"roll":2,"pitch":1,"v":[1]})");
    ASSERT_TRUE(extra);
    EXPECT_EQ(*extra, PosturePoint(1, 2, Instant::fromReferenceSeconds(3)));
    EXPECT_FALSE(
        bj::decodeDiagnostics(R"({"launches":1,"calibrations":2,"alertsSent":3,"disconnects":4})"));
    EXPECT_TRUE(bj::decodeDiagnostics(
        R"({"launches":1,"calibrations":2,"alertsSent":3,"disconnects":4,"unexpectedQuits":0})"));
}

TEST(RecordJson, IntegerFieldsMustBeJsonIntegersInRange) {
    auto day = [](const char* slouches) {
        return bj::decodeDailyStats(std::string(R"({"date":0,"monitoredSeconds":1,)") +
                                    R"("slouchedSeconds":0,"fixes":0,"slouches":)" + slouches +
                                    "}");
    };
    EXPECT_TRUE(day("2"));
    EXPECT_EQ(day("9223372036854775807")->slouches, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(day("-9223372036854775808")->slouches, std::numeric_limits<std::int64_t>::min());
    EXPECT_FALSE(day("2.5"));
    EXPECT_FALSE(day("3.6e72"));
    EXPECT_FALSE(day("9223372036854775808"));  // one past the signed range
    EXPECT_FALSE(day("18446744073709551616")); // past the unsigned range too
    EXPECT_FALSE(day("-9223372036854775809"));
    EXPECT_FALSE(day("\"2\""));
    EXPECT_FALSE(day("true"));
    EXPECT_FALSE(day("null"));
}

TEST(RecordJson, FloatFieldsTakeAnyFiniteNumberAndNothingElse) {
    const auto point =
        bj::decodePosturePoint(R"({"pitch":1,"roll":18446744073709551615,"capturedAt":-5e-324})");
    ASSERT_TRUE(point);
    EXPECT_EQ(point->pitch(), 1.0);
    EXPECT_FALSE(bj::decodePosturePoint(R"({"pitch":"1","roll":0,"capturedAt":0})"));
    EXPECT_FALSE(bj::decodePosturePoint(R"({"pitch":1e400,"roll":0,"capturedAt":0})"));
    EXPECT_FALSE(bj::decodePosturePoint(R"({"pitch":NaN,"roll":0,"capturedAt":0})"));
}

TEST(RecordJson, MalformedTextNeverDecodes) {
    const std::string good = *bj::encode(sampleDay());
    EXPECT_TRUE(bj::decodeDailyStats(good));
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_FALSE(bj::decodeDailyStats(good.substr(0, cut))) << cut;
    }
    EXPECT_FALSE(bj::decodeDailyStats(""));
    EXPECT_FALSE(bj::decodeDailyStats("[]"));
    EXPECT_FALSE(bj::decodeDailyStats(std::string("{\"date\":\0}", 11)));
    EXPECT_FALSE(bj::decodeDiagnostics("\xff\xfe"));
    EXPECT_FALSE(bj::decodeDailyStats(good + "garbage"));
}

TEST(RecordJson, OneBadRecordFailsTheWholeArray) {
    const std::string good = *bj::encode(sampleDay());
    EXPECT_EQ(bj::decodeDailyStatsArray("[]")->size(), 0u);
    EXPECT_EQ(bj::decodeDailyStatsArray("[" + good + "," + good + "]")->size(), 2u);
    EXPECT_FALSE(bj::decodeDailyStatsArray("[" + good + ",{\"date\":1}]"));
    EXPECT_FALSE(bj::decodeDailyStatsArray("[" + good + ",7]"));
    EXPECT_FALSE(bj::decodeDailyStatsArray(good));
    EXPECT_FALSE(bj::decodeDailyStatsArray("{}"));
    EXPECT_FALSE(bj::decodeDailyStatsArray(std::string(100000, '[')));
}
