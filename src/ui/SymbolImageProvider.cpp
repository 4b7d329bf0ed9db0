#include "SymbolImageProvider.h"

#include "Symbols.h"

#include <QColor>
#include <QLoggingCategory>
#include <QPainter>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcSymbolProvider, "backbeacon.ui")

namespace {

constexpr int kDefaultSide = 16;
// Far beyond any view's need; keeps a stray sourceSize from allocating gigabytes.
constexpr int kMaxSide = 512;

// Symbols are square, so a size given in one dimension only stands for both.
QSize effectiveSize(const QSize& requested) {
    int width = requested.width();
    int height = requested.height();
    if (width <= 0 && height <= 0) {
        width = height = kDefaultSide;
    } else if (width <= 0) {
        width = height;
    } else if (height <= 0) {
        height = width;
    }
    return {std::min(width, kMaxSide), std::min(height, kMaxSide)};
}

QImage transparentImage(QSize pixels) {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size,
                                         const QSize& requestedSize) {
    const QSize pixels = effectiveSize(requestedSize);
    const qsizetype queryStart = id.indexOf(u'?');
    const QString name = id.left(queryStart);

    // Qt hands over the id as the URL spelled it: a "#" written into the URL
    // ends the query and starts a fragment, "%23" stays encoded. The query
    // parser takes both as the same colour.
    QColor color(Qt::black);
    if (queryStart >= 0) {
        const QUrlQuery items(id.mid(queryStart + 1));
        if (items.hasQueryItem(QStringLiteral("color"))) {
            color = QColor::fromString(
                items.queryItemValue(QStringLiteral("color"), QUrl::FullyDecoded));
        }
    }

    QImage image;
    if (!color.isValid()) {
        qCWarning(lcSymbolProvider) << "Not a colour in symbol request:" << id;
    } else {
        image = symbolImage(name, pixels);
        if (image.isNull()) {
            qCWarning(lcSymbolProvider) << "No symbol named" << name;
        }
    }

    if (image.isNull()) {
        image = transparentImage(pixels);
    } else {
        // Source-in keeps each pixel's coverage and replaces its colour, so the
        // antialiased edges stay smooth; the colour's own alpha scales them.
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

} // namespace backbeacon
