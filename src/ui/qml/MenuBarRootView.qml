import QtQuick

// The panel's root. Holds the header and the actions until the full monitor
// and calibration views take its place.
Rectangle {
    id: root
    width: 308
    height: 330
    color: Qt.rgba(0.965, 0.952, 0.925, 1)

    Column {
        anchors.fill: parent
        anchors.margins: 14
        spacing: 10

        Text {
            text: "Backbeacon"
            font.pixelSize: 15
            font.weight: Font.DemiBold
            color: Qt.rgba(0.13, 0.16, 0.18, 1)
        }

        Text {
            text: monitor.connected ? Math.round(monitor.combinedDriftDegrees) + "°" : "–"
            font.pixelSize: 28
            color: Qt.rgba(0.27, 0.53, 0.60, 1)
        }

        Repeater {
            model: [
                { label: "Settings...", run: function() { app.openSettingsWindow() } },
                { label: "Quit Backbeacon", run: function() { app.quit() } }
            ]
            delegate: Rectangle {
                required property var modelData
                width: root.width - 28
                height: 30
                radius: 6
                color: hover.hovered ? Qt.rgba(0, 0, 0, 0.045) : "transparent"
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    x: 8
                    text: modelData.label
                    font.pixelSize: 13
                    color: Qt.rgba(0.13, 0.16, 0.18, 1)
                }
                HoverHandler { id: hover }
                TapHandler { onTapped: modelData.run() }
            }
        }
    }
}
