import QtQuick 2.15
import QtQuick.Controls 2.15

// While running, a turning ring of dots in the centre of its parent that fades in and out, and
// an area over the whole parent that takes every press, hover and wheel, so nothing under it can
// be clicked.
Item {
    id: overlay

    property bool running: false

    readonly property int size: 64
    readonly property int dotCount: 6
    readonly property int dotSize: 10
    readonly property int turnMs: 1250
    readonly property int fadeMs: 250

    BusyIndicator {
        id: busyIndicator
        objectName: "busyIndicator"
        anchors.centerIn: parent
        width: overlay.size
        height: overlay.size
        running: overlay.running

        contentItem: Item {
            implicitWidth: overlay.size
            implicitHeight: overlay.size
            // The animator fades on the render thread and writes the opacity only when it has
            // finished, so the content is shown from the start of a fade in, not only after it.
            opacity: busyIndicator.running ? 1 : 0
            visible: busyIndicator.running || opacity > 0

            Behavior on opacity {
                OpacityAnimator { duration: overlay.fadeMs }
            }

            RotationAnimator on rotation {
                running: busyIndicator.running
                from: 0
                to: 360
                loops: Animation.Infinite
                duration: overlay.turnMs
            }

            Repeater {
                model: overlay.dotCount

                Rectangle {
                    readonly property real angle: 2 * Math.PI * index / overlay.dotCount
                    readonly property real radiusOfTurn: (overlay.size - overlay.dotSize) / 2

                    x: radiusOfTurn + radiusOfTurn * Math.cos(angle)
                    y: radiusOfTurn + radiusOfTurn * Math.sin(angle)
                    width: overlay.dotSize
                    height: overlay.dotSize
                    radius: width / 2
                    color: Theme.textColor
                }
            }
        }
    }

    MouseArea {
        anchors.fill: parent
        z: 10
        enabled: overlay.running
        visible: overlay.running
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: wheel.accepted = true
    }
}
