import QtQuick
import QtQuick.Layouts

// A titled card of the Settings window.
ColumnLayout {
    id: section

    property string title
    property int contentSpacing: 12
    default property alias content: card.content

    objectName: title
    spacing: 10

    Text {
        text: section.title.toUpperCase()
        Accessible.role: Accessible.Heading
        Accessible.name: section.title
        font.pixelSize: 11
        font.weight: Font.DemiBold
        color: theme.secondaryText
    }
    Card {
        id: card
        Layout.fillWidth: true
        padding: 16
        spacing: section.contentSpacing
    }
}
