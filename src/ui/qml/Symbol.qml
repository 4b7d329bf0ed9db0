import QtQuick

// One of the project's own symbols, drawn in `color` at `size` pixels.
Image {
    id: symbol

    property string name
    property color color: theme.primaryText
    property int size: 13

    width: size
    height: size
    sourceSize: Qt.size(size, size)
    fillMode: Image.PreserveAspectFit
    // Beside a text that says it all.
    Accessible.ignored: true
    source: name ? "image://symbol/" + name + "?color=" + encodeURIComponent(color.toString()) : ""
}
