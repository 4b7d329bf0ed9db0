#include "AppIcon.h"

#include <QPainter>
#include <QSvgRenderer>

namespace backbeacon {

QImage appIconImage(QSize pixels) {
    QSvgRenderer renderer(QStringLiteral(":/icons/org.backbeacon.Backbeacon.svg"));
    if (!renderer.isValid() || pixels.isEmpty()) {
        return {};
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), pixels));
    return image;
}

} // namespace backbeacon
