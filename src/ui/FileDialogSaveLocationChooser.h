#pragma once

#include "stats/SaveLocationChooser.h"

class QFileDialog;
class QWidget;

namespace backbeacon {

// Asks through a modal QFileDialog, opened in the user's pictures folder.
class FileDialogSaveLocationChooser final : public SaveLocationChooser {
public:
    explicit FileDialogSaveLocationChooser(QWidget* parent = nullptr) : m_parent(parent) {}

    std::optional<QString> chooseSaveLocation(const SaveRequest& request) override;

    // Sets up `dialog` to ask for `request`.
    static void configure(QFileDialog& dialog, const SaveRequest& request);

private:
    QWidget* m_parent;
};

} // namespace backbeacon
