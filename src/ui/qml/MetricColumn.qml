import QtQuick
import QtQuick.Layouts

ColumnLayout {
    id: column

    property string icon
    property color iconColor
    // A number counts to its new value; a text is shown as it is.
    property var value
    property string label

    spacing: 4
    // Read as one figure: "Drift events: 2".
    Accessible.role: Accessible.StaticText
    Accessible.name: column.label + ": " + (typeof column.value === "number" ? Math.round(column.value) : column.value)
    // Equal thirds, whatever the figures' widths.
    Layout.fillWidth: true
    Layout.minimumWidth: 0
    Layout.preferredWidth: 1
    Layout.maximumWidth: Number.POSITIVE_INFINITY

    RowLayout {
        Layout.alignment: Qt.AlignHCenter
        spacing: 5
        Symbol {
            Layout.alignment: Qt.AlignVCenter
            name: column.icon
            size: 10
            color: column.iconColor
        }
        CountingText {
            Layout.alignment: Qt.AlignVCenter
            visible: typeof column.value === "number"
            Accessible.ignored: true
            value: visible ? column.value : 0
            font.pixelSize: 15
            font.weight: Font.DemiBold
            color: theme.primaryText
        }
        Text {
            Layout.alignment: Qt.AlignVCenter
            visible: typeof column.value !== "number"
            Accessible.ignored: true
            text: visible ? column.value : ""
            font.pixelSize: 15
            font.weight: Font.DemiBold
            color: theme.primaryText
        }
    }
    Text {
        Layout.alignment: Qt.AlignHCenter
        text: column.label
        Accessible.ignored: true
        font.pixelSize: 10
        color: theme.secondaryText
    }
}
