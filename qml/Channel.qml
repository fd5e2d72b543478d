import QtQuick 2.15
import com.Corvane.controller 1.0 as Controller
import QtQuick.Controls 2.15
import QtGraphicalEffects 1.15

// One channel strip of a unit page: name, gain, meter, switches, gain group and scribble strip.
//
// The strip never changes the channel itself. Every operator action leaves as one of the
// signals below, and what the strip shows comes back through its properties, which the page
// binds to the channel object: a clicked "48V" stays grey until the unit reports phantom power
// on. Only the edit fields keep what is typed while they have focus.
Item {
    id: strip

    property var channelID: "#"
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
    property int peakMode: 1
    readonly property alias meter: stripMeter
    // The gain as the operator reads it: -6 for step 0, otherwise the step plus one.
    readonly property int gainDisp: displayOfStep(gainVal)

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

    readonly property int maxGainStep: Controller.Octo.maxGain
    readonly property int lowestGainDisplay: -6
    readonly property int highestGainDisplay: maxGainStep + 1
    readonly property int maxNameLength: 11
    readonly property int maxScribbleLines: 2
    readonly property int longPressMs: 500
    readonly property int repeatMs: 250

    readonly property int margin: 6
    readonly property int namePanelHeight: 74
    readonly property int gainPanelHeight: 153
    readonly property int meterPanelWidth: 46
    readonly property int switchRowHeight: 44
    readonly property int groupRowHeight: 43
    readonly property int stepButtonHeight: 40
    readonly property int groupButtonWidth: 55
    readonly property int groupControlHeight: 33
    readonly property int selectorEntryHeight: 42
    readonly property int popupMs: 250

    readonly property int numberFontSize: 30
    readonly property int nameFontSize: 15
    readonly property int gainLabelFontSize: 20
    readonly property int gainFontSize: 28
    readonly property int buttonFontSize: 16
    readonly property int scribbleFontSize: 14

    readonly property color stripColor: "#496c89"
    readonly property color panelColor: "#333240"
    readonly property color focusPanelColor: "#636378"
    readonly property color textColor: "white"
    readonly property color fieldTextColor: "#b8b8c7"
    readonly property color focusTextColor: "#26c9ff"
    readonly property color buttonTop: "#69697C"
    readonly property color buttonBottom: "#424251"
    readonly property color pressedTop: "#3e3e46"
    readonly property color pressedBottom: "#1f1f24"
    readonly property color pressedDownBottom: "#1f1e24"
    readonly property color phantomTop: "#8c2300"
    readonly property color phantomBottom: "#d93600"
    readonly property color phaseTop: "#8c6900"
    readonly property color phaseBottom: "#d9a300"
    readonly property color ribbonTop: "#00468c"
    readonly property color ribbonBottom: "#006dd9"
    readonly property color groupTop: "#238c01"
    readonly property color groupBottom: "#2db201"
    readonly property color shadowColor: "#df000000"

    function displayOfStep(step) {
        if (step <= 0)
            return lowestGainDisplay
        return Math.min(step, maxGainStep) + 1
    }

    // The field only lets whole numbers from -6 to 69 through; -6 to 1 all mean step 0.
    function stepOfDisplay(display) {
        return display <= 1 ? 0 : display - 1
    }

    function lineCount(text) {
        return text.split("\n").length
    }

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

    // Escape takes back what was typed and leaves the field, sending nothing.
    function restoreField(field) {
        field.text = field.shownText
        field.focus = false
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
        color: strip.stripColor
    }

    // The shadow is cast by the plain background, not by the live content, so it is rendered
    // once and does not follow every meter movement.
    DropShadow {
        anchors.fill: stripBackground
        source: stripBackground
        horizontalOffset: 2
        verticalOffset: 4
        radius: 3
        samples: 7
        color: strip.shadowColor
        cached: true
        // The software scene graph draws no shader effects; an invisible shadow there only
        // costs time.
        visible: GraphicsInfo.api !== GraphicsInfo.Software
    }

    Rectangle {
        id: namePanel
        x: strip.margin
        y: strip.margin
        width: meterPanel.x - strip.margin - x
        height: strip.namePanelHeight
        color: strip.panelColor

        Text {
            objectName: "channelLabel"
            anchors.horizontalCenter: parent.horizontalCenter
            y: strip.margin / 2
            text: strip.channelID
            color: strip.textColor
            font.family: "Arial"
            font.bold: true
            font.pixelSize: strip.numberFontSize
        }

        TextField {
            id: nameField
            objectName: "nameField"
            property bool committing: false
            property string shownText: ""
            x: strip.margin
            width: parent.width - 2 * strip.margin
            anchors.bottom: parent.bottom
            anchors.bottomMargin: strip.margin
            padding: 2
            hoverEnabled: true
            selectByMouse: true
            maximumLength: strip.maxNameLength
            validator: RegularExpressionValidator { regularExpression: /[A-Za-z0-9_-]*/ }
            horizontalAlignment: TextInput.AlignHCenter
            font.family: "Arial"
            font.pixelSize: strip.nameFontSize
            color: activeFocus ? strip.focusTextColor : strip.fieldTextColor
            background: Rectangle {
                color: nameField.activeFocus || nameField.hovered ? strip.focusPanelColor
                                                                  : strip.panelColor
            }
            onActiveFocusChanged: strip.fieldFocusChanged(nameField)
            Keys.onEscapePressed: strip.restoreField(nameField)
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
        x: strip.margin
        y: namePanel.y + namePanel.height + strip.margin
        width: namePanel.width
        height: strip.gainPanelHeight
        color: strip.panelColor

        Text {
            id: gainLabel
            x: strip.margin
            anchors.verticalCenter: gainField.verticalCenter
            text: "Gain"
            color: strip.textColor
            font.family: "Arial"
            font.pixelSize: strip.gainLabelFontSize
        }

        TextField {
            id: gainField
            objectName: "gainField"
            property bool committing: false
            property string shownText: ""
            anchors.left: gainLabel.right
            anchors.leftMargin: strip.margin
            anchors.right: parent.right
            anchors.rightMargin: strip.margin
            y: strip.margin
            padding: 0
            hoverEnabled: true
            selectByMouse: true
            validator: IntValidator {
                bottom: strip.lowestGainDisplay
                top: strip.highestGainDisplay
            }
            horizontalAlignment: TextInput.AlignHCenter
            font.family: "Arial"
            font.pixelSize: strip.gainFontSize
            color: activeFocus ? strip.focusTextColor : strip.fieldTextColor
            background: Rectangle {
                color: gainField.activeFocus || gainField.hovered ? strip.focusPanelColor
                                                                  : strip.panelColor
            }
            onActiveFocusChanged: strip.fieldFocusChanged(gainField)
            Keys.onEscapePressed: strip.restoreField(gainField)
            // A number is compared, not its spelling: "069" is what "69" showed. A group's gain
            // beyond the range shows as the end value, which is sent only when typed.
            onEditingFinished: {
                if (committing)
                    return
                committing = true
                var typed = parseInt(text, 10)
                if (typed !== parseInt(shownText, 10))
                    strip.gainEntered(strip.stepOfDisplay(typed))
                focus = false
                committing = false
            }
        }

        StepButton {
            objectName: "gainUpButton"
            stepName: "gainUp"
            x: strip.margin
            width: parent.width - 2 * strip.margin
            height: strip.stepButtonHeight
            anchors.bottom: gainDownButton.top
            anchors.bottomMargin: strip.margin
            arrow: "Images/upArrow.png"
            pressedArrow: "Images/upArrowClicked.png"
            topColor: strip.buttonTop
            bottomColor: strip.buttonBottom
            pressedTopColor: strip.pressedTop
            pressedBottomColor: strip.pressedBottom
            longPressMs: strip.longPressMs
            repeatMs: strip.repeatMs
            onStepped: strip.gainUpClicked()
        }

        StepButton {
            id: gainDownButton
            objectName: "gainDownButton"
            stepName: "gainDown"
            x: strip.margin
            width: parent.width - 2 * strip.margin
            height: strip.stepButtonHeight
            anchors.bottom: parent.bottom
            anchors.bottomMargin: strip.margin
            arrow: "Images/downArrow.png"
            pressedArrow: "Images/downArrowClicked.png"
            topColor: strip.buttonTop
            bottomColor: strip.buttonBottom
            pressedTopColor: strip.pressedTop
            pressedBottomColor: strip.pressedDownBottom
            longPressMs: strip.longPressMs
            repeatMs: strip.repeatMs
            onStepped: strip.gainDownClicked()
        }
    }

    Rectangle {
        id: meterPanel
        x: strip.width - strip.margin - width
        y: strip.margin
        width: strip.meterPanelWidth
        height: gainPanel.y + gainPanel.height - y
        color: strip.panelColor

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
        x: strip.margin
        y: gainPanel.y + gainPanel.height + strip.margin
        width: strip.width - 2 * strip.margin
        height: strip.switchRowHeight
        color: strip.panelColor

        Row {
            anchors.fill: parent
            anchors.margins: strip.margin
            spacing: strip.margin

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

                Button {
                    readonly property bool on: strip[modelData.value]

                    objectName: modelData.value + "Button"
                    width: (parent.width - 2 * parent.spacing) / 3
                    height: parent.height
                    text: modelData.label
                    font.family: "Arial"
                    font.pixelSize: strip.buttonFontSize
                    contentItem: Text {
                        text: parent.text
                        font: parent.font
                        color: strip.textColor
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle {
                        gradient: Gradient {
                            GradientStop {
                                position: 0
                                color: on ? modelData.top : strip.buttonTop
                            }
                            GradientStop {
                                position: 1
                                color: on ? modelData.bottom : strip.buttonBottom
                            }
                        }
                    }
                    onClicked: strip[modelData.value + "Clicked"]()
                }
            }
        }
    }

    Rectangle {
        id: groupRow
        x: strip.margin
        y: switchRow.y + switchRow.height + strip.margin
        width: strip.width - 2 * strip.margin
        height: strip.groupRowHeight
        color: strip.panelColor

        // The button always shows the channel's value: a click asks for the other state, and
        // the button lights only if the channel takes it (at once, unless the unit is offline).
        // Its lit state is not the button's checked state, which a click would flip on its own
        // (and setting it makes the button checkable).
        Button {
            id: groupButton
            objectName: "groupButton"
            readonly property bool lit: strip.group

            x: (parent.height - height) / 2
            anchors.verticalCenter: parent.verticalCenter
            width: strip.groupButtonWidth
            height: strip.groupControlHeight
            text: "group"
            font.family: "Arial"
            font.pixelSize: strip.buttonFontSize
            contentItem: Text {
                text: parent.text
                font: parent.font
                color: strip.textColor
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                gradient: Gradient {
                    GradientStop {
                        position: 0
                        color: groupButton.lit ? strip.groupTop : strip.buttonTop
                    }
                    GradientStop {
                        position: 1
                        color: groupButton.lit ? strip.groupBottom : strip.buttonBottom
                    }
                }
            }
            // The line names the state the click asks to leave.
            onClicked: {
                console.log("checked changed.  group = " + strip.group)
                strip.groupClicked(!strip.group)
            }
        }

        ComboBox {
            id: groupSelector
            objectName: "groupSelector"
            anchors.left: groupButton.right
            anchors.leftMargin: groupButton.x
            anchors.right: parent.right
            anchors.rightMargin: groupButton.x
            anchors.verticalCenter: parent.verticalCenter
            height: strip.groupControlHeight
            model: strip.groupModel
            textRole: "name"
            currentIndex: strip.groupName
            font.family: "Arial"
            font.pixelSize: strip.buttonFontSize
            indicator: Item {}
            contentItem: Text {
                leftPadding: strip.margin
                text: groupSelector.displayText
                font: groupSelector.font
                color: strip.textColor
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
            }
            background: Rectangle {
                color: strip.buttonBottom
            }
            delegate: ItemDelegate {
                width: groupSelector.width
                height: strip.selectorEntryHeight
                highlighted: groupSelector.highlightedIndex === index
                contentItem: Text {
                    text: model[groupSelector.textRole]
                    font: groupSelector.font
                    color: strip.textColor
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }
                background: Rectangle {
                    color: highlighted ? strip.buttonTop : strip.buttonBottom
                }
            }
            popup: Popup {
                y: groupSelector.height
                width: groupSelector.width
                implicitHeight: groupSelector.count * strip.selectorEntryHeight
                padding: 0
                clip: true
                contentItem: ListView {
                    model: groupSelector.popup.visible ? groupSelector.delegateModel : null
                    currentIndex: groupSelector.highlightedIndex
                    interactive: false
                }
                background: Rectangle {
                    color: strip.buttonBottom
                }
                enter: Transition {
                    NumberAnimation {
                        property: "height"
                        from: 0
                        to: groupSelector.popup.implicitHeight
                        duration: strip.popupMs
                        easing.type: Easing.OutSine
                    }
                }
                exit: Transition {
                    NumberAnimation {
                        property: "height"
                        to: 0
                        duration: strip.popupMs
                        easing.type: Easing.OutSine
                    }
                }
            }
            // Picking an entry asks for it; the selector then shows the channel's group again,
            // which is the picked one unless the channel refused it.
            onActivated: {
                console.log(currentText, strip.groupModel.get(index).name)
                strip.groupSelected(index)
                currentIndex = Qt.binding(function() { return strip.groupName })
                focus = false
            }
            Keys.onReturnPressed: focus = false
            Keys.onEnterPressed: focus = false
        }
    }

    TextArea {
        id: scribbleField
        objectName: "scribbleField"
        property string shownText: ""
        x: strip.margin
        y: groupRow.y + groupRow.height + strip.margin
        width: strip.width - 2 * strip.margin
        height: strip.height - strip.margin - y
        padding: strip.margin / 2
        hoverEnabled: true
        selectByMouse: true
        wrapMode: TextEdit.NoWrap
        placeholderText: "notes..."
        placeholderTextColor: strip.fieldTextColor
        font.family: "Arial"
        font.pixelSize: strip.scribbleFontSize
        color: activeFocus ? strip.focusTextColor : strip.textColor
        background: Rectangle {
            color: scribbleField.activeFocus || scribbleField.hovered ? strip.focusPanelColor
                                                                      : strip.panelColor
        }
        // The strip has room for two lines.
        Keys.onReturnPressed: event.accepted = strip.lineCount(text) >= strip.maxScribbleLines
        Keys.onEnterPressed: event.accepted = strip.lineCount(text) >= strip.maxScribbleLines
        onActiveFocusChanged: strip.fieldFocusChanged(scribbleField)
        Keys.onEscapePressed: strip.restoreField(scribbleField)
        onEditingFinished: {
            focus = false
            if (text !== shownText)
                strip.scribbleEntered(text)
        }
    }
}
