import QtQuick 2.15
import QtQuick.Controls 2.15
import com.Corvane.controller 1.0

// One row of the unit list: tick for use, address, unit ID, unit name and activity lamp.
// The row only edits its own properties and reports a rename; the owner of the list writes
// them to the model and talks to the unit.
Rectangle {
    id: item

    property string ipAddr: Octo.unsetAddress
    property bool activeEnable: false
    property string name: ""
    property int preampID: 0
    property bool preampActive: false

    // A new unit name was entered (only possible while the unit answers).
    signal textChanged(var text)

    readonly property int enableWidth: 30
    readonly property int addressWidth: 113
    readonly property int idWidth: 27
    readonly property int lampWidth: 30
    readonly property int lampSize: 20
    readonly property int fontSize: 13
    readonly property int fieldPadding: 4
    readonly property color rowColor: "#858585"
    readonly property color borderColor: "#161616"
    readonly property color focusColor: "#a6a6a6"
    readonly property color selectionColor: "#26c9ff"
    readonly property color textColor: "white"
    readonly property color lampOnColor: "#00ff00"
    readonly property color lampOffColor: "#565656"

    width: 326
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
            onToggled: item.activeEnable = checked
        }

        TextField {
            objectName: "addressField"
            width: item.addressWidth
            height: item.height
            padding: item.fieldPadding
            font.pixelSize: item.fontSize
            color: item.textColor
            selectionColor: item.selectionColor
            verticalAlignment: TextInput.AlignVCenter
            inputMask: "000.000.000.000"
            text: item.ipAddr
            // Writing the property ends the list's binding of it, which the list restores when
            // it sees the change: so only a changed address is written. (Leaving the field
            // without a change finishes the edit too.)
            onEditingFinished: {
                console.log("Editing finished")
                if (text !== item.ipAddr)
                    item.ipAddr = text
            }

            background: Rectangle {
                color: parent.activeFocus ? item.focusColor : item.rowColor
                border.color: item.borderColor
            }
        }

        Text {
            objectName: "idLabel"
            width: item.idWidth
            height: item.height
            text: item.preampID
            color: item.textColor
            font.pixelSize: item.fontSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }

        TextField {
            id: nameField
            objectName: "nameField"
            width: item.width - item.enableWidth - item.addressWidth - item.idWidth - item.lampWidth
            height: item.height
            padding: item.fieldPadding
            font.pixelSize: item.fontSize
            color: item.textColor
            selectionColor: item.selectionColor
            verticalAlignment: TextInput.AlignVCenter
            // A unit can only be renamed while it answers.
            readOnly: !item.preampActive
            // The unit takes at most 11 letters, digits, "-" and "_" as its name.
            validator: RegularExpressionValidator { regularExpression: /([A-Za-z0-9-_]{0,11})/ }
            text: item.name
            // Selected after the press that gave the focus has placed the cursor.
            onActiveFocusChanged: {
                if (activeFocus && item.preampActive)
                    Qt.callLater(nameField.selectAll)
            }
            // Return drops the focus, and losing the focus finishes the edit once more; the
            // name is reported from that second, final finish only.
            onEditingFinished: {
                if (activeFocus) {
                    focus = false
                    if (!activeFocus)
                        return
                }
                item.textChanged(text)
            }

            background: Rectangle {
                color: nameField.activeFocus ? item.focusColor : item.rowColor
                border.color: item.borderColor
            }
        }

        Item {
            width: item.lampWidth
            height: item.height

            Rectangle {
                objectName: "lamp"
                anchors.centerIn: parent
                width: item.lampSize
                height: item.lampSize
                radius: width / 2
                color: item.preampActive ? item.lampOnColor : item.lampOffColor
            }
        }
    }
}
