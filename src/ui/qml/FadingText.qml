import QtQuick

// Text that cross-fades when it changes: the old words fade out while the new
// ones fade in over them, instead of jumping.
Item {
    id: fading

    property string shown
    property int fadeDuration: theme.contentSpringDuration / 2
    // The words on show (during a fade, the ones fading in).
    readonly property alias text: current.text
    property alias font: current.font
    property alias color: current.color
    property alias elide: current.elide
    property alias maximumLineCount: current.maximumLineCount
    property alias fontSizeMode: current.fontSizeMode
    property alias minimumPixelSize: current.minimumPixelSize

    implicitWidth: current.implicitWidth
    implicitHeight: current.implicitHeight
    // Read as the words it settles on, never as a half-faded mix.
    Accessible.role: Accessible.StaticText
    Accessible.name: shown

    Text {
        id: current
        objectName: "current"
        width: parent.width
        Accessible.ignored: true
    }
    Text {
        id: previous
        objectName: "previous"
        width: parent.width
        opacity: 0
        visible: opacity > 0
        font: current.font
        color: current.color
        elide: current.elide
        maximumLineCount: current.maximumLineCount
        fontSizeMode: current.fontSizeMode
        minimumPixelSize: current.minimumPixelSize
        Accessible.ignored: true
    }
    ParallelAnimation {
        id: fade
        NumberAnimation { target: previous; property: "opacity"; to: 0; duration: fading.fadeDuration }
        NumberAnimation { target: current; property: "opacity"; to: 1; duration: fading.fadeDuration }
    }

    // The first words, given while the view is built, show at once.
    property bool built: false
    Component.onCompleted: {
        current.text = shown
        built = true
    }
    onShownChanged: {
        fade.stop()
        if (!built || !viewModel.animationsEnabled) {
            current.text = shown
            current.opacity = 1
            previous.opacity = 0
            return
        }
        // What shows now, however far its own fade got, fades out from there.
        previous.text = current.text
        previous.opacity = current.opacity
        current.text = shown
        current.opacity = 0
        fade.start()
    }
}
