#include "FileDialogSaveLocationChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QStandardPaths>

namespace backbeacon {

void FileDialogSaveLocationChooser::configure(QFileDialog& dialog, const SaveRequest& request) {
    dialog.setWindowTitle(request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setMimeTypeFilters({request.mimeType});
    // A name typed without an extension still ends up with the kind's one.
    const QStringList suffixes = QMimeDatabase().mimeTypeForName(request.mimeType).suffixes();
    dialog.setDefaultSuffix(suffixes.isEmpty() ? QString() : suffixes.first());
    // Read-only mode is what hides the dialog's "create folder" button.
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::homePath();
    }
    dialog.setDirectory(folder);
    dialog.selectFile(request.proposedName);
}

std::optional<QString>
FileDialogSaveLocationChooser::chooseSaveLocation(const SaveRequest& request) {
    QFileDialog dialog(m_parent);
    configure(dialog, request);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.first();
}

} // namespace backbeacon
