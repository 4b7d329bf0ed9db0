#pragma once

#include <QString>

#include <optional>

namespace backbeacon {

// What a save dialog is asked to offer.
struct SaveRequest {
    QString title;
    QString proposedName; // a file name, without a folder
    QString mimeType;     // the one kind of file offered
    bool canCreateFolders = true;

    bool operator==(const SaveRequest&) const = default;
};

// Asks the user where to save a file (a modal dialog in the app, a script in tests).
class SaveLocationChooser {
public:
    virtual ~SaveLocationChooser() = default;
    // The chosen path; nothing when the user cancelled.
    virtual std::optional<QString> chooseSaveLocation(const SaveRequest& request) = 0;
};

} // namespace backbeacon
