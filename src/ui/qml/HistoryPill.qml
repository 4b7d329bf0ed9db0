import QtQuick
import QtQuick.Layouts

Rectangle {
    id: pill

    property string title
    property string value

    objectName: title
    Layout.fillWidth: true
    Layout.preferredWidth: 1
    implicitHeight: column.implicitHeight + 24
    radius: 8
    color: theme.cardBackground
    border.color: theme.cardStroke
    border.width: 1

    ColumnLayout {
        id: column
        x: 12
        y: 12
        width: parent.width - 24
        spacing: 4
        Text {
            text: pill.title
            font.pixelSize: 10
            color: theme.secondaryText
        }
        Text {
            objectName: "value"
            text: pill.value
            font.pixelSize: 20
            font.weight: Font.DemiBold
            color: theme.primaryText
        }
    }
}
