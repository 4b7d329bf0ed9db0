import QtQuick
import QtQuick.Layouts

// A capsule track with a filled share drawn in a left-to-right gradient.
Item {
    id: bar

    property real fraction
    property color startColor
    property color middleColor: startColor
    property color endColor: middleColor

    Layout.fillWidth: true
    implicitHeight: 4

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: theme.trackBackground
    }
    Rectangle {
        objectName: "fill"
        height: parent.height
        radius: height / 2
        width: parent.width * Math.max(0, Math.min(1, bar.fraction || 0))
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: bar.startColor }
            GradientStop { position: 0.5; color: bar.middleColor }
            GradientStop { position: 1; color: bar.endColor }
        }
        Behavior on width {
            enabled: viewModel.animationsEnabled
            NumberAnimation { duration: theme.barSpringDuration; easing: theme.barSpring }
        }
    }
}
