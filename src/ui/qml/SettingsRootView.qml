import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The Settings window: one scrolling column of cards. Every control writes its
// setting the moment it changes; there is nothing to apply.
Rectangle {
    id: root

    objectName: "settingsRoot"
    implicitWidth: 460
    implicitHeight: 540
    color: theme.appBackground

    // The Authorization row is made current whenever the window is shown.
    readonly property bool shown: Window.window ? Window.window.visible : false
    onShownChanged: if (shown) viewModel.refreshAuthorization()

    // A control reached with Tab is scrolled into view.
    Connections {
        target: root.Window.window
        function onActiveFocusItemChanged() {
            const item = root.Window.activeFocusItem
            if (!item || !app.keyboardInUse)
                return
            const flick = scroll.contentItem
            const top = item.mapToItem(flick.contentItem, 0, 0).y - 24
            const bottom = top + item.height + 48
            if (top < flick.contentY)
                flick.contentY = Math.max(0, top)
            else if (bottom > flick.contentY + flick.height)
                flick.contentY = Math.min(bottom - flick.height, Math.max(0, flick.contentHeight - flick.height))
        }
    }

    ScrollView {
        id: scroll
        objectName: "scroll"
        anchors.fill: parent
        contentWidth: availableWidth
        palette.window: theme.appBackground
        palette.windowText: theme.primaryText
        palette.base: theme.cardBackground
        palette.alternateBase: theme.appBackground
        palette.text: theme.primaryText
        palette.button: theme.cardBackground
        palette.buttonText: theme.primaryText
        palette.highlight: theme.accentBlue
        // A picker's current choice is drawn on palette.light (white).
        palette.highlightedText: theme.primaryText
        palette.light: "white"
        palette.midlight: Qt.rgba(0.90, 0.89, 0.87, 1)
        palette.mid: Qt.rgba(0.74, 0.74, 0.72, 1)
        palette.dark: Qt.rgba(0.45, 0.46, 0.46, 1)
        palette.shadow: Qt.rgba(0, 0, 0, 0.3)
        palette.toolTipBase: theme.cardBackground
        palette.toolTipText: theme.primaryText
        palette.placeholderText: theme.tertiaryText

        Item {
            width: scroll.availableWidth
            implicitHeight: cards.implicitHeight + 48

            ColumnLayout {
                id: cards
                x: 24
                y: 24
                width: parent.width - 48
                spacing: 24

                SettingsSection {
                    Layout.fillWidth: true
                    title: "Detection"

                    RowLayout {
                        Layout.fillWidth: true
                        Text { text: "Sensitivity"; font.pixelSize: 13; color: theme.primaryText; Accessible.ignored: true }
                        Item { Layout.fillWidth: true }
                        // The slider reads it out with its name.
                        Text {
                            objectName: "sensitivityText"
                            Accessible.ignored: true
                            text: viewModel.sensitivityText
                            font.pixelSize: 13
                            color: theme.secondaryText
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        Text { text: "5°"; font.pixelSize: 10; color: theme.secondaryText }
                        Slider {
                            id: sensitivity
                            objectName: "sensitivitySlider"
                            Layout.fillWidth: true
                            from: 5
                            to: 30
                            stepSize: 1
                            snapMode: Slider.SnapAlways
                            Accessible.name: "Sensitivity: " + viewModel.sensitivityText
                            value: settings.sensitivityDegrees
                            onMoved: settings.sensitivityDegrees = value
                            background: Rectangle {
                                x: sensitivity.leftPadding
                                y: sensitivity.topPadding + sensitivity.availableHeight / 2 - height / 2
                                width: sensitivity.availableWidth
                                height: 4
                                radius: 2
                                color: theme.trackBackground
                                Rectangle {
                                    width: sensitivity.visualPosition * parent.width
                                    height: parent.height
                                    radius: 2
                                    color: theme.accentBlue
                                }
                            }
                            handle: Rectangle {
                                x: sensitivity.leftPadding + sensitivity.visualPosition * (sensitivity.availableWidth - width)
                                y: sensitivity.topPadding + sensitivity.availableHeight / 2 - height / 2
                                implicitWidth: 18
                                implicitHeight: 18
                                radius: 9
                                color: sensitivity.pressed ? theme.cardBackground : "white"
                                border.color: theme.cardStroke
                                FocusRing { control: sensitivity; margin: 3; radius: 12 }
                            }
                        }
                        Text { text: "30°"; font.pixelSize: 10; color: theme.secondaryText }
                    }
                    Text {
                        objectName: "sensitivitySentence"
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                        Layout.fillWidth: true
                        text: viewModel.sensitivitySentence
                        font.pixelSize: 10
                        color: theme.secondaryText
                        wrapMode: Text.WordWrap
                    }
                    Divider {}
                    RowLayout {
                        Layout.fillWidth: true
                        Text { text: "Alert after"; font.pixelSize: 13; color: theme.primaryText; Accessible.ignored: true }
                        Item { Layout.fillWidth: true }
                        ChoicePicker {
                            objectName: "alertDelayPicker"
                            label: "Alert after"
                            model: viewModel.alertDelayLabels
                            selectedIndex: viewModel.alertDelayIndex
                            onChoose: index => viewModel.alertDelayIndex = index
                        }
                    }
                    Divider {}
                    RowLayout {
                        Layout.fillWidth: true
                        Text { text: "Head source"; font.pixelSize: 13; color: theme.primaryText; Accessible.ignored: true }
                        Item { Layout.fillWidth: true }
                        ChoicePicker {
                            objectName: "headSourcePicker"
                            label: "Head source"
                            Layout.maximumWidth: 220
                            Layout.preferredWidth: 220
                            model: viewModel.headSourceLabels
                            selectedIndex: viewModel.headSourceIndex
                            onChoose: index => viewModel.headSourceIndex = index
                        }
                    }
                    // What the camera tool does, or why it cannot.
                    Text {
                        objectName: "cameraStatus"
                        Accessible.role: Accessible.StaticText
                        Accessible.name: "Camera: " + text
                        Layout.fillWidth: true
                        visible: viewModel.headSourceIndex === 1
                        horizontalAlignment: Text.AlignRight
                        text: viewModel.cameraStatusText
                        font.pixelSize: 10
                        color: viewModel.cameraFault ? theme.badRed : theme.secondaryText
                        wrapMode: Text.WordWrap
                    }
                }

                SettingsSection {
                    Layout.fillWidth: true
                    title: "Notifications"

                    RowLayout {
                        Layout.fillWidth: true
                        Text { text: "Remind me at most every"; font.pixelSize: 13; color: theme.primaryText; Accessible.ignored: true }
                        Item { Layout.fillWidth: true }
                        ChoicePicker {
                            objectName: "cooldownPicker"
                            label: "Remind me at most every"
                            model: viewModel.cooldownLabels
                            selectedIndex: viewModel.cooldownIndex
                            onChoose: index => viewModel.cooldownIndex = index
                        }
                    }
                    SettingSwitch {
                        text: "Play sound with alerts"
                        checked: settings.soundEnabled
                        onToggled: on => settings.soundEnabled = on
                    }
                    // Who plays it: some notification servers play no sounds,
                    // and then the app does.
                    Text {
                        objectName: "soundPlayedBy"
                        Accessible.role: Accessible.StaticText
                        Accessible.name: "Sound: " + text
                        Layout.fillWidth: true
                        visible: text !== ""
                        horizontalAlignment: Text.AlignRight
                        text: viewModel.soundPlayedByText
                        font.pixelSize: 10
                        color: theme.secondaryText
                        wrapMode: Text.WordWrap
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        Accessible.role: Accessible.StaticText
                        Accessible.name: "Authorization: " + viewModel.authorizationText
                        Text { text: "Authorization"; font.pixelSize: 13; color: theme.primaryText; Accessible.ignored: true }
                        Item { Layout.fillWidth: true }
                        Text {
                            objectName: "authorization"
                            Accessible.ignored: true
                            text: viewModel.authorizationText
                            font.pixelSize: 13
                            color: viewModel.authorizationColor
                        }
                    }
                }

                SettingsSection {
                    Layout.fillWidth: true
                    title: "History"
                    contentSpacing: 14

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 10
                        HistoryPill { title: "7 day score"; value: viewModel.weekScore + "%" }
                        HistoryPill { title: "Drift events"; value: viewModel.weekSlouches }
                        HistoryPill { title: "Bad time"; value: viewModel.weekBadTime }
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        RowLayout {
                            Layout.fillWidth: true
                            Accessible.role: Accessible.StaticText
                            Accessible.name: "Last 14 days: " + viewModel.historyCount + " days"
                            Text { text: "Last 14 days"; font.pixelSize: 10; color: theme.secondaryText; Accessible.ignored: true }
                            Item { Layout.fillWidth: true }
                            Text {
                                objectName: "historyCount"
                                Accessible.ignored: true
                                text: viewModel.historyCount + " days"
                                font.pixelSize: 10
                                color: theme.tertiaryText
                            }
                        }
                        HistoryBars {
                            Layout.fillWidth: true
                            Layout.preferredHeight: 96
                            days: viewModel.historyBars
                        }
                    }
                    ColumnLayout {
                        objectName: "historyRows"
                        Layout.fillWidth: true
                        spacing: 0
                        Repeater {
                            model: viewModel.historyRows
                            ColumnLayout {
                                required property var modelData
                                required property int index
                                Layout.fillWidth: true
                                spacing: 0
                                HistoryDayRow { Layout.fillWidth: true; day: modelData }
                                // Between rows only: none under the oldest.
                                Divider { visible: index < viewModel.historyRows.length - 1 }
                            }
                        }
                    }
                }

                SettingsSection {
                    Layout.fillWidth: true
                    title: "General"
                    contentSpacing: 10

                    SettingSwitch {
                        text: "Start Backbeacon when you log in"
                        checked: settings.launchAtLogin
                        onToggled: on => settings.launchAtLogin = on
                    }
                    SettingSwitch {
                        text: "Auto start monitoring when AirPods connect"
                        checked: settings.autoStart
                        onToggled: on => settings.autoStart = on
                    }
                    SettingSwitch {
                        text: "Collect local diagnostics"
                        checked: settings.collectDiagnostics
                        onToggled: on => settings.collectDiagnostics = on
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        Layout.topMargin: 4
                        spacing: 8
                        PlainButton {
                            objectName: "Reset Calibration"
                            icon: "arrow.counterclockwise"
                            text: "Reset Calibration"
                            onTriggered: viewModel.resetCalibration()
                        }
                        PlainButton {
                            objectName: "Cancel Snooze"
                            visible: viewModel.snoozeLiesAhead
                            text: "Cancel Snooze"
                            onTriggered: viewModel.cancelSnooze()
                        }
                        Item { Layout.fillWidth: true }
                    }
                }

                SettingsSection {
                    Layout.fillWidth: true
                    visible: settings.collectDiagnostics
                    title: "Diagnostics"
                    contentSpacing: 6

                    Repeater {
                        model: ["Launches", "Calibrations", "Alerts sent", "Disconnects", "Unexpected quits"]
                        RowLayout {
                            required property string modelData
                            required property int index
                            Layout.fillWidth: true
                            Accessible.role: Accessible.StaticText
                            Accessible.name: modelData + ": " + viewModel.diagnosticCounts[index]
                            Text { text: modelData; font.pixelSize: 12; color: theme.secondaryText; Accessible.ignored: true }
                            Item { Layout.fillWidth: true }
                            Text {
                                Accessible.ignored: true
                                text: viewModel.diagnosticCounts[index]
                                font.pixelSize: 12
                                color: theme.primaryText
                            }
                        }
                    }
                }
            }
        }
    }
}
