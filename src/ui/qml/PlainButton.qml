import QtQuick
import QtQuick.Layouts

// A bordered push button with an optional symbol before its text.
Rectangle {
    id: button

    property string icon
    property string text
    signal triggered()

    implicitWidth: content.implicitWidth + 20
    implicitHeight: content.implicitHeight + 10
    radius: 6
    color: pointer.pressed ? theme.trackBackground : (pointer.containsMouse ? Qt.darker(theme.cardBackground, 1.03) : "white")
    border.color: theme.cardStroke

    activeFocusOnTab: true
    Keys.onReturnPressed: button.triggered()
    Keys.onEnterPressed: button.triggered()
    Keys.onSpacePressed: button.triggered()
    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.focusable: true
    Accessible.onPressAction: button.triggered()

    RowLayout {
        id: content
        anchors.centerIn: parent
        spacing: 5
        Symbol {
            Layout.alignment: Qt.AlignVCenter
            visible: button.icon !== ""
            name: button.icon
            size: 12
            color: theme.primaryText
        }
        Text {
            Layout.alignment: Qt.AlignVCenter
            text: button.text
            font.pixelSize: 13
            color: theme.primaryText
            Accessible.ignored: true
        }
    }
    MouseArea {
        id: pointer
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.triggered()
    }
    FocusRing { radius: 6 }
}
