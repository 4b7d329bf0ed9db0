#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace backbeacon {

// The symbol `name` (as "clock" or "arrow.up.right") drawn in black on a
// transparent image of `pixels`, keeping its aspect ratio and centred. A null
// image when there is no such symbol or the size is empty.
QImage symbolImage(const QString& name, QSize pixels);

} // namespace backbeacon
