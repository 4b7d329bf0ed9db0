#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

// The notification icon is drawn from the bundled app icon with QtSvg, which
// draws only part of SVG: the icon must be in the resources and come out as
// drawn, a teal rounded tile with a pale head and shoulders under orange arcs.
TEST(AppIcon, IsBundledAndDrawsAsDesignedWithQtSvg) {
    const QString path = QStringLiteral(":/icons/org.backbeacon.Backbeacon.svg");
    ASSERT_TRUE(QFile::exists(path));
    QSvgRenderer renderer(path);
    ASSERT_TRUE(renderer.isValid());
    QImage image(128, 128, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();

    const auto at = [&](int x, int y) { return image.pixelColor(x, y); };
    for (const QPoint corner : {QPoint(9, 9), QPoint(118, 9), QPoint(9, 118), QPoint(118, 118)}) {
        EXPECT_EQ(at(corner.x(), corner.y()).alpha(), 0) << "the tile's corners are rounded";
    }
    const QColor tile = at(16, 64);
    EXPECT_EQ(tile.alpha(), 255);
    EXPECT_GT(tile.blue(), tile.red() + 40);
    for (const QPoint pale : {QPoint(64, 61), QPoint(64, 80), QPoint(40, 110), QPoint(64, 119)}) {
        EXPECT_GT(at(pale.x(), pale.y()).lightness(), 230) << pale.x() << "," << pale.y();
    }
    const QColor arc = at(64, 27);
    EXPECT_GT(arc.red(), arc.blue() + 80) << "the beacon's outer arc";
}
