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
}
