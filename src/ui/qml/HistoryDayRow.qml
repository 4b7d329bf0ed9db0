import QtQuick
import QtQuick.Layouts

RowLayout {
    id: row

    property var day

    spacing: 12

    ColumnLayout {
        Layout.topMargin: 8
        Layout.bottomMargin: 8
        spacing: 2
        Text {
            text: row.day.date
            font.pixelSize: 12
            color: theme.primaryText
        }
        Text {
            text: row.day.measured
            font.pixelSize: 10
            color: theme.secondaryText
        }
    }
    Item { Layout.fillWidth: true }
    Item {
        implicitWidth: 54
        implicitHeight: figures.implicitHeight
        Column {
            id: figures
            anchors.right: parent.right
            spacing: 2
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: row.day.score
                font.pixelSize: 16
                font.weight: Font.DemiBold
                color: row.day.scoreColor
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: row.day.outOfLine
                font.pixelSize: 12
                color: theme.secondaryText
            }
        }
    }
}
