#include "StatusIndicator.h"

#include "Symbols.h"
#include "stats/CardCanvas.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace backbeacon::statusIndicator {

namespace {

using Kind = PostureState::Kind;

bool isLive(const PostureState& state, bool connected) {
    return connected && (state.is(Kind::good) || state.is(Kind::bad));
}

// Rectangles in the image's top-left-origin coordinates (the drawing is laid
// out from the bottom left: glyph at y 1, dot at y 5).
constexpr QRectF kGlyphRect{1, kImageHeight - 1 - 16, 17, 16};
constexpr QRectF kDotRect{20, kImageHeight - 5 - 7, 7, 7};

// The glyph's artwork at one pixel size. Parsing and drawing the SVG five times
// a second would be most of an idle app's work. Main thread only, like the tray.
const QImage& glyphImage(QSize pixels) {
    static QImage cached;
    static QSize cachedSize;
    if (pixels != cachedSize) {
        cached = symbolImage(QStringLiteral("airpodspro"), pixels);
        cachedSize = pixels;
    }
    return cached;
}

} // namespace

double dotFraction(double driftFraction, std::optional<double> shown) {
    if (!(driftFraction < 1.0)) {
        return 1.0;
    }
    const double fraction = std::max(driftFraction, 0.0);
    if (shown && *shown < 1.0 && std::abs(fraction - *shown) <= kDotStep) {
        return *shown;
    }
    return std::min(std::round(fraction / kDotStep), 1.0 / kDotStep - 1.0) * kDotStep;
}

ColorComponents indicatorColor(const PostureState& state, bool connected, double driftFraction) {
    if (state.is(Kind::capturing)) {
        return Theme::accentBlue;
    }
    if (isLive(state, connected)) {
        return Theme::driftColorComponents(driftFraction);
    }
    return kSecondaryLabel;
}

bool shouldFlashRed(const PostureState& state, bool connected, double driftFraction) {
    return isLive(state, connected) && driftFraction >= 1.0;
}

ColorComponents symbolColor(const PostureState& state, bool connected, double driftFraction,
                            Instant now) {
    if (!shouldFlashRed(state, connected, driftFraction)) {
        return kWhite;
    }
    // A clock far outside the 64-bit range cannot be sampled; stay white.
    const double thirds = now.referenceSeconds() * 3.0;
    if (!std::isfinite(thirds) || std::fabs(thirds) >= 9.2e18) {
        return kWhite;
    }
    const auto tick = static_cast<std::int64_t>(thirds);
    return tick % 2 == 0 ? Theme::badRed : kWhite;
}

QImage statusImage(const ColorComponents& indicator, const ColorComponents& symbol,
                   qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(QSize(kImageWidth, kImageHeight) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QImage& glyph = glyphImage((kGlyphRect.size() * ratio).toSize());
    if (!glyph.isNull()) {
        painter.drawImage(kGlyphRect, glyph);
        // The glyph's shape takes the symbol colour; the transparent rest stays so.
        painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        painter.fillRect(kGlyphRect, toQColor(symbol));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    QPainterPath dot;
    dot.addRoundedRect(kDotRect, 1.5, 1.5);
    painter.fillPath(dot, toQColor(indicator));
    return image;
}

QImage squareStatusImage(const ColorComponents& indicator, const ColorComponents& symbol,
                         int pixels) {
    // QPainter does not scale down by a ratio below 1: drawn at the next whole
    // ratio up, then scaled to the width.
    const int ratio = pixels / kImageWidth + 1;
    QImage drawn = statusImage(indicator, symbol, ratio);
    drawn.setDevicePixelRatio(1.0);
    drawn = drawn.scaledToWidth(pixels, Qt::SmoothTransformation);
    QImage square(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage(QPoint(0, (pixels - drawn.height()) / 2), drawn);
    return square;
}

QString toolTip(const QString& headline, const DailyStats& today) {
    if (!(today.monitoredSeconds > 0)) {
        return headline;
    }
    return QStringLiteral("%1 \u00b7 today %2 %").arg(headline).arg(today.score());
}

StatusItem::Mood mood(const PostureState& state, bool connected, bool alerted) {
    if (alerted && connected) {
        return StatusItem::Mood::alert;
    }
    if (isLive(state, connected) || state.is(Kind::capturing)) {
        return StatusItem::Mood::live;
    }
    return StatusItem::Mood::idle;
}

} // namespace backbeacon::statusIndicator
