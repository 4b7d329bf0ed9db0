import QtQuick
import QtQuick.Layouts

ColumnLayout {
    id: card

    property bool isComplete

    spacing: 10

    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        Item {
            Layout.alignment: Qt.AlignTop
            implicitWidth: 24
            implicitHeight: 24
            Symbol {
                anchors.centerIn: parent
                name: "figure.stand"
                size: 22
                color: theme.goodGreen
            }
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignTop
            Layout.fillWidth: true
            spacing: 2
            Text {
                Accessible.role: Accessible.Heading
                Accessible.name: text
                text: "Set baseline"
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: theme.primaryText
            }
            Text {
                Layout.fillWidth: true
                text: "Hold a relaxed, neutral head position, then save the reference."
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                font.pixelSize: 11
                color: theme.secondaryText
                wrapMode: Text.WordWrap
            }
        }
        Symbol {
            objectName: "checkmark"
            Layout.alignment: Qt.AlignTop
            visible: card.isComplete
            name: "checkmark.circle.fill"
            size: 14
            color: theme.goodGreen
        }
    }
    Rectangle {
        id: saveButton
        objectName: "saveBaseline"
        implicitWidth: label.implicitWidth + 24
        implicitHeight: label.implicitHeight + 18
        radius: 8
        color: theme.accentBlue

        activeFocusOnTab: true
        Keys.onReturnPressed: viewModel.captureBaseline()
        Keys.onEnterPressed: viewModel.captureBaseline()
        Keys.onSpacePressed: viewModel.captureBaseline()
        Accessible.role: Accessible.Button
        Accessible.name: viewModel.captureCaption
        Accessible.focusable: true
        Accessible.onPressAction: viewModel.captureBaseline()

        RowLayout {
            id: label
            anchors.centerIn: parent
            spacing: 6
            Symbol {
                Layout.alignment: Qt.AlignVCenter
                name: "scope"
                size: 12
                color: "white"
            }
            Text {
                objectName: "caption"
                Layout.alignment: Qt.AlignVCenter
                text: viewModel.captureCaption
                font.pixelSize: 12
                font.weight: Font.DemiBold
                color: "white"
                Accessible.ignored: true
            }
        }
        // Not disabled while capturing: another press starts another capture.
        MouseArea {
            anchors.fill: parent
            onClicked: viewModel.captureBaseline()
        }
        // Off the accent fill, so it shows.
        FocusRing { margin: 3; radius: 10 }
    }
}
