import QtQuick
import QtQuick.Layouts

// A hairline across the full width.
Rectangle {
    Layout.fillWidth: true
    implicitHeight: 1
    color: theme.divider
}
