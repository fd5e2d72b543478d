import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQml 2.15
import QtQuick.Dialogs 1.3
import com.Corvane.controller 1.0
import "SetupLogic.js" as SetupLogic

// The Setup view: the unit list, the gain-group list, "Reset to defaults", "Connect" and the
// peak display mode. Its panes and bars are components of their own (UnitPane, GroupPane,
// SetupBar, BusyOverlay); this file holds the rules that act on the window's lists, the units
// and the pages, which read best together, and so runs past 400 lines. The rules over plain
// values are in SetupLogic.js.
//
// The window owns the lists and its own state; the view never writes the window's properties,
// so the window's bindings into the view stay intact:
//   bind in:        preamps, preampObjects, preampSetupModel, groupModel, systemManager,
//                   activePreamps, presetReady, peakMode
//   bind to:        sorting, busy (blocks the whole window's pointer input while true)
//   set on request: activePreampsRequested(count), presetReadyRequested(ready),
//                   topPreampRequested(slot), peakModeRequested(mode)
//   forward:        groupAdded(groups) -> the window's groupModelChanged(groups)
//   call:           fillSetupList() on restored/presetLoaded, pingAnswered(slot) on a unit's
//                   pingReceived
//
// The rows follow their units: when a unit's name, ID or link state changes, the rows showing its
// address take the new value (unitChanged); nothing is copied while nothing changes.
//
// "Find units" on the unit pane opens FindUnitsPanel, which searches a range of addresses and
// hands the ticked units back to addFoundUnits().
//
// Rows and slots: an address typed into row r goes to slot r, "Connect" maps the ticked rows
// onto slots 0, 1, 2 ... afresh, and the sort by ID moves rows. A row therefore only knows its
// unit by address, and everything that reads from or writes to a unit for a row finds the slot
// holding the row's address.
Item {
    id: setup

    // The twelve unit models and the twelve unit pages, in slot order.
    property var preamps: []
    property var preampObjects: []
    property ListModel preampSetupModel
    property ListModel groupModel
    property var systemManager: null
    property int activePreamps: 0
    property bool presetReady: false
    property int peakMode: Octo.NoPeak
    readonly property bool sorting: internal.sorting
    readonly property bool busy: presetLoadTimer.running

    signal activePreampsRequested(int count)
    signal presetReadyRequested(bool ready)
    signal topPreampRequested(int slot)
    signal peakModeRequested(int mode)
    // A group row was appended; the window passes the list on and pushes the names.
    signal groupAdded(var groups)

    readonly property int maxRows: Octo.slotCount
    readonly property int frameTop: 12
    readonly property int frameWidth: 718
    readonly property int frameHeight: 528
    // Wider than the group list, so that an address with a port shows whole.
    readonly property int unitPaneWidth: 400
    readonly property int busyMs: 2000
    readonly property color frameColor: "#6d6d6d"

    // --- Unit list -------------------------------------------------------------------------

    function addUnitRow() {
        if (preampSetupModel.count < maxRows)
            preampSetupModel.append({ ipAddr: Octo.unsetAddress, activeEnable: false, name: "",
                                      preampID: 0, preampActive: false })
    }

    // Removes the selected row; the last row stays so that there is always one to type into.
    function removeUnitRow(row) {
        if (preampSetupModel.count > 1 && row >= 0 && row < preampSetupModel.count)
            preampSetupModel.remove(row)
    }

    function rowEnableChanged(row, enabled) {
        console.log("Enabled Changed")
        preampSetupModel.setProperty(row, "activeEnable", enabled)
    }

    // What the operator typed into row r's address field (SetupLogic.addressEntry): a text that
    // is no address is named below the list and stores nothing; a cleared field leaves the row
    // without a unit, unticked and without the old unit's ID and name.
    function addressTyped(row, text) {
        var entry = SetupLogic.addressEntry(text, preampSetupModel.get(row).ipAddr,
                                            function (address) {
                                                return Octo.isUnitAddress(address)
                                            }, Octo.unsetAddress)
        if (entry.refused) {
            internal.addressError = Octo.addressRefusal.arg(text.trim())
            return
        }
        internal.addressError = ""
        if (entry.address === undefined)
            return
        addressEntered(row, entry.address)
        if (entry.cleared) {
            preampSetupModel.setProperty(row, "activeEnable", false)
            preampSetupModel.setProperty(row, "preampID", 0)
            preampSetupModel.setProperty(row, "name", "")
        }
    }

    // An address entered into row r is stored in slot r; a real address is pinged once to learn
    // the unit's ID and name, and ticked for use.
    function addressEntered(row, address) {
        if (internal.sorting)
            return
        console.log("pinging", row)
        preampSetupModel.setProperty(row, "ipAddr", address)
        preampSetupModel.setProperty(row, "preampActive", false)
        var unit = unitAt(row)
        if (unit)
            unit.setIP(address)
        if (address !== Octo.unsetAddress) {
            if (unit)
                unit.ping()
            preampSetupModel.setProperty(row, "activeEnable", true)
        }
    }

    function openFindUnits() {
        findUnitsPanel.listedAddresses = rowValues("ipAddr")
        findUnitsPanel.open()
    }

    // The units ticked in the Find units panel go after the existing rows, in the order given
    // (by ID), each entered as typing its address would: stored in its slot, pinged and ticked.
    // Addresses the list holds already are left out; the units beyond the last row find none.
    function addFoundUnits(addresses) {
        var listed = rowValues("ipAddr")
        var fresh = []
        for (var k = 0; k < addresses.length; k++) {
            if (listed.indexOf(addresses[k]) < 0 && fresh.indexOf(addresses[k]) < 0)
                fresh.push(addresses[k])
        }
        var fitting = Math.max(0, Math.min(fresh.length, maxRows - preampSetupModel.count))
        for (k = 0; k < fitting; k++) {
            addUnitRow()
            addressEntered(preampSetupModel.count - 1, fresh[k])
        }
        findUnitsPanel.listedAddresses = rowValues("ipAddr")
        findUnitsPanel.addResult(fitting, fresh.length - fitting)
    }

    // Sorting moves rows, so the name goes to the unit whose address the row shows, which need
    // not be the slot with the row's number. A row whose address no slot holds renames nothing.
    function renameRow(row, text) {
        console.log("Name Changed")
        var slot = slotOfAddress(preampSetupModel.get(row).ipAddr)
        if (slot >= 0)
            unitAt(slot).setProperty(0, "preampNameRole", text)
    }

    // Rebuilds the list from the units in use, as the saved state or a recalled preset left
    // them. The listed units are asked once for their ID and name; the answers arrive through
    // pingAnswered().
    function fillSetupList() {
        preampSetupModel.clear()
        internal.addressError = ""
        var listed = Math.min(activePreamps, Octo.slotCount)
        var slot
        for (slot = 0; slot < listed; slot++) {
            var unit = unitAt(slot)
            if (!unit)
                break
            // Listed units are ticked for use, as typing their address would have done.
            preampSetupModel.append({ ipAddr: unit.ipAddr, activeEnable: isAddress(unit.ipAddr),
                                      name: unit.preampName, preampID: unit.preampID,
                                      preampActive: false })
        }
        for (slot = 0; slot < preampSetupModel.count; slot++) {
            if (isAddress(unitAt(slot).ipAddr))
                unitAt(slot).ping()
        }
        modelUpdate()
    }

    // Brings every row up to date with the unit holding its address, writing only what differs.
    function modelUpdate() {
        if (!preampSetupModel)
            return
        for (var row = 0; row < preampSetupModel.count; row++) {
            var slot = slotOfAddress(preampSetupModel.get(row).ipAddr)
            if (slot >= 0)
                copyUnitIntoRow(unitAt(slot), row)
        }
    }

    // Sorting moves rows, so the answer is matched by address: it lands in the row that shows
    // this unit's address, not in the row with the slot's number.
    function pingAnswered(slot) {
        var unit = unitAt(slot)
        if (!unit || !preampSetupModel)
            return
        showUnitInRows(unit)
        sortSetupList()
    }

    // A unit's name, ID or link state changed: the rows that show its address follow, unless
    // an earlier slot holds that address too (it is the one the rows show).
    function unitChanged(slot) {
        var unit = unitAt(slot)
        if (unit && preampSetupModel && slotOfAddress(unit.ipAddr) === slot)
            showUnitInRows(unit)
    }

    // Sorts the rows by unit ID (SetupLogic.sortMoves); rows whose unit has not answered yet stay
    // where they are.
    function sortSetupList() {
        internal.sorting = true
        console.log("Sorting")
        SetupLogic.sortMoves(rowValues("preampID")).forEach(function (move) {
            preampSetupModel.move(move.from, move.to, 1)
        })
        internal.sorting = false
    }

    // Puts the ticked rows into slots 0, 1, 2 ... in row order (SetupLogic.connectedRows) and
    // shows their pages, counting the units in use up from 0 as it fills each slot. A slot takes
    // only a unit address, the unset one for a row holding anything else (a saved state or a
    // preset may list one). A preset recalled before is sent to each connected unit once; after
    // that nothing is pending.
    function connectUnits() {
        presetLoadTimer.restart()
        var rows = SetupLogic.connectedRows(rowValues("activeEnable"), Octo.slotCount)
        var connected = rows.length
        activePreampsRequested(0)
        for (var slot = 0; slot < connected; slot++) {
            var page = pageAt(slot)
            if (page)
                page.visible = true
            var unit = unitAt(slot)
            if (unit) {
                var address = preampSetupModel.get(rows[slot]).ipAddr
                unit.setIP(isAddress(address) ? address : Octo.unsetAddress)
                if (presetReady) {
                    ChangeSource.run(ChangeSource.FullSync, function () { unit.sendAllToPreamp() })
                    console.log("Preamp", slot, "synced")
                }
            }
            activePreampsRequested(slot + 1)
        }
        presetReadyRequested(false)
        // Every slot beyond the connected ones loses its page, also slots that an earlier,
        // longer list had shown.
        for (slot = connected; slot < Octo.slotCount; slot++) {
            var unused = pageAt(slot)
            if (unused)
                unused.visible = false
        }
        for (slot = 0; slot < connected; slot++) {
            if (unitAt(slot))
                showUnitInRows(unitAt(slot))
        }
        topPreampRequested(0)
    }

    // --- Group list ------------------------------------------------------------------------

    function addGroupRow() {
        if (groupModel.count >= maxRows)
            return
        groupModel.append({ activeEnable: false, name: Octo.groupName(groupModel.count + 1) })
        groupAdded(groupModel)
    }

    // Always the last group: channels refer to groups by position, so the others keep theirs.
    function removeGroupRow() {
        if (groupModel.count > 1)
            groupModel.remove(groupModel.count - 1)
    }

    function groupEnableChanged(group, enabled) {
        groupModel.setProperty(group, "activeEnable", enabled)
        if (systemManager)
            systemManager.enableGroup(group, enabled)
    }

    function groupNameChanged(group, name) {
        groupModel.setProperty(group, "name", name)
    }

    // --- Defaults --------------------------------------------------------------------------

    function askResetToDefaults() {
        resetDialog.open()
    }

    function resetToDefaults() {
        console.log("Setting to defaults")
        if (systemManager)
            systemManager.toDefaults()
    }

    // --- Helpers ---------------------------------------------------------------------------

    function unitAt(slot) {
        return (preamps && slot >= 0 && slot < preamps.length && preamps[slot]) ? preamps[slot]
                                                                                : null
    }

    function pageAt(slot) {
        return (preampObjects && slot >= 0 && slot < preampObjects.length) ? preampObjects[slot]
                                                                           : null
    }

    // One value of every row, in row order.
    function rowValues(role) {
        var values = []
        for (var row = 0; row < preampSetupModel.count; row++)
            values.push(preampSetupModel.get(row)[role])
        return values
    }

    // A unit's address: not the unset one, and one an operator could have entered.
    function isAddress(address) {
        return address !== undefined && address !== Octo.unsetAddress
                && Octo.isUnitAddress(address)
    }

    // The first slot in slot order that holds the address; the units in use come first, so a
    // connected unit wins over a stale entry further down. -1 when none does.
    function slotOfAddress(address) {
        if (!isAddress(address))
            return -1
        for (var slot = 0; slot < Octo.slotCount; slot++) {
            var unit = unitAt(slot)
            if (unit && unit.ipAddr === address)
                return slot
        }
        return -1
    }

    // The unit's name, ID and whether it answers, in every row that shows its address.
    function showUnitInRows(unit) {
        if (!isAddress(unit.ipAddr))
            return
        for (var row = 0; row < preampSetupModel.count; row++) {
            if (preampSetupModel.get(row).ipAddr === unit.ipAddr)
                copyUnitIntoRow(unit, row)
        }
    }

    function copyUnitIntoRow(unit, row) {
        var entry = preampSetupModel.get(row)
        var active = unit.online !== 0
        if (entry.name !== unit.preampName)
            preampSetupModel.setProperty(row, "name", unit.preampName)
        if (entry.preampID !== unit.preampID)
            preampSetupModel.setProperty(row, "preampID", unit.preampID)
        if (entry.preampActive !== active)
            preampSetupModel.setProperty(row, "preampActive", active)
    }

    QtObject {
        id: internal

        property bool sorting: false
        // Why the last address typed was refused; empty once an address is taken.
        property string addressError: ""
    }

    Timer {
        id: presetLoadTimer
        interval: setup.busyMs
        repeat: false
    }

    Instantiator {
        model: setup.preamps

        Connections {
            target: modelData ? modelData.live : null
            function onPreampNameChanged() { setup.unitChanged(index) }
            function onIdChanged() { setup.unitChanged(index) }
            function onOnlineChanged() { setup.unitChanged(index) }
        }
    }

    FindUnitsPanel {
        id: findUnitsPanel
        objectName: "findUnitsPanel"
        anchors.centerIn: parent
        onAddRequested: setup.addFoundUnits(addresses)
    }

    MessageDialog {
        id: resetDialog
        objectName: "resetDialog"
        title: "Reset To Defaults?"
        text: "This will reset all enabled preamps to factory defaults.  Are you sure?"
        standardButtons: StandardButton.Yes | StandardButton.No
        onYes: setup.resetToDefaults()
    }

    Rectangle {
        id: frame
        anchors.horizontalCenter: parent.horizontalCenter
        y: setup.frameTop
        width: setup.frameWidth
        height: setup.frameHeight
        color: setup.frameColor

        UnitPane {
            id: unitPane
            objectName: "preampPane"
            x: Theme.margin
            y: Theme.margin
            width: setup.unitPaneWidth
            managementModel: setup.preampSetupModel
            onRowTicked: setup.rowEnableChanged(row, enabled)
            onAddressTyped: setup.addressTyped(row, text)
            onRenamed: setup.renameRow(row, text)
            onAddElement: setup.addUnitRow()
            onSubtractElement: setup.removeUnitRow(managementView.currentIndex)
            onToolPressed: setup.openFindUnits()
        }

        GroupPane {
            objectName: "groupPane"
            anchors.left: unitPane.right
            anchors.leftMargin: Theme.margin
            anchors.right: parent.right
            anchors.rightMargin: Theme.margin
            y: Theme.margin
            managementModel: setup.groupModel
            onGroupTicked: setup.groupEnableChanged(group, enabled)
            onGroupRenamed: setup.groupNameChanged(group, name)
            onAddElement: setup.addGroupRow()
            onSubtractElement: setup.removeGroupRow()
        }

        SetupBar {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: Theme.margin
            peakMode: setup.peakMode
            onResetClicked: setup.askResetToDefaults()
            onConnectPressed: setup.connectUnits()
            onPeakModePicked: setup.peakModeRequested(mode)
        }
    }

    Text {
        objectName: "addressError"
        anchors.top: frame.bottom
        anchors.topMargin: Theme.margin
        anchors.left: frame.left
        anchors.leftMargin: Theme.margin
        anchors.right: frame.right
        text: internal.addressError
        color: Theme.errorColor
        font.pixelSize: Theme.fontSize
        wrapMode: Text.Wrap
    }

    // Nothing in the view can be clicked while the units are being connected.
    BusyOverlay {
        anchors.fill: parent
        running: presetLoadTimer.running
    }
}
