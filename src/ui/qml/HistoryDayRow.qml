import QtQuick
import QtQuick.Layouts

RowLayout {
    id: row

    property var day

    spacing: 12
    Accessible.role: Accessible.StaticText
    Accessible.name: row.day.date + ": " + row.day.measured + ", score " + row.day.score + ", " + row.day.outOfLine + " out of line"

    ColumnLayout {
        Layout.topMargin: 8
        Layout.bottomMargin: 8
        spacing: 2
        Text {
            Accessible.ignored: true
            text: row.day.date
            font.pixelSize: 12
            color: theme.primaryText
        }
        Text {
            Accessible.ignored: true
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
                Accessible.ignored: true
            text: row.day.score
                font.pixelSize: 16
                font.weight: Font.DemiBold
                color: row.day.scoreColor
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                Accessible.ignored: true
            text: row.day.outOfLine
                font.pixelSize: 12
                color: theme.secondaryText
            }
        }
    }
}
