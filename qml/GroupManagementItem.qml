import QtQuick 2.15
import QtQuick.Controls 2.15

// One row of the gain-group list: enable tick and group name. The name is fixed when the group
// is created, so the field only shows it.
Rectangle {
    id: item

    property string name: ""
    property bool activeEnable: false

    readonly property int fieldPadding: 4

    width: 276
    height: Theme.rowHeight
    color: Theme.rowColor
    border.color: Theme.rowBorderColor

    Row {
        anchors.fill: parent

        TickBox {
            objectName: "enableBox"
            width: Theme.enableWidth
            height: item.height
            checked: item.activeEnable
            onToggled: item.activeEnable = !item.activeEnable
        }

        TextField {
            id: nameField
            objectName: "nameField"
            width: item.width - Theme.enableWidth
            height: item.height
            padding: item.fieldPadding
            font.pixelSize: Theme.fontSize
            color: Theme.textColor
            selectionColor: Theme.accentColor
            verticalAlignment: TextInput.AlignVCenter
            readOnly: true
            text: item.name

            background: Rectangle {
                color: nameField.activeFocus ? Theme.focusedRowColor : Theme.rowColor
                border.color: Theme.rowBorderColor
            }
        }
    }
}
