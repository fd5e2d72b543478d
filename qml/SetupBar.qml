import QtQuick 2.15
import QtQuick.Controls 2.15
import com.Corvane.controller 1.0

// The bar below the setup view's lists: "Reset to defaults" at the left, "Connect" in the centre
// and the meters' peak mode at the right. It only reports the operator's presses and picks.
Rectangle {
    id: bar

    // The mode the selector shows (InterfaceConstants::PeakMode).
    property int peakMode: Octo.NoPeak

    signal resetClicked()
    signal connectPressed()
    signal peakModePicked(int mode)

    readonly property int buttonWidth: 150
    readonly property int peakBoxWidth: 120
    readonly property int peakEntryHeight: 42

    height: 50
    color: Theme.frameColor

    Rectangle {
        anchors.fill: parent
        anchors.margins: Theme.margin
        color: Theme.panelColor

        PanelButton {
            objectName: "resetButton"
            anchors.left: parent.left
            width: bar.buttonWidth
            height: parent.height
            text: "Reset to defaults"
            onClicked: bar.resetClicked()
        }

        PanelButton {
            objectName: "connectButton"
            anchors.horizontalCenter: parent.horizontalCenter
            width: bar.buttonWidth
            height: parent.height
            text: "Connect"
            onPressed: bar.connectPressed()
        }

        Row {
            anchors.right: parent.right
            anchors.rightMargin: Theme.margin
            height: parent.height
            spacing: Theme.margin

            Text {
                height: parent.height
                text: "Peak Mode:"
                color: Theme.textColor
                font.pixelSize: Theme.fontSize
                verticalAlignment: Text.AlignVCenter
            }

            ComboBox {
                id: peakBox
                objectName: "peakModeBox"
                width: bar.peakBoxWidth
                height: parent.height
                model: Octo.peakModeNames
                currentIndex: bar.peakMode
                font.pixelSize: Theme.fontSize
                onActivated: bar.peakModePicked(index)
                Keys.onReturnPressed: peakBox.focus = false
                Keys.onEnterPressed: peakBox.focus = false

                delegate: ItemDelegate {
                    width: peakBox.width
                    height: bar.peakEntryHeight
                    text: modelData
                    font.pixelSize: Theme.fontSize
                    highlighted: peakBox.highlightedIndex === index
                }

                popup: Popup {
                    y: peakBox.height
                    width: peakBox.width
                    height: peakBox.count * bar.peakEntryHeight
                    padding: 0
                    clip: true

                    contentItem: ListView {
                        model: peakBox.popup.visible ? peakBox.delegateModel : null
                        currentIndex: peakBox.highlightedIndex
                        interactive: false
                    }

                    enter: Transition {
                        NumberAnimation {
                            property: "height"
                            from: 0
                            to: peakBox.count * bar.peakEntryHeight
                            duration: Theme.popupMs
                            easing.type: Easing.OutSine
                        }
                    }
                    exit: Transition {
                        NumberAnimation {
                            property: "height"
                            to: 0
                            duration: Theme.popupMs
                            easing.type: Easing.OutSine
                        }
                    }
                }
            }
        }
    }
}
