import QtQuick 2.15
import QtQuick.Controls 2.15
import com.Corvane.controller 1.0

// The "Find units" panel of the setup view: the range of addresses to search, the search's
// progress, the units found with a tick each, and "Add", which hands the ticked units to the
// view. The range starts as the /24 networks of the machine's interfaces; nothing is searched
// before "Start" is pressed, and closing the panel stops the search. The search is the
// UnitScanner's; the setup list is the view's, which answers addRequested with addResult().
Popup {
    id: panel

    // The addresses the setup list holds: units found at one of them are marked "listed".
    property var listedAddresses: []
    readonly property UnitScanner scanner: unitScanner

    signal addRequested(var addresses)

    readonly property var texts: Octo.findUnitsTexts
    readonly property int titleHeight: 34
    readonly property int titleFontSize: 19
    readonly property int lineHeight: 30
    readonly property int gap: 8
    readonly property int labelWidth: 60
    readonly property int tickWidth: 30
    readonly property int addressWidth: 150
    readonly property int idWidth: 40
    readonly property int listedWidth: 60
    readonly property int progressHeight: 10

    // What "Add" did: how many units went into the list and how many found no row.
    function addResult(added, notFitted) {
        var text = texts.added.arg(added)
        if (notFitted > 0)
            text += "; " + texts.notFitted.arg(notFitted).arg(Octo.slotCount)
        message.text = text
    }

    function startSearch() {
        message.text = ""
        rangeError.text = unitScanner.start(rangeField.text, listedAddresses)
    }

    width: 560
    height: 440
    padding: 0
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape

    onAboutToShow: {
        if (rangeField.text === "")
            rangeField.text = unitScanner.localRanges()
        rangeError.text = ""
        message.text = ""
        unitScanner.markListed(listedAddresses)
    }
    onClosed: unitScanner.stop()
    onListedAddressesChanged: unitScanner.markListed(listedAddresses)

    UnitScanner {
        id: unitScanner
        objectName: "unitScanner"
    }

    background: Rectangle {
        color: Theme.frameColor
        border.color: Theme.rowBorderColor
    }

    contentItem: Column {
        spacing: panel.gap

        Rectangle {
            width: parent.width
            height: panel.titleHeight
            color: Theme.panelColor

            Text {
                anchors.left: parent.left
                anchors.leftMargin: panel.gap
                anchors.verticalCenter: parent.verticalCenter
                text: panel.texts.title
                color: Theme.textColor
                font.family: Theme.fontFamily
                font.bold: true
                font.pixelSize: panel.titleFontSize
            }
        }

        Column {
            x: panel.gap
            width: parent.width - 2 * panel.gap
            spacing: panel.gap

            Row {
                width: parent.width
                height: panel.lineHeight

                Text {
                    width: panel.labelWidth
                    height: parent.height
                    text: panel.texts.range
                    color: Theme.textColor
                    font.pixelSize: Theme.fontSize
                    verticalAlignment: Text.AlignVCenter
                }

                TextField {
                    id: rangeField
                    objectName: "rangeField"
                    width: parent.width - panel.labelWidth
                    height: parent.height
                    font.pixelSize: Theme.fontSize
                    color: Theme.textColor
                    selectByMouse: true
                    verticalAlignment: TextInput.AlignVCenter
                    background: Rectangle {
                        color: rangeField.activeFocus ? Theme.focusedRowColor : Theme.rowColor
                        border.color: Theme.rowBorderColor
                    }
                }
            }

            Text {
                id: rangeError
                objectName: "rangeError"
                x: panel.labelWidth
                width: parent.width - panel.labelWidth
                visible: text !== ""
                color: Theme.errorColor
                font.pixelSize: Theme.fontSize
                wrapMode: Text.Wrap
            }

            Item {
                width: parent.width
                height: panel.lineHeight

                Row {
                    spacing: panel.gap

                    PanelButton {
                        objectName: "scanStartButton"
                        text: panel.texts.start
                        enabled: !unitScanner.running
                        onClicked: panel.startSearch()
                    }

                    PanelButton {
                        objectName: "scanStopButton"
                        text: panel.texts.stop
                        enabled: unitScanner.running
                        onClicked: unitScanner.stop()
                    }
                }

                Row {
                    anchors.right: parent.right
                    spacing: panel.gap

                    PanelButton {
                        objectName: "scanAddButton"
                        text: panel.texts.add
                        enabled: unitScanner.found > 0
                        onClicked: panel.addRequested(unitScanner.tickedAddresses())
                    }

                    PanelButton {
                        objectName: "scanCloseButton"
                        text: panel.texts.close
                        onClicked: panel.close()
                    }
                }
            }

            ProgressBar {
                id: progress
                objectName: "scanProgress"
                width: parent.width
                height: panel.progressHeight
                from: 0
                to: Math.max(1, unitScanner.total)
                value: unitScanner.tried

                background: Rectangle {
                    color: Theme.panelColor
                    border.color: Theme.rowBorderColor
                }
                contentItem: Item {
                    Rectangle {
                        width: progress.visualPosition * parent.width
                        height: parent.height
                        color: Theme.accentColor
                    }
                }
            }

            Text {
                objectName: "scanStatus"
                width: parent.width
                text: panel.texts.progress.arg(unitScanner.tried).arg(unitScanner.total)
                                          .arg(unitScanner.found)
                color: Theme.textColor
                font.pixelSize: Theme.fontSize
            }

            ListView {
                id: results
                objectName: "scanResults"
                width: parent.width
                // The rest of the panel, above the line for the result of "Add".
                height: panel.height - y - panel.titleHeight - 4 * panel.gap - panel.lineHeight
                clip: true
                model: unitScanner
                headerPositioning: ListView.OverlayHeader

                header: Rectangle {
                    z: 3
                    width: results.width
                    height: panel.lineHeight
                    color: Theme.rowColor
                    border.color: Theme.rowBorderColor

                    Row {
                        anchors.fill: parent

                        Repeater {
                            model: [
                                { label: "", width: panel.tickWidth },
                                { label: panel.texts.address, width: panel.addressWidth },
                                { label: panel.texts.unitId, width: panel.idWidth },
                                { label: panel.texts.name,
                                  width: results.width - panel.tickWidth - panel.addressWidth
                                         - panel.idWidth - panel.listedWidth },
                                { label: "", width: panel.listedWidth }
                            ]

                            Text {
                                width: modelData.width
                                height: parent.height
                                text: modelData.label
                                color: Theme.textColor
                                font.pixelSize: Theme.fontSize
                                horizontalAlignment: Text.AlignHCenter
                                verticalAlignment: Text.AlignVCenter
                            }
                        }
                    }
                }

                delegate: Rectangle {
                    id: foundRow

                    // Named here: inside the Repeater below, "model" is the Repeater's own.
                    readonly property string address: model.address
                    readonly property int unitId: model.unitId
                    readonly property string name: model.name
                    readonly property bool listed: model.listed

                    width: results.width
                    height: panel.lineHeight
                    color: Theme.rowColor
                    border.color: Theme.rowBorderColor

                    Row {
                        anchors.fill: parent

                        TickBox {
                            objectName: "foundTick"
                            width: panel.tickWidth
                            height: parent.height
                            checked: model.ticked
                            onToggled: {
                                unitScanner.setTicked(index, checked)
                                checked = Qt.binding(function() { return model.ticked })
                            }
                        }

                        Repeater {
                            model: [
                                { text: foundRow.address, width: panel.addressWidth },
                                { text: String(foundRow.unitId), width: panel.idWidth },
                                { text: foundRow.name,
                                  width: results.width - panel.tickWidth - panel.addressWidth
                                         - panel.idWidth - panel.listedWidth },
                                { text: foundRow.listed ? panel.texts.listed : "",
                                  width: panel.listedWidth }
                            ]

                            Text {
                                width: modelData.width
                                height: parent.height
                                text: modelData.text
                                color: Theme.textColor
                                font.pixelSize: Theme.fontSize
                                horizontalAlignment: Text.AlignHCenter
                                verticalAlignment: Text.AlignVCenter
                                elide: Text.ElideRight
                            }
                        }
                    }
                }
            }

            Text {
                id: message
                objectName: "scanMessage"
                width: parent.width
                height: panel.lineHeight
                color: Theme.textColor
                font.pixelSize: Theme.fontSize
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
            }
        }
    }
}
