import QtQuick
import QtQuick.Layouts

Item {
    implicitHeight: row.implicitHeight + 16

    RowLayout {
        id: row
        objectName: "metrics"
        y: 8
        width: parent.width
        spacing: 0

        MetricColumn {
            icon: "arrow.down.right"
            iconColor: theme.badOrange
            value: viewModel.todaySlouches
            label: "Drift events"
        }
        Rectangle { implicitWidth: 1; implicitHeight: 38; color: theme.divider }
        MetricColumn {
            icon: "arrow.up.right"
            iconColor: theme.accentBlue
            value: viewModel.todayFixes
            label: "Resets"
        }
        Rectangle { implicitWidth: 1; implicitHeight: 38; color: theme.divider }
        MetricColumn {
            icon: "clock"
            iconColor: theme.primaryText
            value: viewModel.todayOutOfLine
            label: "Out of line"
        }
    }
    Rectangle { anchors.top: parent.top; width: parent.width; height: 1; color: theme.divider }
    Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: theme.divider }
}
