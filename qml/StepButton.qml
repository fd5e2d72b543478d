import QtQuick 2.15

// A gain step button of a channel strip: one step at the press and, once the press has lasted
// longPressMs, one more every repeatMs until the pointer is released or leaves the button. The
// strip gives it its pictures and timings; its timers are found by their names,
// stepName + "Longpress" and stepName + "Repeat".
PanelButton {
    id: button

    property string stepName: ""
    property url arrow
    property url pressedArrow
    property int longPressMs
    property int repeatMs

    signal stepped()

    function stopRepeating() {
        longPress.stop()
        repeatTimer.stop()
    }

    contentItem: Image {
        fillMode: Image.Pad
        source: button.pressed ? button.pressedArrow : button.arrow
    }

    onPressed: {
        stepped()
        longPress.start()
    }
    // Leaving the button while holding it releases it.
    onPressedChanged: {
        if (!pressed)
            stopRepeating()
    }
    onCanceled: stopRepeating()

    Timer {
        id: longPress
        objectName: button.stepName + "Longpress"
        interval: button.longPressMs
        onTriggered: repeatTimer.start()
    }
    Timer {
        id: repeatTimer
        objectName: button.stepName + "Repeat"
        interval: button.repeatMs
        repeat: true
        onTriggered: button.stepped()
    }
}
