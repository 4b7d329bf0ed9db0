import QtQuick
import QtQuick.Layouts

ColumnLayout {
    objectName: "monitorView"
    spacing: 10

    HeaderView { Layout.fillWidth: true }
    LiveMotionSection { Layout.fillWidth: true }
    MiniHistorySection { Layout.fillWidth: true }
    MetricSummary { Layout.fillWidth: true }
    ActionList { Layout.fillWidth: true }
}
