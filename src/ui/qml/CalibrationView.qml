import QtQuick
import QtQuick.Layouts

// Shown until a baseline is saved: what to do, the save button, and the two
// actions the panel always offers.
ColumnLayout {
    objectName: "calibrationView"
    spacing: 12

    BaselineCalibrationCard {
        Layout.fillWidth: true
        isComplete: viewModel.isCalibrated
    }
    FooterButtons {
        Layout.fillWidth: true
        Layout.topMargin: 4
    }
}
