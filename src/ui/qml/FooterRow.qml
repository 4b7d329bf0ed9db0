import QtQuick
import QtQuick.Layouts

// A row of the calibration view's footer: the whole row is the button.
Item {
    id: row

    property string icon
    property string title
    signal triggered()
    readonly property bool hovering: pointer.containsMouse

    objectName: title
    Layout.fillWidth: true
    implicitHeight: content.implicitHeight + 16

    activeFocusOnTab: true
    Keys.onReturnPressed: row.triggered()
    Keys.onEnterPressed: row.triggered()
    Keys.onSpacePressed: row.triggered()
    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.focusable: true
    Accessible.onPressAction: row.triggered()

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: row.hovering ? theme.hoverBackground : "transparent"
    }
    RowLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 4
        anchors.topMargin: 8
        anchors.bottomMargin: 8
        spacing: 10
        Item {
            implicitWidth: 18
            implicitHeight: 14
            Symbol {
                anchors.centerIn: parent
                name: row.icon
                size: 12
                color: theme.secondaryText
            }
        }
        Text {
            text: row.title
            font.pixelSize: 12
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
    FocusRing { radius: 6 }
}
