import QtQuick 2.15
import QtQuick.Controls 2.15

// A text button in the setup view's style: a dark vertical gradient, darker while pressed, and
// dimmed while it cannot be pressed.
Button {
    id: button

    property string label: ""

    readonly property int fontSize: 13
    readonly property real disabledOpacity: 0.4
    readonly property color textColor: "white"
    readonly property color gradientTop: "#69697C"
    readonly property color gradientBottom: "#424251"
    readonly property color gradientPressedTop: "#3e3e46"
    readonly property color gradientPressedBottom: "#1f1f24"

    implicitWidth: 100
    implicitHeight: 30
    opacity: enabled ? 1 : disabledOpacity

    contentItem: Text {
        text: button.label
        color: button.textColor
        font.pixelSize: button.fontSize
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        gradient: Gradient {
            GradientStop {
                position: 0
                color: button.down ? button.gradientPressedTop : button.gradientTop
            }
            GradientStop {
                position: 1
                color: button.down ? button.gradientPressedBottom : button.gradientBottom
            }
        }
    }
}
