#include "Symbols.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace backbeacon {

QImage symbolImage(const QString& name, QSize pixels) {
    if (pixels.isEmpty() || name.isEmpty() || name.contains(u'/')) {
        return {};
    }
    const QString path = QStringLiteral(":/symbols/%1.svg").arg(name);
    // Checked first: the renderer warns on every missing file.
    if (!QFile::exists(path)) {
        return {};
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) {
        return {};
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return {};
    }
    image.fill(Qt::transparent);
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    return image;
}

} // namespace backbeacon
