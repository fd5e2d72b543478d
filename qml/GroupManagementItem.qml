import QtQuick 2.15
import QtQuick.Controls 2.15

// One row of the gain-group list: enable tick and group name. The name is fixed when the group
// is created, so the field only shows it.
Rectangle {
    id: item

    property string name: ""
    property bool activeEnable: false

    readonly property int enableWidth: 30
    readonly property int fontSize: 13
    readonly property int fieldPadding: 4
    readonly property color rowColor: "#858585"
    readonly property color borderColor: "#161616"
    readonly property color focusColor: "#a6a6a6"
    readonly property color selectionColor: "#26c9ff"
    readonly property color textColor: "white"

    width: 276
    height: 30
    color: rowColor
    border.color: borderColor

    Row {
        anchors.fill: parent

        TickBox {
            objectName: "enableBox"
            width: item.enableWidth
            height: item.height
            checked: item.activeEnable
            onToggled: item.activeEnable = !item.activeEnable
        }

        TextField {
            id: nameField
            objectName: "nameField"
            width: item.width - item.enableWidth
            height: item.height
            padding: item.fieldPadding
            font.pixelSize: item.fontSize
            color: item.textColor
            selectionColor: item.selectionColor
            verticalAlignment: TextInput.AlignVCenter
            readOnly: true
            text: item.name

            background: Rectangle {
                color: nameField.activeFocus ? item.focusColor : item.rowColor
                border.color: item.borderColor
            }
        }
    }
}
