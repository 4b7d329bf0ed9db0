import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A labelled switch: the label at the left, the switch at the right edge.
RowLayout {
    id: row

    property string text
    property bool checked
    signal toggled(bool checked)

    objectName: text
    Layout.fillWidth: true

    Text {
        Layout.fillWidth: true
        text: row.text
        font.pixelSize: 13
        color: theme.primaryText
        elide: Text.ElideRight
        // The switch carries it as its name.
        Accessible.ignored: true
        TapHandler { onTapped: row.toggled(!row.checked) }
    }
    Switch {
        id: control
        objectName: "switch"
        checked: row.checked
        // The setting decides; the switch only shows it. Its checked state
        // changes before toggled() is heard, so the click is passed on first
        // and only then is the switch bound to the setting again.
        onToggled: {
            row.toggled(checked)
            checked = Qt.binding(() => row.checked)
        }
        padding: 0
        // No label of its own: without this the indicator stops short of the
        // right edge by the space kept for one.
        spacing: 0
        Accessible.name: row.text
        Keys.onReturnPressed: toggleByKey()
        Keys.onEnterPressed: toggleByKey()
        function toggleByKey() {
            toggle()
            toggled()
        }
        indicator: Rectangle {
            implicitWidth: 34
            implicitHeight: 20
            x: control.leftPadding
            y: parent.height / 2 - height / 2
            radius: height / 2
            color: control.checked ? theme.accentBlue : theme.trackBackground
            border.color: control.checked ? theme.accentBlue : theme.cardStroke
            Rectangle {
                x: control.checked ? parent.width - width - 2 : 2
                y: 2
                width: 16
                height: 16
                radius: 8
                color: "white"
                border.color: theme.cardStroke
                Behavior on x {
                    enabled: viewModel.animationsEnabled
                    NumberAnimation { duration: 120 }
                }
            }
            FocusRing { control: control; margin: 3; radius: height / 2 + 3 }
        }
    }
}
