import QtQuick 2.15
import QtQuick.Controls 2.15

// The preview of a recall, opened from the recall dialog: for every unit slot the recall would
// touch, the unit and every setting that would change on it, old -> new, as the controller's
// RecallPreview works them out. It sends nothing.
//
// "Apply" is enabled when the file can be recalled as it stands and, while a channel would get
// phantom power with its ribbon flag on, only once the operator has ticked that he means it.
// If the file changed since the preview was built, "Apply" shows the new preview instead of
// recalling. applyRequested() then tells the dialog to do what its "Load" does; "Back" only
// closes the preview.
Popup {
    id: preview

    // The RecallPreview object (the system manager's recallPreview); null shows nothing.
    property var previewer: null
    // The preset, as URL text, and the load type the preview is built for.
    property string presetPath: ""
    property int loadType: 0
    // What the recall dialog's ticks say, for the title.
    property string loadText: ""
    // The file changed after the preview was first built; the list shows the new content.
    property bool fileChanged: false
    readonly property int ribbonWarnings: previewer ? previewer.ribbonWarnings : 0
    readonly property bool canApply: previewer !== null && previewer.canApply
                                     && (ribbonWarnings === 0 || ribbonConfirmation.checked)

    signal applyRequested()
    signal backRequested()

    readonly property int innerMargin: 12
    readonly property int rowGap: 8
    readonly property int titleFontSize: 16
    readonly property int unitRowHeight: 30
    readonly property int changeRowHeight: 22
    readonly property int whereWidth: 60
    readonly property int settingWidth: 110
    readonly property int valueWidth: 220
    readonly property int buttonWidth: 90
    readonly property int buttonHeight: 28
    readonly property color unitRowColor: "#26252f"
    readonly property color warningRowColor: "#5a1a14"
    readonly property color warningColor: "#ff5a3c"
    readonly property var stateColors: ({
        online: "#2db201", overdue: "#d9a300", offline: "#ff5a3c", unknown: Theme.dimTextColor,
        none: Theme.dimTextColor
    })

    function show(path, type, text) {
        presetPath = path
        loadType = type
        loadText = text
        fileChanged = false
        ribbonConfirmation.checked = false
        if (previewer)
            previewer.build(presetPath, loadType)
        open()
    }

    function apply() {
        if (!canApply)
            return false
        if (!previewer.fileUnchanged()) {
            previewer.build(presetPath, loadType)
            fileChanged = true
            ribbonConfirmation.checked = false
            return false
        }
        close()
        applyRequested()
        return true
    }

    function back() {
        close()
        backRequested()
    }

    modal: true
    closePolicy: Popup.NoAutoClose
    parent: Overlay.overlay
    padding: Theme.margin
    width: Math.min(parent ? parent.width - 2 * innerMargin : 800, 800)
    height: Math.min(parent ? parent.height - 2 * innerMargin : 640, 640)
    x: parent ? (parent.width - width) / 2 : 0
    y: parent ? (parent.height - height) / 2 : 0

    background: Rectangle { color: Theme.frameColor }

    contentItem: Rectangle {
        color: Theme.panelColor

        Column {
            id: header
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: preview.innerMargin
            spacing: preview.rowGap

            Text {
                width: parent.width
                text: "Preview: " + decodeURIComponent(preview.presetPath.split("/").pop())
                      + "  \u2013  " + preview.loadText
                color: Theme.textColor
                font.pixelSize: preview.titleFontSize
                font.bold: true
                elide: Text.ElideMiddle
            }

            Text {
                objectName: "previewSummary"
                width: parent.width
                text: preview.previewer ? preview.previewer.summary : ""
                color: Theme.textColor
                font.pixelSize: Theme.fontSize
                wrapMode: Text.Wrap
            }

            Text {
                objectName: "fileChangedNotice"
                visible: preview.fileChanged
                width: parent.width
                text: "The file changed since the preview was built: this is what it holds now."
                color: preview.warningColor
                font.pixelSize: Theme.fontSize
                wrapMode: Text.Wrap
            }

            Repeater {
                objectName: "previewProblems"
                model: preview.previewer ? preview.previewer.problems : []

                Text {
                    width: header.width
                    text: modelData
                    color: preview.warningColor
                    font.pixelSize: Theme.fontSize
                    wrapMode: Text.Wrap
                }
            }

            Repeater {
                model: preview.previewer ? preview.previewer.notes : []

                Text {
                    width: header.width
                    text: modelData
                    color: Theme.dimTextColor
                    font.pixelSize: Theme.fontSize
                    wrapMode: Text.Wrap
                }
            }
        }

        ListView {
            id: changeList
            objectName: "previewList"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: header.bottom
            anchors.bottom: footer.top
            anchors.margins: preview.innerMargin
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: preview.previewer ? preview.previewer.rows : []
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

            delegate: Rectangle {
                id: lineItem

                readonly property var line: modelData
                readonly property bool isUnit: line.kind === "unit"
                readonly property bool warning: line.kind === "change" && line.warning

                width: changeList.width
                height: isUnit ? preview.unitRowHeight : preview.changeRowHeight
                color: isUnit ? preview.unitRowColor
                              : warning ? preview.warningRowColor : "transparent"

                Row {
                    visible: lineItem.isUnit
                    anchors.verticalCenter: parent.verticalCenter
                    x: Theme.margin
                    spacing: preview.innerMargin

                    Text {
                        text: line.title || ""
                        color: Theme.textColor
                        font.pixelSize: Theme.fontSize
                        font.bold: true
                    }
                    Text {
                        text: line.state || ""
                        color: preview.stateColors[line.stateKind] || Theme.textColor
                        font.pixelSize: Theme.fontSize
                    }
                    Text {
                        text: line.age || ""
                        color: Theme.dimTextColor
                        font.pixelSize: Theme.fontSize
                    }
                }

                Row {
                    visible: line.kind === "change"
                    anchors.verticalCenter: parent.verticalCenter
                    x: 3 * Theme.margin

                    Text {
                        width: preview.whereWidth
                        text: line.where || ""
                        color: Theme.dimTextColor
                        font.pixelSize: Theme.fontSize
                    }
                    Text {
                        width: preview.settingWidth
                        text: line.setting || ""
                        color: lineItem.warning ? preview.warningColor : Theme.textColor
                        font.pixelSize: Theme.fontSize
                        font.bold: lineItem.warning
                    }
                    Text {
                        width: preview.valueWidth
                        text: (line.before || "") + "  \u2192  " + (line.after || "")
                        color: lineItem.warning ? preview.warningColor : Theme.textColor
                        font.pixelSize: Theme.fontSize
                        elide: Text.ElideMiddle
                    }
                    Text {
                        visible: lineItem.warning
                        text: "phantom power on a ribbon channel"
                        color: preview.warningColor
                        font.pixelSize: Theme.fontSize
                        font.bold: true
                    }
                }

                Text {
                    visible: line.kind === "note"
                    anchors.verticalCenter: parent.verticalCenter
                    x: 3 * Theme.margin
                    text: line.text || ""
                    color: Theme.dimTextColor
                    font.pixelSize: Theme.fontSize
                    font.italic: true
                }
            }
        }

        Item {
            id: footer
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: preview.innerMargin
            height: preview.buttonHeight

            Row {
                visible: preview.ribbonWarnings > 0
                anchors.verticalCenter: parent.verticalCenter
                spacing: Theme.margin

                TickBox {
                    id: ribbonConfirmation
                    objectName: "ribbonConfirmation"
                    width: preview.buttonHeight
                    height: preview.buttonHeight
                }
                Text {
                    objectName: "ribbonConfirmationLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    text: "48 V on " + preview.ribbonWarnings + " ribbon channel(s)"
                    color: preview.warningColor
                    font.pixelSize: Theme.fontSize
                    font.bold: true

                    MouseArea {
                        anchors.fill: parent
                        onClicked: ribbonConfirmation.toggle()
                    }
                }
            }

            Row {
                anchors.right: parent.right
                spacing: preview.innerMargin

                PanelButton {
                    objectName: "previewBackButton"
                    text: "Back"
                    width: preview.buttonWidth
                    height: preview.buttonHeight
                    onClicked: preview.back()
                }
                PanelButton {
                    objectName: "applyButton"
                    text: "Apply"
                    width: preview.buttonWidth
                    height: preview.buttonHeight
                    enabled: preview.canApply
                    onClicked: preview.apply()
                }
            }
        }
    }
}
