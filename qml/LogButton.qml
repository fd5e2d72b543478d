import QtQuick 2.15

// The way to the show log from both views: a narrow tab at the window's left edge below the
// navigation bar, where neither view has anything of its own. Its alarm mark says that a link or
// clock event has happened since the log was last looked at.
PanelButton {
    id: button

    property bool alarm: false

    readonly property int tabWidth: 30
    readonly property int tabHeight: 90
    readonly property int fontSize: 15
    readonly property int markSize: 18
    readonly property int markFontSize: 13
    readonly property int markTop: 5
    readonly property color alarmColor: "#e8412c"

    width: tabWidth
    height: tabHeight
    text: "Log"
    frameColor: alarm ? alarmColor : "transparent"

    contentItem: Item {
        Rectangle {
            objectName: "logAlarm"
            visible: button.alarm
            anchors.horizontalCenter: parent.horizontalCenter
            y: button.markTop
            width: button.markSize
            height: button.markSize
            radius: button.markSize / 2
            color: button.alarmColor

            Text {
                anchors.centerIn: parent
                text: "!"
                color: Theme.textColor
                font.bold: true
                font.pixelSize: button.markFontSize
            }
        }

        Text {
            anchors.centerIn: parent
            anchors.verticalCenterOffset: button.alarm ? button.markSize / 2 : 0
            rotation: -90
            text: button.text
            color: Theme.textColor
            font.pixelSize: button.fontSize
        }
    }
}
