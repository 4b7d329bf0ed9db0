import QtQuick
import QtQuick.Layouts

RowLayout {
    spacing: 10

    Item {
        Layout.topMargin: 2
        Layout.alignment: Qt.AlignVCenter
        implicitWidth: 28
        implicitHeight: 28
        Symbol {
            anchors.centerIn: parent
            name: "airpodspro"
            size: 20
            color: theme.accentBlue
        }
    }
    ColumnLayout {
        Layout.topMargin: 2
        Layout.fillWidth: true
        Layout.alignment: Qt.AlignVCenter
        spacing: 2

        FadingText {
            objectName: "headline"
            Layout.fillWidth: true
            shown: viewModel.headline
            fadeDuration: theme.contentSpringDuration
            font.pixelSize: 18
            font.weight: Font.DemiBold
            color: theme.primaryText
            elide: Text.ElideRight
            maximumLineCount: 1
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: Math.floor(18 * 0.82)
        }
        Text {
            text: "Live motion signal"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            font.pixelSize: 12
            color: theme.secondaryText
        }
    }
}
