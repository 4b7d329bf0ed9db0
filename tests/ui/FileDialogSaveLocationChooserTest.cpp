#include "ui/FileDialogSaveLocationChooser.h"

#include <QFileDialog>

#include <gtest/gtest.h>

// Only the requested kind under the proposed name, in a dialog where folders
// can be created.
TEST(FileDialogSaveLocationChooser, OffersOnlyTheRequestedKindUnderTheProposedName) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    backbeacon::FileDialogSaveLocationChooser::configure(
        dialog, {"Save Insight Card", "backbeacon-2026-12-06.png", "image/png", true});
    EXPECT_EQ(std::tuple(dialog.windowTitle(), dialog.acceptMode(), dialog.defaultSuffix(),
                         dialog.nameFilters(), dialog.testOption(QFileDialog::ReadOnly)),
              std::tuple(QStringLiteral("Save Insight Card"), QFileDialog::AcceptSave, "png",
                         QStringList{"PNG image (*.png)"}, false));
    EXPECT_EQ(dialog.selectedFiles().value(0).section(u'/', -1), "backbeacon-2026-12-06.png");
}
