import QtQuick 2.15
import QtTest 1.15
import "../../qml"

// The recall dialog and the store chooser. The platform file dialogs are never opened: their
// answers are given through the functions they call, or by emitting their rejected() signal.
TestCase {
    id: testCase
    name: "RecallDialog"
    when: windowShown
    visible: true
    width: 600
    height: 450

    readonly property string startFolder: "file:///presets"
    readonly property string otherFolder: "file:///elsewhere"
    readonly property string presetFile: otherFolder + "/show.cvp"
    // The window's requests in the order they came.
    property var requests: []

    // Stands in for the controller's RecallPreview: what a preview shows and whether the file
    // still holds it; build() calls are kept.
    QtObject {
        id: fakePreviewer
        property bool canApply: true
        property int ribbonWarnings: 0
        property bool unchanged: true
        property var problems: []
        property var notes: []
        property string summary: "1 unit, 1 change, 0 units offline"
        property var rows: [{ kind: "unit", title: "Slot 1", state: "online", stateKind: "online",
                              age: "" },
                            { kind: "change", where: "Ch 1", setting: "48V", before: "off",
                              after: "on", warning: ribbonWarnings > 0 }]
        property var built: []
        function build(path, type) { built.push([path, type]) }
        function fileUnchanged() { return unchanged }
    }

    Component {
        id: dialogComponent
        RecallDialogBox { folder: testCase.startFolder; previewer: fakePreviewer }
    }
    SignalSpy { id: stateSpy; signalName: "stateSaveRequested" }
    SignalSpy { id: loadSpy; signalName: "loadRequested" }
    SignalSpy { id: storeSpy; signalName: "storeRequested" }
    SignalSpy { id: rejectedSpy; signalName: "rejected" }

    function openDialog() {
        var dialog = createTemporaryObject(dialogComponent, testCase)
        requests = []
        ;[stateSpy, loadSpy, storeSpy, rejectedSpy].forEach(function(spy) {
            spy.target = dialog
            spy.clear()
            dialog[spy.signalName].connect(function() { requests.push(spy.signalName) })
        })
        dialog.open()
        tryCompare(dialog, "opened", true)
        return dialog
    }

    function control(dialog, name) { return findChild(dialog.contentItem, name) }
    function previewControl(dialog, name) { return findChild(dialog.preview.contentItem, name) }
    function argumentsOf(spy, call) { return Array.prototype.slice.call(spy.signalArguments[call]) }

    function test_load_data() {
        return [
            { tag: "IP settings", ip: true, preamp: false, loadType: 1 },
            { tag: "preamp settings", ip: false, preamp: true, loadType: 2 },
            { tag: "both", ip: true, preamp: true, loadType: 3 },
            { tag: "nothing ticked", ip: false, preamp: false, loadType: 0 }
        ]
    }

    // The ticks give the kind of load; the dialog keeps the file and the ticks for next time.
    function test_load(data) {
        var dialog = openDialog()
        compare(dialog.x, (testCase.width - dialog.width) / 2)
        compare(dialog.y, testCase.height / 3 - dialog.height / 2)
        dialog.fileChosen(presetFile, otherFolder)
        if (data.ip)
            mouseClick(control(dialog, "loadIpSettings"))
        if (data.preamp)
            mouseClick(control(dialog, "loadPreampSettings"))
        mouseClick(control(dialog, "loadButton"))
        compare(dialog.loadType, data.loadType)
        if (data.loadType === 0) {
            compare(requests, [], "without a tick nothing is loaded or saved")
            verify(dialog.opened)
            return
        }
        compare(requests, ["stateSaveRequested", "loadRequested"])
        compare(stateSpy.signalArguments[0][0], otherFolder)
        compare(argumentsOf(loadSpy, 0), [presetFile, data.loadType])
        tryCompare(dialog, "visible", false)
        dialog.open()
        tryCompare(dialog, "opened", true)
        compare(control(dialog, "pathField").text, presetFile)
        compare(control(dialog, "loadIpSettings").checked, data.ip)
        compare(control(dialog, "loadPreampSettings").checked, data.preamp)
        mouseClick(control(dialog, "loadButton"))
        compare(argumentsOf(loadSpy, 1), argumentsOf(loadSpy, 0))
    }

    function test_cancelSavesState_data() {
        return [
            { tag: "chooser not opened", chooser: "", folder: startFolder },
            { tag: "chooser cancelled", chooser: "rejected", folder: otherFolder },
            { tag: "file chosen", chooser: "accepted", folder: otherFolder }
        ]
    }

    function test_cancelSavesState(data) {
        var dialog = openDialog()
        keyClick(Qt.Key_Escape)
        verify(dialog.opened, "only its own buttons close the dialog")
        if (data.chooser === "rejected") {
            dialog.recallChooser.folder = data.folder
            dialog.recallChooser.rejected()
        } else if (data.chooser === "accepted") {
            dialog.fileChosen(presetFile, data.folder)
        }
        mouseClick(control(dialog, "cancelButton"))
        compare(requests, ["stateSaveRequested", "rejected"])
        compare(String(stateSpy.signalArguments[0][0]), data.folder)
        tryCompare(dialog, "visible", false)
    }

    function test_storeChooser_data() {
        return [ { tag: "stored", stored: true }, { tag: "cancelled", stored: false } ]
    }

    function test_storeChooser(data) {
        var dialog = openDialog()
        verify(!dialog.storeChooser.selectExisting)
        dialog.storeChooser.folder = otherFolder
        if (data.stored)
            dialog.storeChosen(presetFile, otherFolder)
        else
            dialog.storeChooser.rejected()
        compare(requests, data.stored ? ["storeRequested", "stateSaveRequested"]
                                      : ["stateSaveRequested"])
        if (data.stored)
            compare(storeSpy.signalArguments[0][0], presetFile)
        compare(String(stateSpy.signalArguments[0][0]), otherFolder)
        verify(dialog.opened, "the store chooser leaves the recall dialog alone")
    }

    function test_previewApplyDoesWhatLoadDoes_data() {
        return [
            { tag: "changes", ribbon: 0, canApply: true, changed: false },
            { tag: "48V on a ribbon channel", ribbon: 1, canApply: true, changed: false },
            { tag: "file changed since", ribbon: 0, canApply: true, changed: true },
            { tag: "file held back", ribbon: 0, canApply: false, changed: false }
        ]
    }

    // "Apply" sends what "Load" sends; the ribbon warning and a changed file hold it back.
    function test_previewApplyDoesWhatLoadDoes(data) {
        fakePreviewer.ribbonWarnings = data.ribbon
        fakePreviewer.canApply = data.canApply
        fakePreviewer.unchanged = !data.changed
        fakePreviewer.built = []
        var dialog = openDialog()
        var previewButton = control(dialog, "previewButton")
        mouseClick(control(dialog, "loadPreampSettings"))
        verify(!previewButton.enabled, "no file chosen")
        dialog.fileChosen(presetFile, otherFolder)
        mouseClick(control(dialog, "loadPreampSettings"))
        verify(!previewButton.enabled, "nothing ticked")
        mouseClick(control(dialog, "loadPreampSettings"))
        mouseClick(previewButton)
        tryCompare(dialog.preview, "opened", true)
        compare(fakePreviewer.built, [[presetFile, 2]])
        var apply = previewControl(dialog, "applyButton")
        var confirmation = previewControl(dialog, "ribbonConfirmation")
        compare(confirmation.visible, data.ribbon > 0)
        compare(apply.enabled, data.canApply && data.ribbon === 0)
        if (data.ribbon > 0) {
            compare(previewControl(dialog, "ribbonConfirmationLabel").text,
                    "48 V on 1 ribbon channel(s)")
            mouseClick(confirmation)
            verify(apply.enabled)
        }
        mouseClick(apply)
        if (!data.canApply || data.changed) {
            compare(requests, [], "nothing is loaded")
            verify(dialog.preview.opened)
            compare(previewControl(dialog, "fileChangedNotice").visible, data.changed)
            compare(fakePreviewer.built.length, data.changed ? 2 : 1)
            return
        }
        compare(requests, ["stateSaveRequested", "loadRequested"])
        compare(argumentsOf(loadSpy, 0), [presetFile, 2])
        tryCompare(dialog, "visible", false)
        verify(!dialog.preview.visible)
    }

    function test_previewBackSendsNothing() {
        var dialog = openDialog()
        dialog.fileChosen(presetFile, otherFolder)
        dialog.loadPreampSettings = true
        mouseClick(control(dialog, "previewButton"))
        tryCompare(dialog.preview, "opened", true)
        mouseClick(previewControl(dialog, "previewBackButton"))
        tryCompare(dialog.preview, "visible", false)
        compare(requests, [])
        verify(dialog.opened)
    }
}
