import QtQuick 2.15
import QtQuick.Controls 2.15

// The way to the show log from both views: a narrow tab at the window's left edge below the
// navigation bar, where neither view has anything of its own. Its alarm mark says that a link or
// clock event has happened since the log was last looked at.
Button {
    id: button

    property bool alarm: false

    readonly property int tabWidth: 30
    readonly property int tabHeight: 90
    readonly property int fontSize: 15
    readonly property int markSize: 18
    readonly property int markFontSize: 13
    readonly property int markTop: 5
    readonly property color textColor: "white"
    readonly property color alarmColor: "#e8412c"
    readonly property color buttonTop: "#69697C"
    readonly property color buttonBottom: "#424251"
    readonly property color pressedTop: "#3e3e46"
    readonly property color pressedBottom: "#1f1f24"

    width: tabWidth
    height: tabHeight
    padding: 0
    text: "Log"

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
                color: button.textColor
                font.bold: true
                font.pixelSize: button.markFontSize
            }
        }

        Text {
            anchors.centerIn: parent
            anchors.verticalCenterOffset: button.alarm ? button.markSize / 2 : 0
            rotation: -90
            text: button.text
            color: button.textColor
            font.pixelSize: button.fontSize
        }
    }

    background: Rectangle {
        border.color: button.alarm ? button.alarmColor : "transparent"
        gradient: Gradient {
            GradientStop { position: 0; color: button.down ? button.pressedTop : button.buttonTop }
            GradientStop {
                position: 1
                color: button.down ? button.pressedBottom : button.buttonBottom
            }
        }
    }
}
