import QtQuick 2.15
import QtQuick.Controls 2.15

// The preset bar: the name of the preset last recalled and the "store" and "recall" buttons.
Rectangle {
    id: bar

    property string presetName: ""

    signal storeClicked()
    signal recallClicked()

    readonly property int fontSize: 24
    readonly property int fieldMargin: 3
    readonly property real share: width / 14
    readonly property color pressedColor: "#858585"
    readonly property color hoverBorderColor: "#464646"
    readonly property color nameColor: "#496c89"
    readonly property color fieldColor: "#16161d"

    color: "black"

    Row {
        anchors.fill: parent

        Text {
            width: 3 * bar.share
            height: bar.height
            text: "Preset"
            color: "white"
            font.pixelSize: bar.fontSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }

        Item {
            width: 5 * bar.share
            height: bar.height

            Rectangle {
                anchors.fill: parent
                anchors.margins: bar.fieldMargin
                color: bar.fieldColor

                Text {
                    objectName: "presetName"
                    anchors.fill: parent
                    text: bar.presetName
                    color: bar.nameColor
                    font.family: "Arial"
                    font.pixelSize: bar.fontSize
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
            }
        }

        Repeater {
            model: ["store", "recall"]

            Button {
                id: button
                objectName: modelData + "Button"
                width: 3 * bar.share
                height: bar.height
                text: modelData
                hoverEnabled: true
                onClicked: modelData === "store" ? bar.storeClicked() : bar.recallClicked()

                contentItem: Text {
                    text: button.text
                    color: "white"
                    font.pixelSize: bar.fontSize
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }

                background: Rectangle {
                    color: button.down ? bar.pressedColor : "black"
                    border.color: button.hovered ? bar.hoverBorderColor : "transparent"
                }
            }
        }
    }
}
