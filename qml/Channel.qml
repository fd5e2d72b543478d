import QtQuick 2.15
import com.Corvane.controller 1.0 as Controller
import QtQuick.Controls 2.15

// One channel strip of a unit page: name, gain, meter, switches, gain group and scribble strip.
//
// The strip never changes the channel itself. Every operator action leaves as one of the
// signals below, and what the strip shows comes back through its properties, which the page
// binds to the channel object: a clicked "48V" stays grey until the unit reports phantom power
// on. Only the edit fields keep what is typed while they have focus.
Item {
    id: strip

    property string channelID: "#"
    property string channelName: ""
    // Gain step as the channel reads it (a group's gain may run beyond 0 to 68).
    property int gainVal: 0
    property bool phantom: false
    property bool phase: false
    property bool ribbon: false
    property bool group: false
    property int groupName: 0
    property int meterLevel: 0
    property string scribbleStrip: ""
    property bool over: false
    property var groupModel: null
    property int peakMode: Controller.Octo.PeakDecay
    readonly property alias meter: stripMeter
    // The gain as the operator reads it: -6 for step 0, otherwise the step plus one.
    readonly property int gainDisp: Controller.Octo.gainShown(gainVal)

    signal phantomClicked()
    signal phaseClicked()
    signal ribbonClicked()
    // The operator asks for the channel to join (true) or leave (false) its group.
    signal groupClicked(bool value)
    // The operator picked the group at this position in groupModel.
    signal groupSelected(int value)
    signal gainUpClicked()
    signal gainDownClicked()
    signal gainEntered(int value)
    signal overCleared()
    signal channelNameEntered(string name)
    signal scribbleEntered(string scribble)

    readonly property int maxNameLength: 11
    // The strip has room for two lines of notes.
    readonly property int maxScribbleLines: 2
    readonly property int longPressMs: 500
    readonly property int repeatMs: 250

    readonly property int namePanelHeight: 74
    readonly property int gainPanelHeight: 153
    readonly property int meterPanelWidth: 46
    readonly property int switchRowHeight: 44
    readonly property int groupRowHeight: 43
    readonly property int stepButtonHeight: 40
    readonly property int groupButtonWidth: 55
    readonly property int groupControlHeight: 33
    readonly property int selectorEntryHeight: 42

    readonly property int numberFontSize: 30
    readonly property int nameFontSize: 15
    readonly property int gainLabelFontSize: 20
    readonly property int gainFontSize: 28
    readonly property int buttonFontSize: 16
    readonly property int scribbleFontSize: 14

    // The switches' and the group button's colours while on.
    readonly property color phantomTop: "#8c2300"
    readonly property color phantomBottom: "#d93600"
    readonly property color phaseTop: "#8c6900"
    readonly property color phaseBottom: "#d9a300"
    readonly property color ribbonTop: "#00468c"
    readonly property color ribbonBottom: "#006dd9"
    readonly property color groupTop: "#238c01"
    readonly property color groupBottom: "#2db201"

    // The edit fields show the channel's values except while the operator types in them.
    function showChannelValues() {
        if (!nameField.activeFocus)
            nameField.text = channelName
        if (!gainField.activeFocus)
            gainField.text = gainDisp
        if (!scribbleField.activeFocus)
            scribbleField.text = scribbleStrip
    }

    // A field sends only what the operator changed: on finishing, its text is compared with what
    // it showed when it got the focus (its shownText), not with the channel's value then, which a
    // report may have changed meanwhile. The name and gain fields select all on focus.
    function fieldFocusChanged(field) {
        if (field.activeFocus) {
            field.shownText = field.text
            if (field !== scribbleField)
                field.selectAll()
        } else {
            // What was typed is read by the edit-finished handler, which may run after the focus
            // has gone: put the channel's value back only afterwards.
            Qt.callLater(showChannelValues)
        }
    }

    width: 165
    height: 400

    onChannelNameChanged: showChannelValues()
    onGainDispChanged: showChannelValues()
    onScribbleStripChanged: showChannelValues()
    Component.onCompleted: showChannelValues()

    Rectangle {
        id: stripBackground
        anchors.fill: parent
        color: Theme.frameColor
    }

    BoxShadow {
        box: stripBackground
    }

    Rectangle {
        id: namePanel
        x: Theme.margin
        y: Theme.margin
        width: meterPanel.x - Theme.margin - x
        height: strip.namePanelHeight
        color: Theme.panelColor

        Text {
            objectName: "channelLabel"
            anchors.horizontalCenter: parent.horizontalCenter
            y: Theme.margin / 2
            text: strip.channelID
            color: Theme.textColor
            font.family: Theme.fontFamily
            font.bold: true
            font.pixelSize: strip.numberFontSize
        }

        StripField {
            id: nameField
            objectName: "nameField"
            x: Theme.margin
            width: parent.width - 2 * Theme.margin
            anchors.bottom: parent.bottom
            anchors.bottomMargin: Theme.margin
            padding: 2
            maximumLength: strip.maxNameLength
            validator: RegularExpressionValidator { regularExpression: /[A-Za-z0-9_-]*/ }
            font.pixelSize: strip.nameFontSize
            onActiveFocusChanged: strip.fieldFocusChanged(nameField)
            // Return commits and then drops the focus, which finishes the edit a second time.
            onEditingFinished: {
                if (committing)
                    return
                committing = true
                console.log("Editing Finished")
                focus = false
                if (text !== shownText)
                    strip.channelNameEntered(text)
                committing = false
            }
        }
    }

    Rectangle {
        id: gainPanel
        x: Theme.margin
        y: namePanel.y + namePanel.height + Theme.margin
        width: namePanel.width
        height: strip.gainPanelHeight
        color: Theme.panelColor

        Text {
            id: gainLabel
            x: Theme.margin
            anchors.verticalCenter: gainField.verticalCenter
            text: "Gain"
            color: Theme.textColor
            font.family: Theme.fontFamily
            font.pixelSize: strip.gainLabelFontSize
        }

        StripField {
            id: gainField
            objectName: "gainField"
            anchors.left: gainLabel.right
            anchors.leftMargin: Theme.margin
            anchors.right: parent.right
            anchors.rightMargin: Theme.margin
            y: Theme.margin
            padding: 0
            validator: IntValidator {
                bottom: Controller.Octo.lowestGainShown
                top: Controller.Octo.highestGainShown
            }
            font.pixelSize: strip.gainFontSize
            onActiveFocusChanged: strip.fieldFocusChanged(gainField)
            // A number is compared, not its spelling: "069" is what "69" showed. A group's gain
            // beyond the range shows as the end value, which is sent only when typed.
            onEditingFinished: {
                if (committing)
                    return
                committing = true
                var typed = parseInt(text, 10)
                if (typed !== parseInt(shownText, 10))
                    strip.gainEntered(Controller.Octo.gainStep(typed))
                focus = false
                committing = false
            }
        }

        StepButton {
            objectName: "gainUpButton"
            stepName: "gainUp"
            x: Theme.margin
            width: parent.width - 2 * Theme.margin
            height: strip.stepButtonHeight
            anchors.bottom: gainDownButton.top
            anchors.bottomMargin: Theme.margin
            arrow: "Images/upArrow.png"
            pressedArrow: "Images/upArrowClicked.png"
            longPressMs: strip.longPressMs
            repeatMs: strip.repeatMs
            onStepped: strip.gainUpClicked()
        }

        StepButton {
            id: gainDownButton
            objectName: "gainDownButton"
            stepName: "gainDown"
            x: Theme.margin
            width: parent.width - 2 * Theme.margin
            height: strip.stepButtonHeight
            anchors.bottom: parent.bottom
            anchors.bottomMargin: Theme.margin
            arrow: "Images/downArrow.png"
            pressedArrow: "Images/downArrowClicked.png"
            pressedBottom: Theme.downArrowPressedBottom
            longPressMs: strip.longPressMs
            repeatMs: strip.repeatMs
            onStepped: strip.gainDownClicked()
        }
    }

    Rectangle {
        id: meterPanel
        x: strip.width - Theme.margin - width
        y: Theme.margin
        width: strip.meterPanelWidth
        height: gainPanel.y + gainPanel.height - y
        color: Theme.panelColor

        Meter {
            id: stripMeter
            objectName: "meter"
            anchors.fill: parent
            currentValue: strip.meterLevel
            over: strip.over
            peakMode: strip.peakMode
            onCleared: strip.overCleared()
        }
    }

    Rectangle {
        id: switchRow
        x: Theme.margin
        y: gainPanel.y + gainPanel.height + Theme.margin
        width: strip.width - 2 * Theme.margin
        height: strip.switchRowHeight
        color: Theme.panelColor

        Row {
            anchors.fill: parent
            anchors.margins: Theme.margin
            spacing: Theme.margin

            // The colours follow the channel's value, never the click.
            Repeater {
                model: [
                    { label: "48V", value: "phantom", top: strip.phantomTop,
                      bottom: strip.phantomBottom },
                    { label: "\u00d8", value: "phase", top: strip.phaseTop,
                      bottom: strip.phaseBottom },
                    { label: "RBN", value: "ribbon", top: strip.ribbonTop,
                      bottom: strip.ribbonBottom }
                ]

                PanelButton {
                    objectName: modelData.value + "Button"
                    width: (parent.width - 2 * parent.spacing) / 3
                    height: parent.height
                    text: modelData.label
                    font.family: Theme.fontFamily
                    font.pixelSize: strip.buttonFontSize
                    lit: strip[modelData.value]
                    litTop: modelData.top
                    litBottom: modelData.bottom
                    onClicked: strip[modelData.value + "Clicked"]()
                }
            }
        }
    }

    Rectangle {
        id: groupRow
        x: Theme.margin
        y: switchRow.y + switchRow.height + Theme.margin
        width: strip.width - 2 * Theme.margin
        height: strip.groupRowHeight
        color: Theme.panelColor

        // The button always shows the channel's value: a click asks for the other state, and
        // the button lights only if the channel takes it (at once, unless the unit is offline).
        // Its lit state is not the button's checked state, which a click would flip on its own
        // (and setting it makes the button checkable).
        // The button always shows the channel's value: a click asks for the other state, and
        // the button lights only if the channel takes it (at once, unless the unit is offline).
        PanelButton {
            id: groupButton
            objectName: "groupButton"
            x: (parent.height - height) / 2
            anchors.verticalCenter: parent.verticalCenter
            width: strip.groupButtonWidth
            height: strip.groupControlHeight
            text: "group"
            font.family: Theme.fontFamily
            font.pixelSize: strip.buttonFontSize
            lit: strip.group
            litTop: strip.groupTop
            litBottom: strip.groupBottom
            // The line names the state the click asks to leave.
            onClicked: {
                console.log("checked changed.  group = " + strip.group)
                strip.groupClicked(!strip.group)
            }
        }

        // Picking an entry asks for it; the selector then shows the channel's group again,
        // which is the picked one unless the channel refused it.
        DropDown {
            objectName: "groupSelector"
            anchors.left: groupButton.right
            anchors.leftMargin: groupButton.x
            anchors.right: parent.right
            anchors.rightMargin: groupButton.x
            anchors.verticalCenter: parent.verticalCenter
            height: strip.groupControlHeight
            model: strip.groupModel
            textRole: "name"
            shownIndex: strip.groupName
            entryHeight: strip.selectorEntryHeight
            font.family: Theme.fontFamily
            font.pixelSize: strip.buttonFontSize
            onPicked: {
                console.log(currentText, strip.groupModel.get(index).name)
                strip.groupSelected(index)
            }
        }
    }

    ScribbleField {
        id: scribbleField
        objectName: "scribbleField"
        x: Theme.margin
        y: groupRow.y + groupRow.height + Theme.margin
        width: strip.width - 2 * Theme.margin
        height: strip.height - Theme.margin - y
        padding: Theme.margin / 2
        maxLines: strip.maxScribbleLines
        font.pixelSize: strip.scribbleFontSize
        onActiveFocusChanged: strip.fieldFocusChanged(scribbleField)
        onEditingFinished: {
            focus = false
            if (text !== shownText)
                strip.scribbleEntered(text)
        }
    }
}
