import QtQuick

// Text that fades out and back in when it changes, instead of jumping.
Text {
    id: label

    property string shown
    property int fadeDuration: theme.contentSpringDuration / 2

    text: shown
    Behavior on shown {
        enabled: viewModel.animationsEnabled
        SequentialAnimation {
            NumberAnimation { target: label; property: "opacity"; to: 0; duration: label.fadeDuration / 2 }
            PropertyAction { target: label; property: "text" }
            NumberAnimation { target: label; property: "opacity"; to: 1; duration: label.fadeDuration / 2 }
        }
    }
}
