#include "engine/OpentrackDatagram.h"

#include "OpentrackSender.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

constexpr double kPi = 3.141592653589793;

std::optional<MotionSample> parse(const OpentrackBytes& bytes) {
    return parseOpentrackDatagram(bytes.data(), bytes.size());
}

} // namespace

TEST(OpentrackDatagram, ConvertsPitchAndRollToEngineRadiansAndSigns) {
    // opentrack's looking up and tilting toward the right shoulder: the engine's
    // leaning back (negative pitch) and tilting right (positive roll).
    const auto sample = parse(opentrackDatagram(4.0, -3.0, 55.0, 170.0, 12.5, -30.25));
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->pitch, -12.5 * kPi / 180.0);
    EXPECT_EQ(sample->roll, 30.25 * kPi / 180.0);

    // Written out by hand rather than by the helper, so both cannot share a
    // byte-order mistake: pitch 1.0 is 0x3FF0000000000000, roll -2.0 is
    // 0xC000000000000000, least significant byte first.
    unsigned char bytes[48] = {};
    bytes[32 + 6] = 0xF0;
    bytes[32 + 7] = 0x3F;
    bytes[40 + 7] = 0xC0;
    const auto handMade = parseOpentrackDatagram(bytes, sizeof bytes);
    ASSERT_TRUE(handMade);
    EXPECT_EQ(handMade->pitch, -1.0 * kPi / 180.0);
    EXPECT_EQ(handMade->roll, 2.0 * kPi / 180.0);
}

TEST(OpentrackDatagram, OnlyExactlyFortyEightBytesAreASample) {
    const auto valid = opentrackPose(5.0, 5.0);
    unsigned char longer[100];
    std::memcpy(longer, valid.data(), valid.size());
    std::memset(longer + 48, 0, sizeof longer - 48);
    for (const std::size_t size : {0u, 1u, 47u, 49u, 96u, 100u}) {
        EXPECT_FALSE(parseOpentrackDatagram(longer, size)) << size << " bytes";
    }
    EXPECT_TRUE(parseOpentrackDatagram(longer, 48));
    EXPECT_FALSE(parseOpentrackDatagram(nullptr, 48));
}

TEST(OpentrackDatagram, AnyNonFiniteFieldDropsTheDatagram) {
    const double bad[] = {
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (const double value : bad) {
        for (int field = 0; field < 6; ++field) {
            double v[6] = {1, 2, 3, 4, 5, 6};
            v[field] = value;
            EXPECT_FALSE(parse(opentrackDatagram(v[0], v[1], v[2], v[3], v[4], v[5])))
                << "field " << field << " = " << value;
        }
    }
}

// A finite datagram is as good as the tracker says, whatever its bytes, as long
// as pitch and roll stay within a turn: beyond that no head is being described
// and the engine's squares and means could overflow to infinity.
TEST(OpentrackDatagram, FiniteValuesAreAcceptedWithinAFullTurn) {
    if constexpr (std::endian::native != std::endian::little) {
        GTEST_SKIP() << "reads the random bytes as host doubles";
    }
    std::mt19937_64 random(20240611);
    int accepted = 0;
    for (int i = 0; i < 2000; ++i) {
        OpentrackBytes bytes;
        for (auto& byte : bytes) {
            byte = static_cast<unsigned char>(random());
        }
        double v[6];
        std::memcpy(v, bytes.data(), sizeof v);
        bool finite = true;
        for (const double d : v) {
            finite = finite && std::isfinite(d);
        }
        const bool inRange = std::fabs(v[4]) <= 360.0 && std::fabs(v[5]) <= 360.0;
        const auto sample = parse(bytes);
        EXPECT_EQ(sample.has_value(), finite && inRange) << "datagram " << i;
        accepted += sample.has_value();
    }
    EXPECT_GT(accepted, 0); // random bytes are mostly tiny or huge doubles; some pass

    EXPECT_TRUE(parse(opentrackDatagram(1e300, -1e300, 5e-324, -0.0, 360.0, -360.0)));
    EXPECT_FALSE(parse(opentrackPose(360.0000001, 0.0)));
    EXPECT_FALSE(parse(opentrackPose(0.0, -1e300)));
}
