import QtQuick
import QtQuick.Layouts

ColumnLayout {
    spacing: 0

    ActionRow {
        icon: "square.and.arrow.down"
        title: "Save Insight Card"
        onTriggered: app.saveInsightCard()
    }
    Divider {}
    ActionRow {
        icon: "plus.circle"
        title: "Remap Baseline"
        onTriggered: viewModel.resetCalibration()
    }
    Divider {}
    ActionRow {
        icon: "gearshape"
        title: "Settings..."
        onTriggered: app.openSettingsWindow()
    }
    Divider {}
    ActionRow {
        icon: "power"
        title: "Quit Backbeacon"
        onTriggered: app.quit()
    }
}
