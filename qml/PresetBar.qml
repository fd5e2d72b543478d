import QtQuick 2.15
import QtQuick.Controls 2.15

// The preset bar: the name of the preset last recalled, the "store" and "recall" buttons, and
// "undo", which takes back the last recall and says which one.
Rectangle {
    id: bar

    property string presetName: ""
    // The last recall can be undone; undoName is the name it brought to this bar.
    property bool undoAvailable: false
    property string undoName: ""
    // Why the last recall cannot be undone, if its snapshot could not be written.
    property string undoProblem: ""

    signal storeClicked()
    signal recallClicked()
    signal undoClicked()

    readonly property int fontSize: 24
    readonly property int smallestFontSize: 12
    readonly property int fieldMargin: 3
    readonly property int shares: 17
    readonly property real share: width / shares
    readonly property color fieldColor: "#16161d"

    color: "black"

    Row {
        anchors.fill: parent

        Text {
            width: 3 * bar.share
            height: bar.height
            text: "Preset"
            color: Theme.textColor
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
                    color: Theme.frameColor
                    font.family: Theme.fontFamily
                    font.pixelSize: bar.fontSize
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
            }
        }

        Repeater {
            model: ["store", "recall", "undo"]

            Button {
                id: button

                readonly property bool isUndo: modelData === "undo"

                objectName: modelData + "Button"
                width: 3 * bar.share
                height: bar.height
                text: isUndo && bar.undoAvailable
                      ? "undo " + (bar.undoName !== "" ? bar.undoName : "recall") : modelData
                enabled: !isUndo || bar.undoAvailable
                hoverEnabled: true
                ToolTip.visible: isUndo && hovered && ToolTip.text !== ""
                ToolTip.text: !isUndo ? ""
                              : bar.undoAvailable ? "Recall the setup from before the recall of "
                                                    + (bar.undoName !== "" ? bar.undoName
                                                                           : "the last preset")
                              : bar.undoProblem
                onClicked: {
                    if (modelData === "store")
                        bar.storeClicked()
                    else if (modelData === "recall")
                        bar.recallClicked()
                    else
                        bar.undoClicked()
                }

                contentItem: Text {
                    text: button.text
                    color: Theme.textColor
                    opacity: button.enabled ? 1 : Theme.disabledOpacity
                    font.pixelSize: bar.fontSize
                    fontSizeMode: Text.HorizontalFit
                    minimumPixelSize: bar.smallestFontSize
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }

                background: Rectangle {
                    color: button.down ? Theme.barButtonLitColor : "black"
                    border.color: button.hovered ? Theme.barButtonHoverColor : "transparent"
                }
            }
        }
    }
}
