import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.3 as PlatformDialogs
import com.Corvane.controller 1.0

// The preset dialogs of the preset bar: the recall dialog itself, in which the operator picks a
// preset file and what to restore from it, and the store chooser, a platform file dialog that
// shares the recall dialog's file filters and its way of handing back the folder.
//
// The window forwards three requests and sets the folder before each opening:
//   stateSaveRequested(folder)       -> saveState(folder): after "Load", "Cancel" and either way
//                                       out of the store chooser, so the folder the operator
//                                       ended in is kept even when nothing is loaded or stored
//   loadRequested(filename, type)    -> loadPreset(filename, type), after the state save
//   storeRequested(filename)         -> updateGroupModel(), then savePreset(filename), before
//                                       the state save
// "store" calls openStoreChooser(systemManager.presetDir); "recall" sets folder and calls open().
//
// "Preview..." beside "Load" shows what the recall would change (RecallPreview) before anything
// is sent; its "Apply" does what "Load" does, its "Back" returns here.
Dialog {
    id: recall

    // Folder in which the file chooser opens; follows the chooser when it closes.
    property var folder
    // The chosen preset, as URL text.
    property string presetPath: ""
    // The bits of what to restore (Octo.LoadAddresses, Octo.LoadSettings); set when "Load" is
    // pressed.
    property int loadType: 0
    // The two ticks; they stay as they are between openings.
    property bool loadIpSettings: false
    property bool loadPreampSettings: false
    readonly property alias recallChooser: recallFileDialog
    readonly property alias storeChooser: storeFileDialog
    readonly property alias preview: previewPanel
    // The system manager's recall preview; without one there is no "Preview...".
    property var previewer: null
    // A preview needs a file and something to restore from it.
    readonly property bool canPreview: presetPath !== "" && (loadIpSettings || loadPreampSettings)

    // Part of the dialog's interface for hosts that want it; the dialog itself never emits it.
    signal fileOpen()
    signal stateSaveRequested(var folder)
    signal loadRequested(var filename, var loadType)
    signal storeRequested(var filename)

    readonly property int margin: 6
    readonly property int innerMargin: 10
    readonly property int rowGap: 20
    readonly property int fieldHeight: 30
    readonly property int buttonWidth: 60
    readonly property int previewButtonWidth: 70
    readonly property int buttonHeight: 24
    readonly property int checkSize: 16
    readonly property int checkMarkMargin: 4
    readonly property int fontSize: 12
    readonly property var nameFilters: ["Corvane octo Presets (*.cvp)", "All Files (*)"]
    readonly property color browseColor: "#808080"
    readonly property color browsePressedColor: "#303030"

    function tickedLoadType() {
        return (loadPreampSettings ? Octo.LoadSettings : 0)
                + (loadIpSettings ? Octo.LoadAddresses : 0)
    }

    // "Load": with neither box ticked there is nothing to restore, and the dialog stays open.
    function load() {
        if (!loadIpSettings && !loadPreampSettings)
            return false
        loadType = tickedLoadType()
        accept()
        return true
    }

    function showPreview() {
        if (!canPreview || !previewer)
            return false
        var restored = []
        if (loadIpSettings)
            restored.push("IP settings")
        if (loadPreampSettings)
            restored.push("preamp settings")
        previewPanel.show(presetPath, tickedLoadType(), restored.join(" and "))
        return true
    }

    function cancel() {
        reject()
    }

    function browse() {
        recallFileDialog.open()
    }

    // The recall chooser's answers; the field only shows the choice, presetPath is what loads.
    function fileChosen(fileUrl, chooserFolder) {
        console.log(fileUrl)
        pathField.text = fileUrl
        presetPath = fileUrl
        folder = chooserFolder
    }

    function fileNotChosen(chooserFolder) {
        folder = chooserFolder
    }

    function openStoreChooser(startFolder) {
        storeFileDialog.folder = startFolder
        storeFileDialog.open()
    }

    // The store chooser's answers.
    function storeChosen(fileUrl, chooserFolder) {
        console.log(fileUrl)
        storeRequested(fileUrl)
        stateSaveRequested(chooserFolder)
    }

    function storeNotChosen(chooserFolder) {
        console.log(chooserFolder)
        stateSaveRequested(chooserFolder)
    }

    title: "Recall Settings"
    modal: true
    closePolicy: Popup.NoAutoClose
    padding: 0
    x: parent ? (parent.width - width) / 2 : 0
    y: parent ? parent.height / 3 - height / 2 : 0

    onAccepted: {
        stateSaveRequested(folder)
        console.log("Loading", loadType, "from", presetPath)
        loadRequested(presetPath, loadType)
        console.log("Load Preset Emitted")
    }
    onRejected: stateSaveRequested(folder)

    RecallPreview {
        id: previewPanel
        objectName: "recallPreview"
        previewer: recall.previewer
        onApplyRequested: recall.load()
    }

    PlatformDialogs.FileDialog {
        id: recallFileDialog
        title: "Recall Preset"
        nameFilters: recall.nameFilters
        selectExisting: true
        selectMultiple: false
        selectFolder: false
        folder: recall.folder !== undefined ? recall.folder : ""
        modality: Qt.platform.os === "osx" ? Qt.NonModal : Qt.WindowModal
        onAccepted: recall.fileChosen(fileUrl, folder)
        onRejected: recall.fileNotChosen(folder)
    }

    PlatformDialogs.FileDialog {
        id: storeFileDialog
        title: "Store Preset"
        nameFilters: recall.nameFilters
        selectExisting: false
        selectMultiple: false
        selectFolder: false
        onAccepted: recall.storeChosen(fileUrl, folder)
        onRejected: recall.storeNotChosen(folder)
    }

    contentItem: Rectangle {
        implicitWidth: 400
        implicitHeight: 180
        color: Theme.frameColor

        Rectangle {
            anchors.fill: parent
            anchors.margins: recall.margin
            color: Theme.panelColor

            Text {
                id: locationLabel
                x: recall.innerMargin
                y: recall.rowGap
                text: "Preset Location:"
                color: Theme.textColor
                font.pixelSize: recall.fontSize
            }

            TextField {
                id: pathField
                objectName: "pathField"
                anchors.left: parent.left
                anchors.right: browseButton.left
                anchors.top: locationLabel.bottom
                anchors.leftMargin: recall.innerMargin
                height: recall.fieldHeight
                padding: recall.margin
                font.pixelSize: recall.fontSize
                color: Theme.textColor
                placeholderText: "Preset File Name..."
                verticalAlignment: TextInput.AlignVCenter
                background: Rectangle { color: Theme.rowColor }
            }

            Button {
                id: browseButton
                objectName: "browseButton"
                anchors.right: parent.right
                anchors.rightMargin: recall.innerMargin
                anchors.top: pathField.top
                width: recall.fieldHeight
                height: recall.fieldHeight
                padding: 0
                onClicked: recall.browse()

                contentItem: Text {
                    text: "..."
                    color: Theme.textColor
                    font.pixelSize: recall.fontSize
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                background: Rectangle {
                    color: browseButton.down ? recall.browsePressedColor : recall.browseColor
                }
            }

            Column {
                anchors.left: pathField.left
                anchors.top: pathField.bottom
                anchors.topMargin: recall.rowGap
                spacing: recall.rowGap

                Repeater {
                    model: [
                        { label: "Load IP Settings", setting: "loadIpSettings" },
                        { label: "Load Preamp Settings", setting: "loadPreampSettings" }
                    ]

                    CheckBox {
                        id: settingsBox
                        objectName: modelData.setting
                        height: recall.checkSize
                        padding: 0
                        spacing: recall.margin
                        text: modelData.label
                        checked: recall[modelData.setting]
                        onToggled: recall[modelData.setting] = checked

                        indicator: Rectangle {
                            y: (settingsBox.height - height) / 2
                            width: recall.checkSize
                            height: recall.checkSize
                            color: Theme.rowColor

                            Rectangle {
                                anchors.fill: parent
                                anchors.margins: recall.checkMarkMargin
                                color: Theme.textColor
                                visible: settingsBox.checked
                            }
                        }
                        contentItem: Text {
                            leftPadding: settingsBox.indicator.width + settingsBox.spacing
                            text: settingsBox.text
                            color: Theme.textColor
                            font.pixelSize: recall.fontSize
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }
            }

            Row {
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.rightMargin: recall.innerMargin
                anchors.bottomMargin: recall.innerMargin
                spacing: recall.rowGap

                PanelButton {
                    objectName: "previewButton"
                    text: "Preview\u2026"
                    width: recall.previewButtonWidth
                    height: recall.buttonHeight
                    visible: recall.previewer !== null
                    enabled: recall.canPreview
                    onClicked: recall.showPreview()
                }

                Repeater {
                    model: [
                        { label: "Load", name: "loadButton", action: "load", onPress: true },
                        { label: "Cancel", name: "cancelButton", action: "cancel", onPress: false }
                    ]

                    PanelButton {
                        objectName: modelData.name
                        width: recall.buttonWidth
                        height: recall.buttonHeight
                        text: modelData.label
                        font.pixelSize: recall.fontSize
                        // "Load" acts on the press, "Cancel" on the click.
                        onPressed: if (modelData.onPress) recall[modelData.action]()
                        onClicked: if (!modelData.onPress) recall[modelData.action]()
                    }
                }
            }
        }
    }
}
