import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A pop-up list of choice labels; `choose` hears the index picked. `label`
// names it for screen readers (the row's text beside it).
ComboBox {
    id: picker

    property int selectedIndex
    property string label
    signal choose(int index)

    Layout.maximumWidth: 140
    Layout.preferredWidth: 140
    font.pixelSize: 13
    currentIndex: selectedIndex
    Accessible.name: label
    Accessible.description: displayText
    // Space opens the list as the style has it; Enter and Return too, on
    // their release as Space does (an open list takes them itself, to pick
    // the highlighted choice).
    property bool openingByKey: false
    Keys.onPressed: event => {
        const enter = event.key === Qt.Key_Return || event.key === Qt.Key_Enter
        openingByKey = enter && !popup.visible
        event.accepted = openingByKey
    }
    Keys.onReleased: event => {
        const enter = event.key === Qt.Key_Return || event.key === Qt.Key_Enter
        event.accepted = enter && openingByKey
        if (event.accepted) {
            openingByKey = false
            popup.open()
        }
    }
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
        border.color: theme.cardStroke
        FocusRing { control: picker; radius: 6 }
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
