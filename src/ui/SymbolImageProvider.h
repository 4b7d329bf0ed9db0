#pragma once

#include <QQuickImageProvider>

namespace backbeacon {

// Serves the project's symbols to QML as "image://symbol/<name>?color=<colour>",
// drawn at the Image's sourceSize (16×16 when it has none) in the given colour.
// Anything it cannot draw comes back as a transparent image of the same size, so
// a bad name leaves a gap in the view rather than breaking its layout.
class SymbolImageProvider final : public QQuickImageProvider {
public:
    SymbolImageProvider();

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace backbeacon
