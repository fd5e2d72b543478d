import QtQuick 2.15
import QtQuick.Controls 2.15

// A titled list with "+" and "-" buttons, and optionally one more button before them (the unit
// pane's "Find units"). The Setup view uses it twice, for the units and for the gain groups. The
// pane only reports the buttons: the lists follow different rules for adding and removing rows,
// so the owner of the model decides what a press does.
Rectangle {
    id: pane

    // The row delegate and the header drawn over the top of the list.
    property Component managementItem
    property Component header
    property ListModel managementModel
    property string title: ""
    // The label of the button before "+" and "-"; without one there is no such button.
    property string toolLabel: ""
    readonly property alias managementView: list

    signal addElement()
    signal subtractElement()
    signal toolPressed()

    readonly property int titleHeight: 34
    readonly property int buttonWidth: 34
    readonly property int toolWidth: 80
    readonly property int listMargin: 12
    readonly property int titleMargin: 8
    readonly property int titleFontSize: 19
    readonly property int addFontSize: 20
    readonly property int subtractFontSize: 30
    readonly property color highlightColor: "#44ffffff"

    function setIP(idx, addr) {
        if (hasRow(idx))
            managementModel.setProperty(idx, "ipAddr", addr)
    }

    function getIP(idx) {
        return hasRow(idx) ? managementModel.get(idx).ipAddr : ""
    }

    function isEnabled(idx) {
        return hasRow(idx) ? managementModel.get(idx).activeEnable : false
    }

    function count() {
        return managementModel ? managementModel.count : 0
    }

    function hasRow(idx) {
        return idx >= 0 && idx < count()
    }

    width: 350
    height: 460
    color: Theme.frameColor

    Rectangle {
        id: titleBar
        anchors.left: parent.left
        anchors.right: buttonBox.left
        height: pane.titleHeight
        color: Theme.panelColor

        Text {
            anchors.left: parent.left
            anchors.leftMargin: pane.titleMargin
            anchors.verticalCenter: parent.verticalCenter
            text: pane.title
            color: Theme.textColor
            font.family: Theme.fontFamily
            font.bold: true
            font.pixelSize: pane.titleFontSize
        }
    }

    Rectangle {
        id: buttonBox
        anchors.right: parent.right
        width: 2 * pane.buttonWidth + (pane.toolLabel !== "" ? pane.toolWidth : 0)
        height: pane.titleHeight
        color: Theme.panelColor

        Row {
            anchors.fill: parent

            Repeater {
                model: (pane.toolLabel !== "" ? [
                    { label: pane.toolLabel, fontSize: Theme.fontSize, bold: false,
                      name: "toolButton", pressed: "toolPressed", width: pane.toolWidth }
                ] : []).concat([
                    { label: "+", fontSize: pane.addFontSize, bold: true, name: "addButton",
                      pressed: "addElement", width: pane.buttonWidth },
                    { label: "-", fontSize: pane.subtractFontSize, bold: true,
                      name: "subtractButton", pressed: "subtractElement",
                      width: pane.buttonWidth }
                ])

                PanelButton {
                    objectName: modelData.name
                    width: modelData.width
                    height: pane.titleHeight
                    text: modelData.label
                    font.family: Theme.fontFamily
                    font.bold: modelData.bold
                    font.pixelSize: modelData.fontSize
                    onClicked: pane[modelData.pressed]()
                }
            }
        }
    }

    ListView {
        id: list
        anchors.top: titleBar.bottom
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: pane.listMargin
        clip: true
        spacing: 0
        snapMode: ListView.SnapOneItem
        model: pane.managementModel
        delegate: pane.managementItem
        header: pane.header
        headerPositioning: ListView.OverlayHeader
        currentIndex: -1
        highlightMoveDuration: 0
        // Rows are opaque, so the highlight lies over them rather than under them.
        highlight: Rectangle {
            z: 2
            color: pane.highlightColor
        }
    }

    // Selects the row under the pointer and lets the press through to the row's controls.
    MouseArea {
        anchors.fill: list
        z: 1
        propagateComposedEvents: true
        onPressed: {
            var headerHeight = list.headerItem ? list.headerItem.height : 0
            if (mouse.y >= headerHeight) {
                var row = list.indexAt(mouse.x + list.contentX, mouse.y + list.contentY)
                if (row >= 0)
                    list.currentIndex = row
            }
            mouse.accepted = false
        }
    }
}
