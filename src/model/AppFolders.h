#pragma once

#include <QString>

namespace backbeacon {

// `base`/Backbeacon when `base` is an absolute path and that folder exists or
// can be made; empty otherwise. An owner-only folder is created with mode 0700
// (its base must exist already), any other with every missing parent.
QString appFolderIn(const QString& base, bool ownerOnly);

// The folder for files only this user may see (the notification icon, the
// single-instance lock): $XDG_RUNTIME_DIR/Backbeacon (mode 0700), else
// $XDG_CACHE_HOME/Backbeacon. Never the shared /tmp, where another local user
// could plant files. Creates the folder it picks; empty if none works.
QString privateScratchFolder();

} // namespace backbeacon
