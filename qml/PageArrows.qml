import QtQuick 2.15
import QtQuick.Controls 2.15

// The two arrows beside the unit view that page through the units. A press acts at once; the
// window decides what a page further means.
Rectangle {
    id: arrows

    property int numPages: 0
    property int currentPage: 0

    signal pageUp()
    signal pageDn()

    readonly property int buttonSize: 30
    readonly property color panelColor: "#333240"
    readonly property color buttonTop: "#69697C"
    readonly property color buttonBottom: "#424251"
    readonly property color pressedTop: "#3e3e46"
    readonly property color pressedBottom: "#1f1f24"
    readonly property color pressedDownBottom: "#1f1e24"

    width: buttonSize
    height: 3 * buttonSize
    color: panelColor

    Button {
        id: upButton
        objectName: "pageUpButton"
        width: arrows.buttonSize
        height: arrows.buttonSize
        padding: 0
        text: "\u0394"
        contentItem: Image {
            fillMode: Image.Pad
            source: upButton.pressed ? "Images/upArrowClicked.png" : "Images/upArrow.png"
        }
        background: Rectangle {
            gradient: Gradient {
                GradientStop {
                    position: 0
                    color: upButton.pressed ? arrows.pressedTop : arrows.buttonTop
                }
                GradientStop {
                    position: 1
                    color: upButton.pressed ? arrows.pressedBottom : arrows.buttonBottom
                }
            }
        }
        onPressed: arrows.pageUp()
    }

    Button {
        id: downButton
        objectName: "pageDownButton"
        anchors.bottom: parent.bottom
        width: arrows.buttonSize
        height: arrows.buttonSize
        padding: 0
        text: "\u2207"
        contentItem: Image {
            fillMode: Image.Pad
            source: downButton.pressed ? "Images/downArrowClicked.png" : "Images/downArrow.png"
        }
        background: Rectangle {
            gradient: Gradient {
                GradientStop {
                    position: 0
                    color: downButton.pressed ? arrows.pressedTop : arrows.buttonTop
                }
                GradientStop {
                    position: 1
                    color: downButton.pressed ? arrows.pressedDownBottom : arrows.buttonBottom
                }
            }
        }
        onPressed: arrows.pageDn()
    }
}
