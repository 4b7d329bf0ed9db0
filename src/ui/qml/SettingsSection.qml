import QtQuick
import QtQuick.Layouts

// A titled card of the Settings window.
ColumnLayout {
    id: section

    property string title
    property int contentSpacing: 12
    default property alias content: box.data

    objectName: title
    spacing: 10

    Text {
        text: section.title.toUpperCase()
        font.pixelSize: 11
        font.weight: Font.DemiBold
        color: theme.secondaryText
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: box.implicitHeight + 32
        radius: 10
        color: theme.cardBackground
        border.color: theme.cardStroke
        border.width: 1

        ColumnLayout {
            id: box
            x: 16
            y: 16
            width: parent.width - 32
            spacing: section.contentSpacing
        }
    }
}
