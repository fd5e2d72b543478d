import QtQuick 2.15
import QtQuick.Controls 2.15
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
    readonly property int labelGap: 3
    readonly property int boxGap: 12
    readonly property int upperBoxHeight: 73
    readonly property int titleWidth: 68
    readonly property int titleHeight: 25
    readonly property int settingFieldHeight: 55
    readonly property int clockFieldHeight: 30
    readonly property int lampSize: 16
    readonly property int entryHeight: 28
    readonly property int statusTitleFontSize: 20
    readonly property int adcTitleFontSize: 22
    readonly property int idFontSize: 16
    readonly property int labelFontSize: 14
    readonly property int buttonFontSize: 12

    readonly property color boxColor: "#496c88"
    readonly property color darkColor: "#767676"
    readonly property color offlineColor: "#ff0000"

    width: 165
    height: 399

    // Steady green while the clock is locked; blinking until the unit reports a lock. A hidden
    // panel does not blink: nobody sees it.
    onClkStatusChanged: {
        if (clkStatus)
            clkIndicator = true
    }

    Timer {
        objectName: "clockBlink"
        interval: status.blinkMs
        repeat: true
        running: status.visible && !status.clkStatus
        onTriggered: status.clkIndicator = !status.clkIndicator
    }

    Timer {
        objectName: "offlineBlink"
        interval: status.blinkMs
        repeat: true
        running: status.visible && status.online !== status.onlineState
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

    Repeater {
        model: [upperBox, lowerBox]

        BoxShadow {
            box: modelData
            samples: 6
        }
    }

    Text {
        x: Theme.margin
        y: Theme.margin
        width: status.titleWidth
        height: status.titleHeight
        text: "Status"
        color: Theme.textColor
        verticalAlignment: Text.AlignVCenter
        // Where Arial is missing, the substitute font may run wider than the title's box.
        fontSizeMode: Text.HorizontalFit
        font.family: Theme.fontFamily
        font.bold: true
        font.pixelSize: status.statusTitleFontSize
    }

    PanelButton {
        objectName: "peakClearButton"
        x: Theme.margin
        y: Theme.margin + status.titleHeight + Theme.margin
        width: status.titleWidth
        height: upperBox.height - y - Theme.margin
        text: "Peak Clear"
        font.family: Theme.fontFamily
        font.pixelSize: status.buttonFontSize
        onClicked: status.overClear()
    }

    Rectangle {
        x: Theme.margin + status.titleWidth + Theme.margin
        y: Theme.margin
        width: parent.width - x - Theme.margin
        height: upperBox.height - 2 * Theme.margin
        color: Theme.panelColor

        Row {
            x: Theme.margin
            y: Theme.margin
            spacing: status.labelGap

            Text {
                text: "ID:"
                color: Theme.textColor
                font.family: Theme.fontFamily
                font.bold: true
                font.pixelSize: status.idFontSize
            }
            Text {
                objectName: "idText"
                text: status.devID
                color: Theme.textColor
                font.family: Theme.fontFamily
                font.bold: true
                font.pixelSize: status.idFontSize
            }
        }

        Text {
            x: Theme.margin
            anchors.verticalCenter: onlineLamp.verticalCenter
            text: "Online"
            color: Theme.textColor
            font.family: Theme.fontFamily
            font.pixelSize: status.labelFontSize
        }

        // Offline and overdue look the same: blinking red and grey.
        Rectangle {
            id: onlineLamp
            objectName: "onlineLamp"
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: Theme.margin
            width: status.lampSize
            height: status.lampSize
            radius: width / 2
            color: status.online === status.onlineState
                   ? Theme.lampLitColor
                   : (status.offlineIndicator ? status.darkColor : status.offlineColor)
        }
    }

    Column {
        x: Theme.margin
        y: lowerBox.y + Theme.margin
        width: parent.width - 2 * Theme.margin
        spacing: Theme.margin

        Text {
            width: parent.width
            height: lowerBox.height - 2 * Theme.margin - 5 * parent.spacing
                    - status.settings.length * status.settingFieldHeight
                    - status.clockFieldHeight
            text: "ADC"
            color: Theme.textColor
            verticalAlignment: Text.AlignVCenter
            font.family: Theme.fontFamily
            font.bold: true
            font.pixelSize: status.adcTitleFontSize
        }

        Repeater {
            model: status.settings

            Rectangle {
                width: parent.width
                height: status.settingFieldHeight
                color: Theme.panelColor

                Text {
                    id: settingLabel
                    x: Theme.margin
                    y: Theme.margin
                    text: modelData.label
                    color: Theme.textColor
                    font.family: Theme.fontFamily
                    font.pixelSize: status.labelFontSize
                }

                DropDown {
                    objectName: modelData.setting + "Box"
                    x: Theme.margin
                    y: settingLabel.y + settingLabel.height + status.labelGap
                    width: parent.width - 2 * Theme.margin
                    height: parent.height - y - Theme.margin
                    model: modelData.entries
                    shownIndex: status[modelData.setting]
                    entryHeight: status.entryHeight
                    font.family: Theme.fontFamily
                    font.pixelSize: status.labelFontSize
                    onPicked: status.settingPicked(modelData.setting, index)
                }
            }
        }

        Rectangle {
            width: parent.width
            height: status.clockFieldHeight
            color: Theme.panelColor

            Text {
                x: Theme.margin
                anchors.verticalCenter: parent.verticalCenter
                text: "Clock Status"
                color: Theme.textColor
                font.family: Theme.fontFamily
                font.pixelSize: status.labelFontSize
            }

            Rectangle {
                objectName: "clockLamp"
                anchors.right: parent.right
                anchors.rightMargin: Theme.margin
                anchors.verticalCenter: parent.verticalCenter
                width: status.lampSize
                height: status.lampSize
                radius: width / 2
                color: status.clkIndicator ? Theme.lampLitColor : status.darkColor
            }
        }
    }
}
