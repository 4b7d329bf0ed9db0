import QtQuick
import QtQuick.Layouts

// One column per day, oldest at the left, bars standing on a common floor.
RowLayout {
    id: bars

    property var days

    objectName: "historyBars"
    spacing: 6

    Repeater {
        model: bars.days
        ColumnLayout {
            required property var modelData
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            Layout.preferredWidth: 1
            Layout.alignment: Qt.AlignBottom
            spacing: 5
            Rectangle {
                Layout.fillWidth: true
                implicitHeight: modelData.height
                radius: 4
                color: modelData.color
                opacity: modelData.opacity
            }
            Text {
                Layout.alignment: Qt.AlignHCenter
                text: modelData.weekday
                // The day rows below read the days out in full.
                Accessible.ignored: true
                font.pixelSize: 10
                color: theme.tertiaryText
            }
        }
    }
}
