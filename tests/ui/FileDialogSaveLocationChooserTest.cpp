#include "ui/FileDialogSaveLocationChooser.h"

#include <QFileDialog>

#include <gtest/gtest.h>

using namespace backbeacon;

TEST(FileDialogSaveLocationChooser, OffersOnlyTheRequestedKindUnderTheProposedName) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    FileDialogSaveLocationChooser::configure(
        dialog, {"Save Insight Card", "backbeacon-2026-12-06.png", "image/png", true});
    EXPECT_EQ(dialog.windowTitle(), "Save Insight Card");
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.nameFilters(), QStringList{"PNG image (*.png)"});
    EXPECT_EQ(dialog.defaultSuffix(), "png");
    EXPECT_FALSE(dialog.testOption(QFileDialog::ReadOnly)) << "folders can be created";
    EXPECT_EQ(dialog.selectedFiles().value(0).section(u'/', -1), "backbeacon-2026-12-06.png");
}
