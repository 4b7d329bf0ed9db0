import QtQuick
import QtQuick.Layouts

ColumnLayout {
    spacing: 0

    Divider {}
    FooterRow {
        icon: "gearshape"
        title: "Settings"
        onTriggered: app.openSettingsWindow()
    }
    Divider {}
    FooterRow {
        icon: "power"
        title: "Quit Backbeacon"
        onTriggered: app.quit()
    }
}
