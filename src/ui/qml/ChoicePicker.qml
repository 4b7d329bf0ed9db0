import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A pop-up list of choice labels; `choose` hears the index picked.
ComboBox {
    id: picker

    property int selectedIndex
    signal choose(int index)

    Layout.maximumWidth: 140
    Layout.preferredWidth: 140
    font.pixelSize: 13
    currentIndex: selectedIndex
    onActivated: index => {
        picker.choose(index)
        // Picking breaks the binding; the setting stays the one to follow.
        currentIndex = Qt.binding(() => picker.selectedIndex)
    }

    background: Rectangle {
        implicitWidth: 140
        implicitHeight: 28
        radius: 6
        color: picker.pressed || picker.popup.visible ? theme.cardBackground : "white"
        border.color: picker.visualFocus ? theme.accentBlue : theme.cardStroke
    }
    delegate: ItemDelegate {
        required property string modelData
        required property int index
        width: picker.width
        text: modelData
        font.pixelSize: 13
        highlighted: picker.highlightedIndex === index
    }
}
