#pragma once

#include "model/Theme.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>

#include <limits>
#include <vector>

namespace backbeacon {

enum class FontWeight { regular, medium, semibold, bold };

QColor toQColor(const ColorComponents& color);

// The card's drawing surface in card units: the origin is the lower-left corner
// and y grows upwards, so every block is placed with the numbers of its layout.
// One flip of the painter's transform maps them to the image; only text and
// images are set upright again, at their own origin.
class CardCanvas {
public:
    CardCanvas(QPainter& painter, double height);

    // The font the card sets its text in: the application's sans-serif.
    static QFont font(int size, FontWeight weight);
    static double textWidth(const QString& text, int size, FontWeight weight);

    void fill(const QRectF& rect, const ColorComponents& color);
    void fillRoundedRect(const QRectF& rect, double radius, const ColorComponents& color);
    void strokeRoundedRect(const QRectF& rect, double radius, const ColorComponents& color,
                           double width);
    void line(QPointF from, QPointF to, const ColorComponents& color, double width);

    // One unwrapped line whose line box has its lower-left corner at `origin`,
    // set a little smaller if it would be wider than `maxWidth`.
    void textAt(QPointF origin, const QString& text, int size, FontWeight weight,
                const ColorComponents& color,
                double maxWidth = std::numeric_limits<double>::infinity());
    // Wrapped at word boundaries to the rectangle's width from its top, with
    // `lineSpacing` between lines, set a little smaller if that makes it fit;
    // lines whose baseline still falls below the rectangle are left out.
    void textIn(const QRectF& rect, const QString& text, int size, FontWeight weight,
                const ColorComponents& color, double lineSpacing);

    void radialGradient(QPointF centre, double radius, const ColorComponents& inner,
                        const ColorComponents& outer);
    // A left-to-right gradient across `span`, shown only inside the rounded `clip`.
    void linearGradientIn(const QRectF& span, const std::vector<ColorComponents>& colors,
                          const QRectF& clip, double clipRadius);

    // Draws `image` upright into `rect`, source-over.
    void image(const QRectF& rect, const QImage& image);

private:
    // Moves the origin to `point` (card units) with y pointing down, for text and images.
    void uprightAt(QPointF point);

    QPainter& m_painter;
};

} // namespace backbeacon
