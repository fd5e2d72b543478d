import QtQuick 2.15

// A gain step button of a channel strip: one step at the press and, once the press has lasted
// longPressMs, one more every repeatMs until the pointer is released or leaves the button. The
// strip gives it its picture, colours and timings; its timers are found by their names,
// stepName + "Longpress" and stepName + "Repeat".
Rectangle {
    id: button

    property string stepName: ""
    property url arrow
    property url pressedArrow
    property color topColor
    property color bottomColor
    property color pressedTopColor
    property color pressedBottomColor
    property int longPressMs
    property int repeatMs

    signal stepped()

    function stopRepeating() {
        longPress.stop()
        repeatTimer.stop()
    }

    gradient: Gradient {
        GradientStop {
            position: 0
            color: area.containsPress ? button.pressedTopColor : button.topColor
        }
        GradientStop {
            position: 1
            color: area.containsPress ? button.pressedBottomColor : button.bottomColor
        }
    }

    Image {
        anchors.centerIn: parent
        source: area.containsPress ? button.pressedArrow : button.arrow
    }

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

    MouseArea {
        id: area
        anchors.fill: parent
        onPressed: {
            button.stepped()
            longPress.start()
        }
        onReleased: button.stopRepeating()
        onExited: button.stopRepeating()
        onCanceled: button.stopRepeating()
    }
}
