import QtQuick

// Where the keyboard is: a ring in the accent colour around the focused
// control, drawn only while the keyboard is in use, so the pointer's look is
// left as it is.
Rectangle {
    objectName: "focusRing"
    property Item control: parent
    property real margin: 0

    anchors.fill: parent
    anchors.margins: -margin
    z: 100
    radius: 4
    color: "transparent"
    border.color: theme.accentBlue
    border.width: 2
    visible: control.activeFocus && app.keyboardInUse
}
