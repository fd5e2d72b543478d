import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import com.Corvane.controller 1.0

// The one window: navigation between the unit view and the setup view, the preset bar, and the
// twelve unit pages. It is the only place where the interface meets the unit models and the
// system manager.
//
// The window is loaded before the system manager exists and publishes "systemManager" (and the
// unit models, which the window takes from it); every use of that name therefore tolerates its
// absence, and the bindings that name it take their values once it is published.
Window {
    id: top

    property int activePreamps: 0
    property int topPreamp: 0
    // The unit models in slot order, as the system manager publishes them.
    readonly property var preamps: manager ? manager.units : []
    property var preampObjects: []
    property bool presetReady: false
    property bool closeHandled: false
    property string currentPreset: ""
    property int peakMode: Octo.NoPeak
    property bool sorting: setupView.sorting
    readonly property ListModel groupList: groupModel
    readonly property var manager: typeof systemManager === "undefined" ? null : systemManager
    readonly property var recallUndo: manager ? manager.recallUndo : null
    readonly property var showLogObject: typeof showLog === "undefined" ? null : showLog
    // Inside any Item the name "top" is the item's own anchor line, so the window's children
    // reach it by this name.
    readonly property var mainForm: top

    signal groupModelChanged(var groups)
    signal numPreampsChanged(var num)
    signal savePreset(var filename)
    signal loadPreset(var filename, var loadType)
    signal saveState(var folder)
    signal restoreState()

    readonly property int barHeight: 40
    readonly property int viewGap: 12
    readonly property int maxViewWidth: 1600
    readonly property int pageHeight: 420
    readonly property int bigWindow: 900
    // The gain groups a new window starts with, none of them enabled.
    readonly property int initialGroups: 2
    readonly property color windowColor: "#19191a"

    // --- Window functions ---------------------------------------------------------------------

    function updateGroupModel() {
        var names = []
        for (var row = 0; row < groupModel.count; row++)
            names.push(groupModel.get(row).name)
        if (!manager)
            return
        manager.setGroups(names)
        console.log(manager.groups)
    }

    function modelUpdate() {
        setupView.modelUpdate()
    }

    function unitAt(slot) {
        return slot >= 0 && slot < Octo.slotCount ? preamps[slot] : null
    }

    function pageAt(slot) {
        return slot >= 0 && slot < preampObjects.length ? preampObjects[slot] : null
    }

    function forEachActiveUnit(action) {
        for (var slot = 0; slot < activePreamps; slot++) {
            if (unitAt(slot))
                action(unitAt(slot))
        }
    }

    // Shows the page at the top and the one after it; the units shown poll at full rate, the
    // other units in use sleep.
    function showPagesFrom(first) {
        if (first < 0 || first >= Octo.slotCount)
            return
        for (var slot = 0; slot < activePreamps; slot++) {
            if (slot === first || (width >= bigWindow && slot === first + 1))
                continue
            if (pageAt(slot))
                pageAt(slot).visible = false
            if (unitAt(slot))
                unitAt(slot).sleep()
        }
        if (pageAt(first))
            pageAt(first).visible = true
        if (unitAt(first))
            unitAt(first).init()
        if (activePreamps - 1 > first) {
            if (pageAt(first + 1))
                pageAt(first + 1).visible = true
            if (unitAt(first + 1))
                unitAt(first + 1).init()
        }
    }

    // Moving up passes through the value below 0 on its way back to 0, so the paging steps run
    // again for the first page.
    function pageUp() {
        topPreamp = topPreamp - 1
        if (topPreamp < 0)
            topPreamp = 0
    }

    function pageDown() {
        if (topPreamp + 1 > activePreamps - 2)
            topPreamp = width < bigWindow && topPreamp + 1 > activePreamps - 1
                    ? activePreamps - 1 : activePreamps - 2
        else
            topPreamp = topPreamp + 1
    }

    function wheelDown() {
        if (height < bigWindow && topPreamp + 1 > activePreamps - 1) {
            topPreamp = activePreamps - 1
            console.log("Mouse + Small Window", height)
        } else if (height >= bigWindow && topPreamp + 1 > activePreamps - 2) {
            topPreamp = activePreamps - 2
            console.log("Mouse + Normal Window", height)
        } else {
            topPreamp = topPreamp + 1
            console.log("Normal Mouse", height)
        }
    }

    function showUnits() {
        console.log("Initializing", activePreamps, "preamps")
        forEachActiveUnit(function (unit) { unit.init() })
    }

    function showSetup() {
        stopActiveUnits()
    }

    function stopActiveUnits() {
        forEachActiveUnit(function (unit) { unit.disconnect() })
    }

    function openStore() {
        recallDialog.openStoreChooser(manager ? manager.presetDir : "")
    }

    function openRecall() {
        stopActiveUnits()
        recallDialog.folder = manager ? manager.presetDir : ""
        recallDialog.open()
    }

    // Undoing the last recall recalls the setup saved just before it, with its load type, the
    // way the recall dialog's "Load" does.
    function undoRecall() {
        if (!recallUndo || !recallUndo.available)
            return
        stopActiveUnits()
        console.log("Undoing", recallUndo.undoes, "with", recallUndo.loadType)
        loadPreset(recallUndo.file, recallUndo.loadType)
    }

    width: 1600
    height: 900
    visible: true
    title: Octo.windowTitle
    color: windowColor

    onActivePreampsChanged: numPreampsChanged(activePreamps)
    onTopPreampChanged: showPagesFrom(topPreamp)
    onGroupModelChanged: updateGroupModel()

    // A second close request can come in before the first has ended the program; the state
    // is saved once.
    onClosing: {
        if (closeHandled)
            return
        closeHandled = true
        console.log("Closing")
        savePreset(Octo.closingPreset)
        saveState(manager ? manager.presetDir : "")
    }

    Component.onCompleted: {
        for (var group = 1; group <= initialGroups; group++)
            groupModel.append({ activeEnable: false, name: Octo.groupName(group) })
        restoreState()
        updateGroupModel()
    }

    ListModel {
        id: groupModel
    }

    ListModel {
        id: preampSetupModel
    }

    Connections {
        target: mainForm.manager
        ignoreUnknownSignals: true
        function onActivesChanged() { mainForm.activePreamps = mainForm.manager.activePreamps }
        function onRestored() { setupView.fillSetupList() }
        function onPresetLoaded() {
            setupView.fillSetupList()
            mainForm.presetReady = true
            if (navigationBar.unitsShown)
                mainForm.forEachActiveUnit(function (unit) { unit.init() })
        }
    }

    Rectangle {
        id: main

        // Forwards one change of page modelNo (1 to 12) to its unit; -1 marks an action
        // without a value.
        function updateModel(index, role, value, modelNo) {
            console.log("Updating Model" + role + index, value)
            var unit = mainForm.unitAt(modelNo - 1)
            if (!unit)
                return
            if (value === -1)
                unit.propertyChange(index, role)
            else
                unit.setProperty(index, role, value)
        }

        anchors.fill: parent
        color: mainForm.windowColor

        NavigationBar {
            id: navigationBar
            width: mainForm.width * 7 / 12
            height: mainForm.barHeight
            onPreampsPressed: mainForm.showUnits()
            onSetupPressed: mainForm.showSetup()
        }

        PresetBar {
            anchors.right: parent.right
            width: mainForm.width * 5 / 12 - 20
            height: mainForm.barHeight
            presetName: mainForm.currentPreset
            undoAvailable: mainForm.recallUndo ? mainForm.recallUndo.available : false
            undoName: mainForm.recallUndo ? mainForm.recallUndo.undoes : ""
            undoProblem: mainForm.recallUndo ? mainForm.recallUndo.problem : ""
            onStoreClicked: mainForm.openStore()
            onRecallClicked: mainForm.openRecall()
            onUndoClicked: mainForm.undoRecall()
        }

        UnitView {
            objectName: "unitView"
            visible: navigationBar.unitsShown
            anchors.horizontalCenter: parent.horizontalCenter
            y: mainForm.barHeight + mainForm.viewGap
            width: Math.min(mainForm.width, mainForm.maxViewWidth)
            height: parent.height - y
            units: mainForm.preamps
            activePreamps: mainForm.activePreamps
            topPreamp: mainForm.topPreamp
            peakMode: mainForm.peakMode
            groupModel: mainForm.groupList
            lowWindow: mainForm.height < mainForm.bigWindow
            pageHeight: mainForm.pageHeight
            pageGap: mainForm.viewGap
            onPageUp: mainForm.pageUp()
            onPageDown: mainForm.pageDown()
            onWheelUp: mainForm.pageUp()
            onWheelDown: mainForm.wheelDown()
            onPageAdded: {
                var list = mainForm.preampObjects.slice()
                list[slot] = page
                mainForm.preampObjects = list
            }
            onChannelChange: {
                if (slot === 0)
                    console.log("Writing", value, "to", prop, "on", index)
                main.updateModel(index, prop, value, slot + 1)
            }
            onChannelPropertyChange: {
                if (slot === 0)
                    console.log("Writing to", prop, "on", index)
                main.updateModel(index, prop, -1, slot + 1)
            }
            onPingReceived: setupView.pingAnswered(slot)
        }

        // The setup view leaves the scene graph while the unit view is shown (SceneShelf).
        SceneShelf {
            id: setupArea
            visible: navigationBar.setupShown
            anchors.top: navigationBar.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            content: SetupView {
                id: setupView
                objectName: "setupView"
                width: setupArea.width
                height: setupArea.height
                preamps: mainForm.preamps
                preampObjects: mainForm.preampObjects
                preampSetupModel: preampSetupModel
                groupModel: mainForm.groupList
                systemManager: mainForm.manager
                activePreamps: mainForm.activePreamps
                presetReady: mainForm.presetReady
                peakMode: mainForm.peakMode
                onActivePreampsRequested: mainForm.activePreamps = count
                onPresetReadyRequested: mainForm.presetReady = ready
                onTopPreampRequested: mainForm.topPreamp = slot
                onPeakModeRequested: mainForm.peakMode = mode
                onGroupAdded: mainForm.groupModelChanged(groups)
            }
        }

        // The show log, one click away from both views, in the strip at the left edge that
        // neither view uses.
        LogButton {
            objectName: "logButton"
            x: Theme.margin
            y: mainForm.barHeight + mainForm.viewGap
            alarm: mainForm.showLogObject ? mainForm.showLogObject.alarm : false
            onClicked: logView.open()
        }

        LogView {
            id: logView
            objectName: "logView"
            anchors.centerIn: parent
            log: mainForm.showLogObject
        }

        RecallDialogBox {
            id: recallDialog
            objectName: "recallDialog"
            folder: mainForm.manager ? mainForm.manager.presetDir : ""
            previewer: mainForm.manager ? mainForm.manager.recallPreview : null
            onStateSaveRequested: mainForm.saveState(folder)
            onLoadRequested: mainForm.loadPreset(filename, loadType)
            onStoreRequested: {
                mainForm.updateGroupModel()
                mainForm.savePreset(filename)
            }
        }

        // While "Connect" settles, nothing in the window can be clicked.
        MouseArea {
            objectName: "inputBlocker"
            anchors.fill: parent
            z: 1000
            enabled: setupView.busy
            acceptedButtons: Qt.AllButtons
            hoverEnabled: true
            onWheel: wheel.accepted = true
        }
    }
}
