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

    // A new unit name was entered (only possible while the unit answers); leaving the name field
    // with the text it showed reports nothing.
    signal textChanged(var text)
    // The operator left the address field with a text other than the one it showed; the owner
    // of the list checks it and stores it or refuses it. The field shows ipAddr again either way.
    signal addressEdited(string text)

    readonly property int lampSize: 20
    readonly property int fieldPadding: 4
    readonly property color lampOffColor: "#565656"

    width: 376
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
            onToggled: item.activeEnable = checked
        }

        // Shows the address exactly as stored: a port or a host name included, no blanks of an
        // input mask, so leaving it unchanged can never write back less than it showed.
        TextField {
            id: addressField
            objectName: "addressField"
            // What the field showed when it got the focus: leaving with that text is no edit.
            property string shownText: ""

            function showStored() {
                if (!activeFocus)
                    text = Qt.binding(function() { return item.ipAddr })
            }

            width: Theme.addressWidth
            height: item.height
            padding: item.fieldPadding
            font.pixelSize: Theme.fontSize
            color: Theme.textColor
            selectionColor: Theme.accentColor
            verticalAlignment: TextInput.AlignVCenter
            text: item.ipAddr
            // After leaving, the field shows the stored address again, whatever was typed: the
            // edit-finished handler, which may run after the focus has gone, reads it first.
            onActiveFocusChanged: activeFocus ? shownText = text : Qt.callLater(showStored)
            Keys.onEscapePressed: {
                text = shownText
                focus = false
            }
            // Return drops the focus, and losing the focus finishes the edit once more; the
            // address is reported from that second, final finish only.
            onEditingFinished: {
                if (activeFocus) {
                    focus = false
                    if (!activeFocus)
                        return
                }
                console.log("Editing finished")
                if (text !== shownText)
                    item.addressEdited(text)
            }

            background: Rectangle {
                color: parent.activeFocus ? Theme.focusedRowColor : Theme.rowColor
                border.color: Theme.rowBorderColor
            }
        }

        Text {
            objectName: "idLabel"
            width: Theme.idWidth
            height: item.height
            text: item.preampID
            color: Theme.textColor
            font.pixelSize: Theme.fontSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }

        TextField {
            id: nameField
            objectName: "nameField"
            // What the field showed when it got the focus: leaving with that text renames nothing.
            property string shownText: ""

            width: item.width - Theme.enableWidth - Theme.addressWidth - Theme.idWidth
                   - Theme.lampWidth
            height: item.height
            padding: item.fieldPadding
            font.pixelSize: Theme.fontSize
            color: Theme.textColor
            selectionColor: Theme.accentColor
            verticalAlignment: TextInput.AlignVCenter
            // A unit can only be renamed while it answers.
            readOnly: !item.preampActive
            // The unit takes at most 11 letters, digits, "-" and "_" as its name.
            validator: RegularExpressionValidator { regularExpression: /([A-Za-z0-9-_]{0,11})/ }
            text: item.name
            // Selected after the press that gave the focus has placed the cursor.
            onActiveFocusChanged: {
                if (activeFocus)
                    shownText = text
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
                if (text !== shownText)
                    item.textChanged(text)
            }

            background: Rectangle {
                color: nameField.activeFocus ? Theme.focusedRowColor : Theme.rowColor
                border.color: Theme.rowBorderColor
            }
        }

        Item {
            width: Theme.lampWidth
            height: item.height

            Rectangle {
                objectName: "lamp"
                anchors.centerIn: parent
                width: item.lampSize
                height: item.lampSize
                radius: width / 2
                color: item.preampActive ? Theme.lampLitColor : item.lampOffColor
            }
        }
    }
}
