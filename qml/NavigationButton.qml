import QtQuick 2.15
import QtQuick.Controls 2.15

// One of the two view buttons of the navigation bar: checkable, lit while checked, black with a
// frame on hover otherwise.
Button {
    id: button

    readonly property color plainColor: "black"
    readonly property int fontSize: 24

    height: parent.height
    checkable: true
    hoverEnabled: true

    contentItem: Text {
        text: button.text
        color: Theme.textColor
        font.pixelSize: button.fontSize
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        color: button.checked ? Theme.barButtonLitColor : button.plainColor
        border.color: button.hovered && !button.checked ? Theme.barButtonHoverColor : "transparent"
    }
}
