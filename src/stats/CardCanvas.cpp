#include "CardCanvas.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace backbeacon {

QColor toQColor(const ColorComponents& color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.opacity));
}

namespace {

QPainterPath roundedPath(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// Text set in a face wider than the layout was made for is shrunk, down to this
// share of its size, before any of it is left out.
int smallestSize(int size) {
    return std::max(1, static_cast<int>(std::ceil(size * 0.8)));
}

} // namespace

CardCanvas::CardCanvas(QPainter& painter, double height) : m_painter(painter) {
    m_painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                             QPainter::SmoothPixmapTransform);
    m_painter.setTransform(QTransform(1, 0, 0, -1, 0, height));
}

QFont CardCanvas::font(int size, FontWeight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(size);
    switch (weight) {
    case FontWeight::regular:
        font.setWeight(QFont::Normal);
        break;
    case FontWeight::medium:
        font.setWeight(QFont::Medium);
        break;
    case FontWeight::semibold:
        font.setWeight(QFont::DemiBold);
        break;
    case FontWeight::bold:
        font.setWeight(QFont::Bold);
        break;
    }
    return font;
}

double CardCanvas::textWidth(const QString& text, int size, FontWeight weight) {
    return QFontMetricsF(font(size, weight)).horizontalAdvance(text);
}

void CardCanvas::fill(const QRectF& rect, const ColorComponents& color) {
    m_painter.fillRect(rect, toQColor(color));
}

void CardCanvas::fillRoundedRect(const QRectF& rect, double radius, const ColorComponents& color) {
    m_painter.fillPath(roundedPath(rect, radius), toQColor(color));
}

void CardCanvas::strokeRoundedRect(const QRectF& rect, double radius, const ColorComponents& color,
                                   double width) {
    m_painter.strokePath(roundedPath(rect, radius), QPen(toQColor(color), width));
}

void CardCanvas::line(QPointF from, QPointF to, const ColorComponents& color, double width) {
    m_painter.setPen(QPen(toQColor(color), width, Qt::SolidLine, Qt::FlatCap));
    m_painter.drawLine(from, to);
}

void CardCanvas::uprightAt(QPointF point) {
    m_painter.translate(point);
    m_painter.scale(1, -1);
}

void CardCanvas::textAt(QPointF origin, const QString& text, int size, FontWeight weight,
                        const ColorComponents& color, double maxWidth) {
    QFont font = CardCanvas::font(size, weight);
    for (int px = size - 1; px >= smallestSize(size); --px) {
        if (QFontMetricsF(font).horizontalAdvance(text) <= maxWidth) {
            break;
        }
        font = CardCanvas::font(px, weight);
    }
    m_painter.save();
    uprightAt(origin);
    m_painter.setFont(font);
    m_painter.setPen(toQColor(color));
    m_painter.drawText(QPointF(0, -QFontMetricsF(font).descent()), text);
    m_painter.restore();
}

void CardCanvas::textIn(const QRectF& rect, const QString& text, int size, FontWeight weight,
                        const ColorComponents& color, double lineSpacing) {
    QTextLayout layout(text);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    int shown = 0;
    for (int px = size; px >= smallestSize(size); --px) {
        layout.setFont(font(px, weight));
        shown = 0;
        bool complete = true;
        double top = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(rect.width());
            // A line shows when its baseline fits: only descenders may hang below,
            // so a footer of two lines at 29 px keeps its second line in 70 units.
            if (top + line.ascent() > rect.height()) {
                complete = false;
                break;
            }
            line.setPosition(QPointF(0, top));
            ++shown;
            top += line.height() + lineSpacing;
        }
        layout.endLayout();
        if (complete) {
            break;
        }
    }

    m_painter.save();
    uprightAt(QPointF(rect.left(), rect.top() + rect.height()));
    m_painter.setPen(toQColor(color));
    for (int i = 0; i < shown; ++i) {
        layout.lineAt(i).draw(&m_painter, QPointF(0, 0));
    }
    m_painter.restore();
}

void CardCanvas::radialGradient(QPointF centre, double radius, const ColorComponents& inner,
                                const ColorComponents& outer) {
    QRadialGradient gradient(centre, radius);
    gradient.setColorAt(0, toQColor(inner));
    gradient.setColorAt(1, toQColor(outer));
    // Nothing beyond the outer circle: only the disc is painted.
    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    m_painter.fillPath(disc, gradient);
}

void CardCanvas::linearGradientIn(const QRectF& span, const std::vector<ColorComponents>& colors,
                                  const QRectF& clip, double clipRadius) {
    if (colors.empty()) {
        return;
    }
    const double middle = span.top() + span.height() / 2;
    QLinearGradient gradient(QPointF(span.left(), middle), QPointF(span.right(), middle));
    if (colors.size() == 1) {
        gradient.setColorAt(0, toQColor(colors.front()));
        gradient.setColorAt(1, toQColor(colors.front()));
    } else {
        for (std::size_t i = 0; i < colors.size(); ++i) {
            gradient.setColorAt(static_cast<double>(i) / static_cast<double>(colors.size() - 1),
                                toQColor(colors[i]));
        }
    }
    // Filling the clip shape with the span's gradient is the clipped fill, with
    // smooth edges (the raster engine's path clips are not antialiased).
    m_painter.fillPath(roundedPath(clip.intersected(span), clipRadius), gradient);
}

void CardCanvas::image(const QRectF& rect, const QImage& image) {
    m_painter.save();
    uprightAt(QPointF(rect.left(), rect.top() + rect.height()));
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.drawImage(QRectF(0, 0, rect.width(), rect.height()), image);
    m_painter.restore();
}

} // namespace backbeacon
