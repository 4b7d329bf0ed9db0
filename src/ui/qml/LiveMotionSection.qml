import QtQuick
import QtQuick.Layouts

ColumnLayout {
    spacing: 12

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 5
        RowLayout {
            Accessible.role: Accessible.StaticText
            Accessible.name: "Posture drift: " + viewModel.driftText
            Text {
                Accessible.ignored: true
                Layout.alignment: Qt.AlignBaseline
                text: "Posture drift"
                font.pixelSize: 13
                color: theme.primaryText
            }
            Item { Layout.fillWidth: true }
            Text {
                objectName: "driftText"
                Accessible.ignored: true
                Layout.alignment: Qt.AlignBaseline
                text: viewModel.driftText
                font.pixelSize: 12
                color: theme.secondaryText
            }
        }
        GradientProgressBar {
            objectName: "driftBar"
            fraction: viewModel.driftGauge
            startColor: theme.accentBlue
            middleColor: theme.warningYellow
            endColor: theme.badOrange
        }
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 5
        RowLayout {
            Accessible.role: Accessible.StaticText
            Accessible.name: "Today's Score: " + viewModel.todayScore + "%"
            Text {
                Accessible.ignored: true
                Layout.alignment: Qt.AlignBaseline
                text: "Today's Score"
                font.pixelSize: 13
                color: theme.primaryText
            }
            Item { Layout.fillWidth: true }
            CountingText {
                objectName: "todayScore"
                Accessible.ignored: true
                Layout.alignment: Qt.AlignBaseline
                value: viewModel.todayScore
                suffix: "%"
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: theme.accentBlue
            }
        }
        GradientProgressBar {
            objectName: "scoreBar"
            fraction: viewModel.todayScore / 100
            startColor: theme.accentBlue
        }
    }
}
