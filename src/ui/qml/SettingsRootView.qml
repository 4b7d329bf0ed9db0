import QtQuick

// The Settings window's root, until the setting cards take its place.
Rectangle {
    width: 460
    height: 540
    color: Qt.rgba(0.965, 0.952, 0.925, 1)

    Text {
        x: 20
        y: 20
        text: "Backbeacon"
        font.pixelSize: 17
        font.weight: Font.DemiBold
        color: Qt.rgba(0.13, 0.16, 0.18, 1)
    }
}
