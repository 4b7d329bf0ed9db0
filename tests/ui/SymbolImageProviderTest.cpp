#include "ui/SymbolImageProvider.h"

#include "../model/MessageLog.h"
#include "Symbols.h"

#include <gtest/gtest.h>

namespace backbeacon {
namespace {

QImage request(const QString& id, QSize requested) {
    QSize size;
    const QImage image = SymbolImageProvider().requestImage(id, &size, requested);
    EXPECT_EQ(size, image.size()) << id.toStdString();
    return image;
}

int drawnPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    return count;
}

// "#" as QML leaves it in the URL (Qt passes it on as a fragment) and as "%23".
TEST(SymbolImageProviderTest, TheColourReplacesBlackAndItsAlphaScalesCoverage) {
    const QImage plain = symbolImage("clock", QSize(32, 32));
    for (const auto& [id, alpha] :
         {std::pair{"clock?color=%23ff8000", 255}, std::pair{"clock?color=#ff8000", 255},
          std::pair{"clock?color=%2380ff8000", 0x80}}) {
        const QImage tinted = request(id, QSize(32, 32));
        ASSERT_EQ(tinted.size(), plain.size()) << id;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QRgb pixel = qUnpremultiply(tinted.pixel(x, y));
                ASSERT_NEAR(qAlpha(pixel), qAlpha(plain.pixel(x, y)) * alpha / 255, 1) << id;
                if (qAlpha(pixel) >= 0x80) {
                    ASSERT_NEAR(qRed(pixel), 0xff, 2) << id << " " << x << "," << y;
                    ASSERT_NEAR(qGreen(pixel), 0x80, 2) << id << " " << x << "," << y;
                    ASSERT_NEAR(qBlue(pixel), 0x00, 2) << id << " " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(qAlpha(tinted.pixel(16, 3)), alpha) << id; // on the rim
        EXPECT_EQ(qAlpha(tinted.pixel(0, 0)), 0) << id;
    }
}

TEST(SymbolImageProviderTest, BadRequestsGiveATransparentImageOfTheSizeAndOneWarning) {
    for (const char* id : {"../x", "", "?color=%23ffffff", "clock/../clock", "..%2Fclock",
                           "no.such.symbol", "clock?color=nonsense", "clock?color="}) {
        testing::MessageLog log;
        const QImage image = request(QString::fromUtf8(id), QSize(20, 20));
        EXPECT_EQ(image.size(), QSize(20, 20)) << id;
        EXPECT_EQ(drawnPixels(image), 0) << id;
        EXPECT_EQ(log.lines().size(), 1) << id;
    }
    EXPECT_EQ(request("power", QSize(-1, -1)).size(), QSize(16, 16));
    EXPECT_EQ(request("power", QSize(22, 0)).size(), QSize(22, 22));
    EXPECT_EQ(request("power", QSize(100000, 100000)).size(), QSize(512, 512));
}

TEST(SymbolImageProviderTest, EverySymbolTheViewsUseIsDrawn) {
    for (const char* name :
         {"airpodspro", "arrow.down.right", "arrow.up.right", "clock", "square.and.arrow.down",
          "plus.circle", "gearshape", "power", "figure.stand", "checkmark.circle.fill", "scope",
          "arrow.counterclockwise"}) {
        const int drawn = drawnPixels(request(QString::fromUtf8(name), QSize(16, 16)));
        EXPECT_GT(drawn, 16) << name;
        EXPECT_LT(drawn, 16 * 16) << name;
    }
    // The tick is a hole in the disc, showing what lies behind.
    const QImage check = symbolImage("checkmark.circle.fill", QSize(64, 64));
    EXPECT_EQ(qAlpha(check.pixel(32, 16)), 255);
    EXPECT_EQ(qAlpha(check.pixel(28, 41)), 0);
    EXPECT_EQ(qAlpha(check.pixel(40, 32)), 0);
}

} // namespace
} // namespace backbeacon
