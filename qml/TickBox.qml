import QtQuick 2.15
import QtQuick.Controls 2.15

// The tick box of a setup list row: a light square with a dark frame that shows the check mark
// while ticked.
CheckBox {
    id: box

    readonly property int boxSize: 18
    readonly property color boxColor: "#a6a6a6"

    padding: 0

    indicator: Rectangle {
        x: (box.width - width) / 2
        y: (box.height - height) / 2
        width: box.boxSize
        height: box.boxSize
        color: box.boxColor
        border.color: Theme.rowBorderColor

        Image {
            objectName: "checkMark"
            anchors.centerIn: parent
            source: "Images/check.png"
            visible: box.checked
        }
    }
}
