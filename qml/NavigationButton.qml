import QtQuick 2.15
import QtQuick.Controls 2.15

// One of the two view buttons of the navigation bar: checkable, grey while checked, black with a
// border on hover otherwise.
Button {
    id: button

    readonly property color checkedColor: "#858585"
    readonly property color plainColor: "black"
    readonly property color hoverBorderColor: "#464646"
    readonly property int fontSize: 24

    height: parent.height
    checkable: true
    hoverEnabled: true

    contentItem: Text {
        text: button.text
        color: "white"
        font.pixelSize: button.fontSize
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        color: button.checked ? button.checkedColor : button.plainColor
        border.color: button.hovered && !button.checked ? button.hoverBorderColor : "transparent"
    }
}
