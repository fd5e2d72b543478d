import QtQuick 2.15

// The two arrows beside the unit view that page through the units. A press acts at once; the
// window decides what a page further means.
Rectangle {
    id: arrows

    property int numPages: 0
    property int currentPage: 0

    signal pageUp()
    signal pageDn()

    readonly property int buttonSize: 30

    width: buttonSize
    height: 3 * buttonSize
    color: Theme.panelColor

    PanelButton {
        id: upButton
        objectName: "pageUpButton"
        width: arrows.buttonSize
        height: arrows.buttonSize
        text: "\u0394"
        contentItem: Image {
            fillMode: Image.Pad
            source: upButton.pressed ? "Images/upArrowClicked.png" : "Images/upArrow.png"
        }
        onPressed: arrows.pageUp()
    }

    PanelButton {
        id: downButton
        objectName: "pageDownButton"
        anchors.bottom: parent.bottom
        width: arrows.buttonSize
        height: arrows.buttonSize
        text: "\u2207"
        pressedBottom: Theme.downArrowPressedBottom
        contentItem: Image {
            fillMode: Image.Pad
            source: downButton.pressed ? "Images/downArrowClicked.png" : "Images/downArrow.png"
        }
        onPressed: arrows.pageDn()
    }
}
