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
    ASSERT_EQ(dialog.selectedFiles().size(), 1);
    EXPECT_TRUE(dialog.selectedFiles().first().endsWith("/backbeacon-2026-12-06.png"));

    FileDialogSaveLocationChooser::configure(dialog,
                                             {"Save Insight Card", "x.png", "image/png", false});
    EXPECT_TRUE(dialog.testOption(QFileDialog::ReadOnly));
}
