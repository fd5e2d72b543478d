import QtQuick 2.15
import QtQuick.Controls 2.15

// The interface's one gradient button: a grey vertical gradient, darker while held down, in the
// two colours of its function while lit (a channel's "48V" that is on), and dimmed while it
// cannot be pressed. The text is white, Theme.fontSize unless the font says otherwise; a button
// that shows a picture or lays out its own content replaces contentItem.
Button {
    id: button

    property bool lit: false
    property color litTop: Theme.buttonTop
    property color litBottom: Theme.buttonBottom
    // The down arrows end their pressed gradient a shade apart from the other buttons.
    property color pressedBottom: Theme.buttonPressedBottom
    // A frame around the gradient, none unless given.
    property color frameColor: "transparent"

    implicitWidth: 100
    implicitHeight: 30
    padding: 0
    opacity: enabled ? 1 : Theme.disabledOpacity
    font.pixelSize: Theme.fontSize

    contentItem: Text {
        text: button.text
        font: button.font
        color: Theme.textColor
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        border.color: button.frameColor
        gradient: Gradient {
            GradientStop {
                position: 0
                color: button.down ? Theme.buttonPressedTop
                                   : button.lit ? button.litTop : Theme.buttonTop
            }
            GradientStop {
                position: 1
                color: button.down ? button.pressedBottom
                                   : button.lit ? button.litBottom : Theme.buttonBottom
            }
        }
    }
}
