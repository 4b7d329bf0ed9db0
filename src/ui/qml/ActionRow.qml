import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A row of the panel's action list: the whole row is the button.
Rectangle {
    id: row

    property string icon
    property string title
    signal triggered()
    readonly property bool hovering: pointer.containsMouse

    objectName: title
    Layout.fillWidth: true
    implicitHeight: 24
    color: hovering ? theme.hoverBackground : "transparent"

    activeFocusOnTab: true
    Keys.onReturnPressed: row.triggered()
    Keys.onEnterPressed: row.triggered()
    Keys.onSpacePressed: row.triggered()
    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.focusable: true
    Accessible.onPressAction: row.triggered()

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 4
        anchors.rightMargin: 4
        spacing: 12
        Item {
            implicitWidth: 16
            implicitHeight: 16
            Symbol {
                anchors.centerIn: parent
                name: row.icon
                size: 12
                color: theme.secondaryText
            }
        }
        Text {
            text: row.title
            font.pixelSize: 13
            color: theme.primaryText
            Accessible.ignored: true
        }
        Item { Layout.fillWidth: true }
    }
    MouseArea {
        id: pointer
        anchors.fill: parent
        hoverEnabled: true
        onClicked: row.triggered()
    }
    FocusRing {}
    ToolTip.visible: hovering
    ToolTip.delay: 800
    ToolTip.text: title
}
