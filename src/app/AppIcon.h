#pragma once

#include <QImage>
#include <QSize>

namespace backbeacon {

// The app's own artwork (the installed scalable icon), drawn at `pixels`; null
// when the artwork is missing.
QImage appIconImage(QSize pixels);

} // namespace backbeacon
