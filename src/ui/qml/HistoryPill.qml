import QtQuick
import QtQuick.Layouts

Card {
    id: pill

    property string title
    property string value

    objectName: title
    Layout.fillWidth: true
    Layout.preferredWidth: 1
    padding: 12
    spacing: 4
    radius: 8
    Accessible.role: Accessible.StaticText
    Accessible.name: pill.title + ": " + pill.value

    Text {
        text: pill.title
        Accessible.ignored: true
        font.pixelSize: 10
        color: theme.secondaryText
    }
    Text {
        objectName: "value"
        text: pill.value
        Accessible.ignored: true
        font.pixelSize: 20
        font.weight: Font.DemiBold
        color: theme.primaryText
    }
}
