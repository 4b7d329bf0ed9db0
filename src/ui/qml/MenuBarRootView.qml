import QtQuick

// The panel: the calibration view until a baseline is saved, the live monitor
// afterwards. 308 wide; the height follows what is shown.
Rectangle {
    id: root

    objectName: "menuBarRoot"
    implicitWidth: 308
    implicitHeight: (viewModel.isCalibrated ? monitorView.implicitHeight : calibrationView.implicitHeight) + 20
    color: theme.appBackground

    // The popup closes on Escape as it does on a click elsewhere.
    Keys.onEscapePressed: app.closePanel()

    Item {
        x: 12
        y: 10
        width: 284

        CalibrationView {
            id: calibrationView
            width: parent.width
            opacity: viewModel.isCalibrated ? 0 : 1
            visible: opacity > 0
            Behavior on opacity {
                enabled: viewModel.animationsEnabled
                NumberAnimation { duration: theme.contentSpringDuration; easing: theme.contentSpring }
            }
        }
        MonitorView {
            id: monitorView
            width: parent.width
            opacity: viewModel.isCalibrated ? 1 : 0
            visible: opacity > 0
            Behavior on opacity {
                enabled: viewModel.animationsEnabled
                NumberAnimation { duration: theme.contentSpringDuration; easing: theme.contentSpring }
            }
        }
    }
}
