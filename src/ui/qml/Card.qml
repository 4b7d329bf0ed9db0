import QtQuick
import QtQuick.Layouts

// The card style: the content padded on all edges over a rounded, stroked card.
Rectangle {
    id: card

    property int padding: 8
    property int spacing: 8
    default property alias content: box.data

    implicitHeight: box.implicitHeight + 2 * padding
    implicitWidth: box.implicitWidth + 2 * padding
    radius: 10
    color: theme.cardBackground
    border.color: theme.cardStroke
    border.width: 1

    ColumnLayout {
        id: box
        x: card.padding
        y: card.padding
        width: card.width - 2 * card.padding
        spacing: card.spacing
    }
}
