import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.3 as PlatformDialogs

// The show log: what happened to which unit and when, newest first, chosen by unit and by kind,
// and exported as CSV through a save dialog. While the panel is open the log counts as looked
// at, so its alarm mark stays off. The entries, the filter and the export are the log's (the
// "showLog" context property); the panel lays them out.
Popup {
    id: panel

    property var log: null

    readonly property var entries: log ? log.entries : null
    readonly property var kindLabels: log ? log.kindLabels : []
    readonly property var unitChoices: [{ key: "", label: "All units" }]
                                       .concat(log ? log.units : [])
    readonly property int titleHeight: 34
    readonly property int titleFontSize: 19
    readonly property int lineHeight: 30
    readonly property int rowHeight: 24
    readonly property int gap: 8
    readonly property int unitBoxWidth: 260
    readonly property int kindButtonWidth: 84
    readonly property int exportWidth: 130
    readonly property int timeWidth: 150
    readonly property int kindWidth: 70
    readonly property int slotWidth: 40
    readonly property int unitWidth: 210
    readonly property int addressWidth: 150
    readonly property int channelWidth: 120
    readonly property int widest: 1400
    readonly property int margin: 40
    readonly property int descriptionWidth: entryList.width - timeWidth - kindWidth - slotWidth
                                            - unitWidth - addressWidth - channelWidth
    readonly property color rowColor: "#3d3c4b"
    readonly property color otherRowColor: "#35344a"
    readonly property color alarmColor: "#ff8a7a"
    readonly property var kindColors: ["#26c9ff", "#ffd24d", "#e8412c", "#8fd18f", "#c8a2ff",
                                       "#b8b8c7"]

    function kindShown(kind) {
        return entries ? (entries.kinds & (1 << kind)) !== 0 : true
    }

    function showKind(kind, shown) {
        if (entries)
            entries.kinds = shown ? (entries.kinds | (1 << kind)) : (entries.kinds & ~(1 << kind))
    }

    function exportTo(fileUrl) {
        var error = log ? log.exportCsv(fileUrl) : "No show log"
        message.text = error !== "" ? error : "Exported " + entryList.count + " entries to "
                                              + decodeURIComponent(String(fileUrl).replace(
                                                                       /^file:\/\//, ""))
    }

    width: parent ? Math.min(widest, parent.width - 2 * margin) : widest
    height: parent ? parent.height - 2 * margin : 700
    padding: 0
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape

    onOpened: {
        message.text = ""
        if (log)
            log.viewing = true
    }
    onClosed: {
        if (log)
            log.viewing = false
    }

    background: Rectangle {
        color: Theme.frameColor
        border.color: Theme.rowBorderColor
    }

    PlatformDialogs.FileDialog {
        id: exportDialog
        title: "Export the show log"
        nameFilters: ["CSV files (*.csv)", "All files (*)"]
        selectExisting: false
        selectMultiple: false
        selectFolder: false
        modality: Qt.platform.os === "osx" ? Qt.NonModal : Qt.WindowModal
        onAccepted: panel.exportTo(fileUrl)
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
                text: "Show log"
                color: Theme.textColor
                font.family: Theme.fontFamily
                font.bold: true
                font.pixelSize: panel.titleFontSize
            }
        }

        Item {
            x: panel.gap
            width: parent.width - 2 * panel.gap
            height: panel.lineHeight

            Row {
                spacing: panel.gap

                Text {
                    height: panel.lineHeight
                    text: "Unit:"
                    color: Theme.textColor
                    font.pixelSize: Theme.fontSize
                    verticalAlignment: Text.AlignVCenter
                }

                ComboBox {
                    id: unitBox
                    objectName: "logUnitFilter"
                    width: panel.unitBoxWidth
                    height: panel.lineHeight
                    font.pixelSize: Theme.fontSize
                    model: panel.unitChoices
                    textRole: "label"
                    onActivated: {
                        if (panel.entries)
                            panel.entries.unitKey = panel.unitChoices[index].key
                    }
                }

                Repeater {
                    model: panel.kindLabels

                    Button {
                        id: kindButton
                        objectName: "logKind" + modelData
                        width: panel.kindButtonWidth
                        height: panel.lineHeight
                        checkable: true
                        checked: panel.kindShown(index)
                        onToggled: {
                            panel.showKind(index, checked)
                            checked = Qt.binding(function() { return panel.kindShown(index) })
                        }

                        contentItem: Text {
                            text: modelData
                            color: kindButton.checked ? Theme.textColor : Theme.dimTextColor
                            font.pixelSize: Theme.fontSize
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                        background: Rectangle {
                            color: kindButton.checked ? Theme.barButtonLitColor : Theme.panelColor
                            border.color: panel.kindColors[index]
                        }
                    }
                }
            }

            Row {
                anchors.right: parent.right
                spacing: panel.gap

                PanelButton {
                    objectName: "logExportButton"
                    width: panel.exportWidth
                    text: "Export CSV…"
                    onClicked: exportDialog.open()
                }

                PanelButton {
                    objectName: "logCloseButton"
                    text: "Close"
                    onClicked: panel.close()
                }
            }
        }

        ListView {
            id: entryList
            objectName: "logEntries"
            x: panel.gap
            width: parent.width - 2 * panel.gap
            height: panel.height - y - panel.gap - (notice.visible ? notice.height + panel.gap : 0)
                    - message.height - panel.gap
            clip: true
            model: panel.entries
            headerPositioning: ListView.OverlayHeader
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}

            header: Rectangle {
                z: 3
                width: entryList.width
                height: panel.rowHeight
                color: Theme.panelColor

                Row {
                    anchors.fill: parent

                    Repeater {
                        model: [
                            { label: "Time", width: panel.timeWidth },
                            { label: "Kind", width: panel.kindWidth },
                            { label: "Slot", width: panel.slotWidth },
                            { label: "Unit", width: panel.unitWidth },
                            { label: "Address", width: panel.addressWidth },
                            { label: "Channel", width: panel.channelWidth },
                            { label: "What happened", width: -1 }
                        ]

                        Text {
                            width: modelData.width >= 0 ? modelData.width : panel.descriptionWidth
                            height: parent.height
                            leftPadding: panel.gap
                            text: modelData.label
                            color: Theme.textColor
                            font.bold: true
                            font.pixelSize: Theme.fontSize
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }
            }

            delegate: Rectangle {
                id: entryRow

                // Named here: inside the Repeater below, "model" is the Repeater's own.
                readonly property int kind: model.kind
                readonly property bool alarm: model.alarm
                readonly property var cells: [
                    { text: model.time, width: panel.timeWidth },
                    { text: panel.kindLabels[model.kind], width: panel.kindWidth },
                    { text: model.slot > 0 ? String(model.slot) : "", width: panel.slotWidth },
                    { text: model.unit, width: panel.unitWidth },
                    { text: model.address, width: panel.addressWidth },
                    { text: model.channel, width: panel.channelWidth },
                    { text: model.description, width: -1 }
                ]

                width: entryList.width
                height: panel.rowHeight
                color: index % 2 === 0 ? panel.rowColor : panel.otherRowColor

                Rectangle {
                    width: 3
                    height: parent.height
                    color: panel.kindColors[entryRow.kind]
                }

                Row {
                    anchors.fill: parent

                    Repeater {
                        model: entryRow.cells

                        Text {
                            width: modelData.width >= 0 ? modelData.width : panel.descriptionWidth
                            height: parent.height
                            leftPadding: panel.gap
                            text: modelData.text
                            color: entryRow.alarm ? panel.alarmColor : Theme.textColor
                            font.pixelSize: Theme.fontSize
                            verticalAlignment: Text.AlignVCenter
                            elide: Text.ElideRight
                        }
                    }
                }
            }
        }

        Text {
            id: notice
            objectName: "logNotice"
            x: panel.gap
            width: parent.width - 2 * panel.gap
            visible: text !== ""
            text: panel.log ? panel.log.notice : ""
            color: Theme.errorColor
            font.pixelSize: Theme.fontSize
            wrapMode: Text.Wrap
        }

        Text {
            id: message
            objectName: "logMessage"
            x: panel.gap
            width: parent.width - 2 * panel.gap
            height: panel.lineHeight
            color: Theme.textColor
            font.pixelSize: Theme.fontSize
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideMiddle
        }
    }
}
