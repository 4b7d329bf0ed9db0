import QtQuick
import QtQuick.Layouts

Card {
    padding: 8
    spacing: 8

    RowLayout {
        Layout.fillWidth: true
        Accessible.role: Accessible.StaticText
        Accessible.name: "7 day signal: " + viewModel.weekScore + "%"
        Text {
            Accessible.ignored: true
            Layout.alignment: Qt.AlignVCenter
            text: "7 day signal"
            font.pixelSize: 13
            color: theme.primaryText
        }
        Item { Layout.fillWidth: true }
        Text {
            objectName: "weekScore"
            Accessible.ignored: true
            Layout.alignment: Qt.AlignVCenter
            text: viewModel.weekScore + "%"
            font.pixelSize: 14
            font.weight: Font.Bold
            color: theme.primaryText
        }
    }
    RowLayout {
        objectName: "strip"
        Layout.fillWidth: true
        spacing: 4
        Repeater {
            model: viewModel.strip
            Rectangle {
                required property var modelData
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                implicitHeight: 14
                radius: 3
                color: modelData.color
                opacity: modelData.opacity
            }
        }
    }
}
