import QtQuick 2.15
import QtQuick.Controls 2.15
import QtGraphicalEffects 1.15
import com.Corvane.controller 1.0

// The status column at the right of a unit page: unit ID, online lamp, "Peak Clear", the four
// converter settings and the clock lamp.
//
// The panel has no logic beyond blinking its lamps. The page binds the properties to the unit's
// values; picking an entry in a list asks for that setting through settingPicked, and the box
// then shows the unit's value again, which is the picked one unless the unit refused it.
Item {
    id: status

    property int online: 0
    property bool clkStatus: false
    property int sampleRate: 0
    property int clkSource: 0
    property int outFormat: 0
    property int clkOutSource: 0
    property int devID: 0
    // Current lit state of the clock lamp.
    property bool clkIndicator: false
    // Current phase of the offline blink.
    property bool offlineIndicator: false

    signal overClear()
    // The operator picked value for setting ("sampleRate", "clkSource", "outFormat" or
    // "clkOutSource").
    signal settingPicked(string setting, int value)

    // One drop-down per converter setting, top to bottom; a code is the index of its label.
    readonly property var settings: [
        { label: "Sample Rate", setting: "sampleRate", entries: Octo.sampleRateNames },
        { label: "Clock Source", setting: "clkSource", entries: Octo.clkSourceNames },
        { label: "Output Format", setting: "outFormat", entries: Octo.outFormatNames },
        { label: "Clock Out Source", setting: "clkOutSource", entries: Octo.clkOutSourceNames }
    ]

    readonly property int onlineState: PreampModel.Online
    readonly property int blinkMs: 500
    readonly property int margin: 6
    readonly property int labelGap: 3
    readonly property int boxGap: 12
    readonly property int upperBoxHeight: 73
    readonly property int titleWidth: 68
    readonly property int titleHeight: 25
    readonly property int settingFieldHeight: 55
    readonly property int clockFieldHeight: 30
    readonly property int lampSize: 16
    readonly property int entryHeight: 28
    readonly property int popupMs: 250
    readonly property int statusTitleFontSize: 20
    readonly property int adcTitleFontSize: 22
    readonly property int idFontSize: 16
    readonly property int labelFontSize: 14
    readonly property int buttonFontSize: 12

    readonly property color boxColor: "#496c88"
    readonly property color fieldColor: "#333240"
    readonly property color listColor: "#424251"
    readonly property color highlightColor: "#69697C"
    readonly property color buttonTop: "#69697C"
    readonly property color buttonBottom: "#424251"
    readonly property color pressedTop: "#3e3e46"
    readonly property color pressedBottom: "#1f1f24"
    readonly property color textColor: "white"
    readonly property color litColor: "#00ff00"
    readonly property color darkColor: "#767676"
    readonly property color offlineColor: "#ff0000"
    readonly property color shadowColor: "#df000000"

    width: 165
    height: 399

    // Steady green while the clock is locked; blinking until the unit reports a lock.
    onClkStatusChanged: {
        if (clkStatus) {
            clockBlink.stop()
            clkIndicator = true
        } else {
            clockBlink.start()
        }
    }

    Timer {
        id: clockBlink
        objectName: "clockBlink"
        interval: status.blinkMs
        repeat: true
        running: true
        onTriggered: status.clkIndicator = !status.clkIndicator
    }

    Timer {
        objectName: "offlineBlink"
        interval: status.blinkMs
        repeat: true
        running: true
        onTriggered: status.offlineIndicator = !status.offlineIndicator
    }

    Rectangle {
        id: upperBox
        width: parent.width
        height: status.upperBoxHeight
        color: status.boxColor
    }

    Rectangle {
        id: lowerBox
        y: upperBox.height + status.boxGap
        width: parent.width
        height: parent.height - y
        color: status.boxColor
    }

    // The shadows are cast by the plain boxes, so they are rendered once.
    Repeater {
        model: [upperBox, lowerBox]

        DropShadow {
            x: modelData.x
            y: modelData.y
            width: modelData.width
            height: modelData.height
            source: modelData
            horizontalOffset: 2
            verticalOffset: 4
            radius: 3
            samples: 6
            color: status.shadowColor
            cached: true
            // The software scene graph draws no shader effects; an invisible shadow there only
            // costs time.
            visible: GraphicsInfo.api !== GraphicsInfo.Software
        }
    }

    Text {
        x: status.margin
        y: status.margin
        width: status.titleWidth
        height: status.titleHeight
        text: "Status"
        color: status.textColor
        verticalAlignment: Text.AlignVCenter
        // Where Arial is missing, the substitute font may run wider than the title's box.
        fontSizeMode: Text.HorizontalFit
        font.family: "Arial"
        font.bold: true
        font.pixelSize: status.statusTitleFontSize
    }

    Button {
        id: peakClearButton
        objectName: "peakClearButton"
        x: status.margin
        y: status.margin + status.titleHeight + status.margin
        width: status.titleWidth
        height: upperBox.height - y - status.margin
        text: "Peak Clear"
        font.family: "Arial"
        font.pixelSize: status.buttonFontSize
        contentItem: Text {
            text: parent.text
            font: parent.font
            color: status.textColor
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            gradient: Gradient {
                GradientStop {
                    position: 0
                    color: peakClearButton.pressed ? status.pressedTop : status.buttonTop
                }
                GradientStop {
                    position: 1
                    color: peakClearButton.pressed ? status.pressedBottom : status.buttonBottom
                }
            }
        }
        onClicked: status.overClear()
    }

    Rectangle {
        x: status.margin + status.titleWidth + status.margin
        y: status.margin
        width: parent.width - x - status.margin
        height: upperBox.height - 2 * status.margin
        color: status.fieldColor

        Row {
            x: status.margin
            y: status.margin
            spacing: status.labelGap

            Text {
                text: "ID:"
                color: status.textColor
                font.family: "Arial"
                font.bold: true
                font.pixelSize: status.idFontSize
            }
            Text {
                objectName: "idText"
                text: status.devID
                color: status.textColor
                font.family: "Arial"
                font.bold: true
                font.pixelSize: status.idFontSize
            }
        }

        Text {
            x: status.margin
            anchors.verticalCenter: onlineLamp.verticalCenter
            text: "Online"
            color: status.textColor
            font.family: "Arial"
            font.pixelSize: status.labelFontSize
        }

        // Offline and overdue look the same: blinking red and grey.
        Rectangle {
            id: onlineLamp
            objectName: "onlineLamp"
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: status.margin
            width: status.lampSize
            height: status.lampSize
            radius: width / 2
            color: status.online === status.onlineState
                   ? status.litColor
                   : (status.offlineIndicator ? status.darkColor : status.offlineColor)
        }
    }

    Column {
        x: status.margin
        y: lowerBox.y + status.margin
        width: parent.width - 2 * status.margin
        spacing: status.margin

        Text {
            width: parent.width
            height: lowerBox.height - 2 * status.margin - 5 * parent.spacing
                    - status.settings.length * status.settingFieldHeight
                    - status.clockFieldHeight
            text: "ADC"
            color: status.textColor
            verticalAlignment: Text.AlignVCenter
            font.family: "Arial"
            font.bold: true
            font.pixelSize: status.adcTitleFontSize
        }

        Repeater {
            model: status.settings

            Rectangle {
                width: parent.width
                height: status.settingFieldHeight
                color: status.fieldColor

                Text {
                    id: settingLabel
                    x: status.margin
                    y: status.margin
                    text: modelData.label
                    color: status.textColor
                    font.family: "Arial"
                    font.pixelSize: status.labelFontSize
                }

                ComboBox {
                    id: settingBox
                    objectName: modelData.setting + "Box"
                    x: status.margin
                    y: settingLabel.y + settingLabel.height + status.labelGap
                    width: parent.width - 2 * status.margin
                    height: parent.height - y - status.margin
                    model: modelData.entries
                    currentIndex: status[modelData.setting]
                    font.family: "Arial"
                    font.pixelSize: status.labelFontSize
                    indicator: Item {}
                    contentItem: Text {
                        leftPadding: status.margin
                        text: settingBox.displayText
                        font: settingBox.font
                        color: status.textColor
                        horizontalAlignment: Text.AlignLeft
                        verticalAlignment: Text.AlignVCenter
                        elide: Text.ElideRight
                    }
                    background: Rectangle {
                        color: status.listColor
                    }
                    delegate: ItemDelegate {
                        width: settingBox.width
                        height: status.entryHeight
                        highlighted: settingBox.highlightedIndex === index
                        contentItem: Text {
                            text: modelData
                            font: settingBox.font
                            color: status.textColor
                            verticalAlignment: Text.AlignVCenter
                        }
                        background: Rectangle {
                            color: highlighted ? status.highlightColor : status.listColor
                        }
                    }
                    popup: Popup {
                        y: settingBox.height
                        width: settingBox.width
                        implicitHeight: settingBox.count * status.entryHeight
                        padding: 0
                        clip: true
                        contentItem: ListView {
                            model: settingBox.popup.visible ? settingBox.delegateModel : null
                            currentIndex: settingBox.highlightedIndex
                            interactive: false
                        }
                        background: Rectangle {
                            color: status.listColor
                        }
                        enter: Transition {
                            NumberAnimation {
                                property: "height"
                                from: 0
                                to: settingBox.popup.implicitHeight
                                duration: status.popupMs
                                easing.type: Easing.OutSine
                            }
                        }
                        exit: Transition {
                            NumberAnimation {
                                property: "height"
                                to: 0
                                duration: status.popupMs
                                easing.type: Easing.OutSine
                            }
                        }
                    }
                    onActivated: {
                        status.settingPicked(modelData.setting, index)
                        currentIndex = Qt.binding(function() { return status[modelData.setting] })
                        focus = false
                    }
                    Keys.onReturnPressed: focus = false
                    Keys.onEnterPressed: focus = false
                }
            }
        }

        Rectangle {
            width: parent.width
            height: status.clockFieldHeight
            color: status.fieldColor

            Text {
                x: status.margin
                anchors.verticalCenter: parent.verticalCenter
                text: "Clock Status"
                color: status.textColor
                font.family: "Arial"
                font.pixelSize: status.labelFontSize
            }

            Rectangle {
                objectName: "clockLamp"
                anchors.right: parent.right
                anchors.rightMargin: status.margin
                anchors.verticalCenter: parent.verticalCenter
                width: status.lampSize
                height: status.lampSize
                radius: width / 2
                color: status.clkIndicator ? status.litColor : status.darkColor
            }
        }
    }
}
