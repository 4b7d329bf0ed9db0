#include "ui/SymbolImageProvider.h"

#include "../model/MessageLog.h"
#include "Colors.h"
#include "Symbols.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>

namespace backbeacon::testing {
namespace {

QImage request(const QString& id, QSize requested) {
    QSize size;
    const QImage image = SymbolImageProvider().requestImage(id, &size, requested);
    EXPECT_EQ(size, image.size()) << id.toStdString();
    return image;
}

int drawnPixels(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const std::span pixels(reinterpret_cast<const QRgb*>(argb.constBits()), argb.sizeInBytes() / 4);
    return int(std::ranges::count_if(pixels, [](QRgb pixel) { return qAlpha(pixel) > 0; }));
}

// "#" as QML leaves it in the URL (Qt passes it on as a fragment) and as "%23".
TEST(SymbolImageProviderTest, TheColourReplacesBlackAndItsAlphaScalesCoverage) {
    const QImage plain = symbolImage("clock", QSize(32, 32));
    for (const auto& [id, alpha] :
         {std::pair{"clock?color=%23ff8000", 255}, std::pair{"clock?color=#ff8000", 255},
          std::pair{"clock?color=%2380ff8000", 0x80}}) {
        const QImage tinted = request(id, QSize(32, 32));
        const QRgb rim = qUnpremultiply(tinted.pixel(16, 3));
        EXPECT_EQ(qAlpha(rim), alpha) << id;
        EXPECT_TRUE(near(QColor(rim), QColor(0xff, 0x80, 0), 2)) << id;
        EXPECT_EQ(drawnPixels(tinted), drawnPixels(plain)) << id;
        EXPECT_EQ(qAlpha(tinted.pixel(0, 0)), 0) << id;
    }
}

TEST(SymbolImageProviderTest,
     EveryUsedSymbolIsDrawnAndBadRequestsGiveABlankOfTheSizeAndOneWarning) {
    for (const char* id : {"../x", "", "?color=%23ffffff", "clock/../clock", "..%2Fclock",
                           "no.such.symbol", "clock?color=nonsense", "clock?color="}) {
        MessageLog log;
        const QImage image = request(QString::fromUtf8(id), QSize(20, 20));
        EXPECT_EQ(image.size(), QSize(20, 20)) << id;
        EXPECT_EQ(drawnPixels(image), 0) << id;
        EXPECT_EQ(log.lines().size(), 1) << id;
    }
    EXPECT_EQ(request("power", QSize(-1, -1)).size(), QSize(16, 16));
    EXPECT_EQ(request("power", QSize(22, 0)).size(), QSize(22, 22));
    EXPECT_EQ(request("power", QSize(100000, 100000)).size(), QSize(512, 512));
    // Every symbol the views use is drawn.
    for (const char* name :
         {"airpodspro", "arrow.down.right", "arrow.up.right", "clock", "square.and.arrow.down",
          "plus.circle", "gearshape", "power", "figure.stand", "checkmark.circle.fill", "scope",
          "arrow.counterclockwise"}) {
        const int drawn = drawnPixels(request(QString::fromUtf8(name), QSize(16, 16)));
        EXPECT_TRUE(drawn > 16 && drawn < 16 * 16) << name << " has " << drawn;
    }
    // The tick is a hole in the disc, showing what lies behind.
    const QImage check = symbolImage("checkmark.circle.fill", QSize(64, 64));
    EXPECT_EQ(qAlpha(check.pixel(32, 16)), 255);
    EXPECT_EQ(qAlpha(check.pixel(28, 41)) + qAlpha(check.pixel(40, 32)), 0);
}

} // namespace
} // namespace backbeacon::testing
