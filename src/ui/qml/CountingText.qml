import QtQuick

// A figure that counts to its new value rather than jumping to it.
Text {
    id: label

    property real value
    property string suffix
    property real shown: value

    text: Math.round(shown) + suffix
    Behavior on shown {
        enabled: viewModel.animationsEnabled
        NumberAnimation { duration: 350; easing.type: Easing.OutCubic }
    }
}
