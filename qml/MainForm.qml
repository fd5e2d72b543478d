import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import com.Corvane.controller 1.0

// The one window: navigation between the unit view and the setup view, the preset bar, and the
// twelve unit pages. It is the only place where the interface meets the unit models and the
// system manager.
//
// The window is loaded before the system manager exists and publishes "preampModel1" ...
// "preampModel12" and "systemManager"; every use of those names therefore tolerates their
// absence, and the bindings that name them take their values once they are published.
Window {
    id: top

    property int activePreamps: 0
    property int topPreamp: 0
    property var preamps: [
        typeof preampModel1 === "undefined" ? null : preampModel1,
        typeof preampModel2 === "undefined" ? null : preampModel2,
        typeof preampModel3 === "undefined" ? null : preampModel3,
        typeof preampModel4 === "undefined" ? null : preampModel4,
        typeof preampModel5 === "undefined" ? null : preampModel5,
        typeof preampModel6 === "undefined" ? null : preampModel6,
        typeof preampModel7 === "undefined" ? null : preampModel7,
        typeof preampModel8 === "undefined" ? null : preampModel8,
        typeof preampModel9 === "undefined" ? null : preampModel9,
        typeof preampModel10 === "undefined" ? null : preampModel10,
        typeof preampModel11 === "undefined" ? null : preampModel11,
        typeof preampModel12 === "undefined" ? null : preampModel12
    ]
    property var preampObjects: []
    property bool presetReady: false
    property bool closeHandled: false
    property string currentPreset: ""
    property int peakMode: 0
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
    readonly property int edge: 6
    readonly property int maxViewWidth: 1600
    readonly property int pageHeight: 420
    readonly property int bigWindow: 900
    readonly property int fontSize: 24
    readonly property color windowColor: "#19191a"
    readonly property color barColor: "black"
    readonly property color checkedColor: "#858585"
    readonly property color hoverBorderColor: "#464646"
    readonly property color presetNameColor: "#496c89"
    readonly property color presetFieldColor: "#16161d"
    readonly property color textColor: "white"

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

    // The model writes its unit-level values without property signals, so each data change is
    // copied into the page.
    function copyUnitIntoPage(slot) {
        var unit = unitAt(slot)
        var page = pageAt(slot)
        if (!unit || !page)
            return
        page.devID = unit.preampID
        page.clkSource = unit.clkSource
        page.clkOutSource = unit.clkOutSource
        page.outFormat = unit.outFormat
        page.sampleRate = unit.sampleRate
        page.online = unit.online
        page.clkStatus = unit.clkStatus
        // Only a different model is assigned: the strips are built from channelModel, and this
        // runs on every meter report.
        if (page.channelModel !== unit)
            page.channelModel = unit
        if (page.groupModel !== groupList)
            page.groupModel = groupList
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
    title: "Corvane octo Preamp Remote Controller v1.3"
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
        savePreset("/last.cvp")
        saveState(manager ? manager.presetDir : "")
    }

    Component.onCompleted: {
        restoreState()
        updateGroupModel()
    }

    ListModel {
        id: groupModel
        ListElement { activeEnable: false; name: "Group 1" }
        ListElement { activeEnable: false; name: "Group 2" }
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
            if (preampsButton.checked)
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

        Rectangle {
            id: navigationBar
            width: mainForm.width * 7 / 12
            height: mainForm.barHeight
            color: mainForm.barColor

            ButtonGroup { buttons: [preampsButton, setupButton] }

            NavigationButton {
                id: preampsButton
                objectName: "preampsButton"
                text: "Preamps"
                width: navigationBar.width / 2
                onPressed: mainForm.showUnits()
            }

            NavigationButton {
                id: setupButton
                objectName: "setupButton"
                x: navigationBar.width / 2
                text: "Setup"
                width: navigationBar.width / 2
                checked: true
                onPressed: mainForm.showSetup()
            }
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

        Item {
            id: unitView
            objectName: "unitView"
            visible: preampsButton.checked
            anchors.horizontalCenter: parent.horizontalCenter
            y: mainForm.barHeight + mainForm.viewGap
            width: Math.min(mainForm.width, mainForm.maxViewWidth)
            height: parent.height - y

            PageArrows {
                id: arrows
                objectName: "pageArrows"
                x: mainForm.edge
                anchors.verticalCenter: parent.verticalCenter
                numPages: mainForm.activePreamps - 1
                currentPage: mainForm.topPreamp + 1
                visible: mainForm.activePreamps - 1 > 1
                         || (mainForm.activePreamps - 1 >= 1 && mainForm.height < mainForm.bigWindow)
                onPageUp: mainForm.pageUp()
                onPageDn: mainForm.pageDown()
            }

            Flickable {
                id: pageScroller
                anchors.left: arrows.right
                anchors.leftMargin: mainForm.edge
                anchors.right: parent.right
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                clip: true
                flickableDirection: Flickable.VerticalFlick
                contentWidth: width
                contentHeight: pageColumn.implicitHeight

                Column {
                    id: pageColumn
                    width: pageScroller.width
                    spacing: mainForm.viewGap

                    Repeater {
                        id: pages
                        model: Octo.slotCount

                        Preamp_octo {
                            id: page

                            readonly property int slot: index
                            readonly property var unit: mainForm.unitAt(index)

                            objectName: "preamp" + (index + 1)
                            visible: false
                            stripsLoaded: false
                            peakMode: mainForm.peakMode
                            groupModel: mainForm.groupList
                            width: pageColumn.width
                            height: mainForm.pageHeight

                            onUnitChanged: mainForm.copyUnitIntoPage(slot)
                            // Strips are built when a page is first shown and then kept.
                            onVisibleChanged: {
                                if (visible)
                                    stripsLoaded = true
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

                            Connections {
                                target: page.unit
                                ignoreUnknownSignals: true
                                function onDataChanged() {
                                    mainForm.copyUnitIntoPage(page.slot)
                                    // Every slot refreshes the setup rows: a sort can put any
                                    // unit in any row.
                                    if (setupButton.checked)
                                        mainForm.modelUpdate()
                                }
                                function onPingReceived() { setupView.pingAnswered(page.slot) }
                                function onOffline() { console.log("Preamp Offline") }
                            }
                        }

                        onItemAdded: {
                            var list = mainForm.preampObjects.slice()
                            list[index] = item
                            mainForm.preampObjects = list
                        }
                    }
                }
            }

            // Takes every wheel event, so the wheel moves the top page instead of scrolling;
            // clicks go through to the pages.
            MouseArea {
                anchors.fill: parent
                acceptedButtons: Qt.NoButton
                onWheel: {
                    if (wheel.angleDelta.y > 0)
                        mainForm.pageUp()
                    else if (wheel.angleDelta.y < 0)
                        mainForm.wheelDown()
                    wheel.accepted = true
                }
            }
        }

        SetupView {
            id: setupView
            objectName: "setupView"
            visible: setupButton.checked
            anchors.top: navigationBar.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
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

        // The show log, one click away from both views, in the strip at the left edge that
        // neither view uses.
        LogButton {
            objectName: "logButton"
            x: mainForm.edge
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
