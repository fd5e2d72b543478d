import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.3
import com.Corvane.controller 1.0
import "SetupLogic.js" as SetupLogic

// The Setup view: the unit list, the gain-group list, "Reset to defaults", "Connect" and the
// peak display mode.
//
// The window owns the lists and its own state; the view never writes the window's properties,
// so the window's bindings into the view stay intact:
//   bind in:        preamps, preampObjects, preampSetupModel, groupModel, systemManager,
//                   activePreamps, presetReady, peakMode
//   bind to:        sorting, busy (blocks the whole window's pointer input while true)
//   set on request: activePreampsRequested(count), presetReadyRequested(ready),
//                   topPreampRequested(slot), peakModeRequested(mode)
//   forward:        groupAdded(groups) -> the window's groupModelChanged(groups)
//   call:           fillSetupList() on restored/presetLoaded, modelUpdate() on a unit's data
//                   change, pingAnswered(slot) on a unit's pingReceived
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
    property int peakMode: 0
    readonly property bool sorting: internal.sorting
    readonly property bool busy: presetLoadTimer.running

    signal activePreampsRequested(int count)
    signal presetReadyRequested(bool ready)
    signal topPreampRequested(int slot)
    signal peakModeRequested(int mode)
    // A group row was appended; the window passes the list on and pushes the names.
    signal groupAdded(var groups)

    readonly property int maxRows: Octo.slotCount
    readonly property int margin: 6
    readonly property int frameTop: 12
    // Wider than the group list, so that an address with a port shows whole.
    readonly property int unitPaneWidth: 400
    readonly property int barHeight: 50
    readonly property int buttonWidth: 150
    readonly property int peakBoxWidth: 120
    readonly property int peakEntryHeight: 42
    readonly property int peakPopupMs: 250
    readonly property int busyMs: 2000
    readonly property int busySize: 64
    readonly property int busyDotCount: 6
    readonly property int busyDotSize: 10
    readonly property int busyTurnMs: 1250
    readonly property int busyFadeMs: 250
    readonly property int fontSize: 13
    readonly property var peakModeNames: ["No Peak", "Peak Decay", "Peak Hold"]
    readonly property color frameColor: "#6d6d6d"
    readonly property color barColor: "#496c89"
    readonly property color panelColor: "#333240"
    readonly property color rowColor: "#858585"
    readonly property color borderColor: "#161616"
    readonly property color textColor: "white"
    readonly property color selectionColor: "#26c9ff"
    readonly property color errorColor: "#ffd24d"
    readonly property color buttonTop: "#69697C"
    readonly property color buttonBottom: "#424251"
    readonly property color buttonPressedTop: "#3e3e46"
    readonly property color buttonPressedBottom: "#1f1f24"

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

    // Runs on every data change of every unit while the view is shown, so it only compares
    // and writes what differs.
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
        if (isAddress(unit.ipAddr)) {
            for (var row = 0; row < preampSetupModel.count; row++) {
                if (preampSetupModel.get(row).ipAddr === unit.ipAddr)
                    copyUnitIntoRow(unit, row)
            }
        }
        sortSetupList()
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
            var unitInUse = unitAt(slot)
            if (!unitInUse || !isAddress(unitInUse.ipAddr))
                continue
            for (var row = 0; row < preampSetupModel.count; row++) {
                if (preampSetupModel.get(row).ipAddr === unitInUse.ipAddr)
                    copyUnitIntoRow(unitInUse, row)
            }
        }
        topPreampRequested(0)
    }

    // --- Group list ------------------------------------------------------------------------

    function addGroupRow() {
        if (groupModel.count >= maxRows)
            return
        groupModel.append({ activeEnable: false, name: "Group " + (groupModel.count + 1) })
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
        width: 718
        height: 528
        color: setup.frameColor

        ManagementPane {
            id: unitPane
            objectName: "preampPane"
            x: setup.margin
            y: setup.margin
            width: setup.unitPaneWidth
            title: "Preamp Management"
            toolLabel: Octo.findUnitsTexts.title
            managementModel: setup.preampSetupModel
            header: Component { PreampManagementHeader { width: unitPane.managementView.width } }
            managementItem: Component {
                PreampManagementItem {
                    // Taking the row's values on creation is no change, so a new row ticks
                    // nothing; only what happens to an existing row counts.
                    property bool created: false

                    width: unitPane.managementView.width
                    ipAddr: model.ipAddr
                    activeEnable: model.activeEnable
                    name: model.name
                    preampID: model.preampID
                    preampActive: model.preampActive
                    Component.onCompleted: created = true
                    // The row writes its tick when toggled; once the model holds the value, the
                    // property follows the model again. An address edit is only reported: the
                    // view decides what it stores, and the row follows the model throughout.
                    onActiveEnableChanged: {
                        if (!created)
                            return
                        setup.rowEnableChanged(index, activeEnable)
                        activeEnable = Qt.binding(function() { return model.activeEnable })
                    }
                    onAddressEdited: setup.addressTyped(index, text)
                    onTextChanged: setup.renameRow(index, text)
                }
            }
            onAddElement: setup.addUnitRow()
            onSubtractElement: setup.removeUnitRow(managementView.currentIndex)
            onToolPressed: setup.openFindUnits()
        }

        ManagementPane {
            id: groupPane
            objectName: "groupPane"
            anchors.left: unitPane.right
            anchors.leftMargin: setup.margin
            anchors.right: parent.right
            anchors.rightMargin: setup.margin
            y: setup.margin
            title: "Group Management"
            managementModel: setup.groupModel
            header: Component { GroupManagementHeader { width: groupPane.managementView.width } }
            managementItem: Component {
                GroupManagementItem {
                    // As with the unit rows, creating a row enables or renames nothing.
                    property bool created: false

                    width: groupPane.managementView.width
                    name: model.name
                    activeEnable: model.activeEnable
                    Component.onCompleted: created = true
                    onActiveEnableChanged: {
                        if (!created)
                            return
                        setup.groupEnableChanged(index, activeEnable)
                        activeEnable = Qt.binding(function() { return model.activeEnable })
                    }
                    onNameChanged: {
                        if (created)
                            setup.groupNameChanged(index, name)
                    }
                }
            }
            onAddElement: setup.addGroupRow()
            onSubtractElement: setup.removeGroupRow()
        }

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: setup.margin
            height: setup.barHeight
            color: setup.barColor

            Rectangle {
                anchors.fill: parent
                anchors.margins: setup.margin
                color: setup.panelColor

                Button {
                    id: resetButton
                    objectName: "resetButton"
                    anchors.left: parent.left
                    width: setup.buttonWidth
                    height: parent.height
                    onClicked: setup.askResetToDefaults()

                    contentItem: Text {
                        text: "Reset to defaults"
                        color: setup.textColor
                        font.pixelSize: setup.fontSize
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle {
                        gradient: Gradient {
                            GradientStop {
                                position: 0
                                color: resetButton.down ? setup.buttonPressedTop : setup.buttonTop
                            }
                            GradientStop {
                                position: 1
                                color: resetButton.down ? setup.buttonPressedBottom
                                                        : setup.buttonBottom
                            }
                        }
                    }
                }

                Button {
                    id: connectButton
                    objectName: "connectButton"
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: setup.buttonWidth
                    height: parent.height
                    onPressed: setup.connectUnits()

                    contentItem: Text {
                        text: "Connect"
                        color: setup.textColor
                        font.pixelSize: setup.fontSize
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle {
                        gradient: Gradient {
                            GradientStop {
                                position: 0
                                color: connectButton.down ? setup.buttonPressedTop : setup.buttonTop
                            }
                            GradientStop {
                                position: 1
                                color: connectButton.down ? setup.buttonPressedBottom
                                                          : setup.buttonBottom
                            }
                        }
                    }
                }

                Row {
                    anchors.right: parent.right
                    anchors.rightMargin: setup.margin
                    height: parent.height
                    spacing: setup.margin

                    Text {
                        height: parent.height
                        text: "Peak Mode:"
                        color: setup.textColor
                        font.pixelSize: setup.fontSize
                        verticalAlignment: Text.AlignVCenter
                    }

                    ComboBox {
                        id: peakBox
                        objectName: "peakModeBox"
                        width: setup.peakBoxWidth
                        height: parent.height
                        model: setup.peakModeNames
                        currentIndex: setup.peakMode
                        font.pixelSize: setup.fontSize
                        onActivated: setup.peakModeRequested(index)
                        Keys.onReturnPressed: peakBox.focus = false
                        Keys.onEnterPressed: peakBox.focus = false

                        delegate: ItemDelegate {
                            width: peakBox.width
                            height: setup.peakEntryHeight
                            text: modelData
                            font.pixelSize: setup.fontSize
                            highlighted: peakBox.highlightedIndex === index
                        }

                        popup: Popup {
                            y: peakBox.height
                            width: peakBox.width
                            height: setup.peakModeNames.length * setup.peakEntryHeight
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
                                    to: setup.peakModeNames.length * setup.peakEntryHeight
                                    duration: setup.peakPopupMs
                                    easing.type: Easing.OutSine
                                }
                            }
                            exit: Transition {
                                NumberAnimation {
                                    property: "height"
                                    to: 0
                                    duration: setup.peakPopupMs
                                    easing.type: Easing.OutSine
                                }
                            }
                        }
                    }
                }
            }
        }
    }

    Text {
        objectName: "addressError"
        anchors.top: frame.bottom
        anchors.topMargin: setup.margin
        anchors.left: frame.left
        anchors.leftMargin: setup.margin
        anchors.right: frame.right
        text: internal.addressError
        color: setup.errorColor
        font.pixelSize: setup.fontSize
        wrapMode: Text.Wrap
    }

    BusyIndicator {
        id: busyIndicator
        objectName: "busyIndicator"
        anchors.centerIn: parent
        width: setup.busySize
        height: setup.busySize
        running: presetLoadTimer.running

        contentItem: Item {
            implicitWidth: setup.busySize
            implicitHeight: setup.busySize
            // The animator fades on the render thread and writes the opacity only when it has
            // finished, so the content is shown from the start of a fade in, not only after it.
            opacity: busyIndicator.running ? 1 : 0
            visible: busyIndicator.running || opacity > 0

            Behavior on opacity {
                OpacityAnimator { duration: setup.busyFadeMs }
            }

            RotationAnimator on rotation {
                running: busyIndicator.running
                from: 0
                to: 360
                loops: Animation.Infinite
                duration: setup.busyTurnMs
            }

            Repeater {
                model: setup.busyDotCount

                Rectangle {
                    readonly property real angle: 2 * Math.PI * index / setup.busyDotCount
                    readonly property real radiusOfTurn: (setup.busySize - setup.busyDotSize) / 2

                    x: radiusOfTurn + radiusOfTurn * Math.cos(angle)
                    y: radiusOfTurn + radiusOfTurn * Math.sin(angle)
                    width: setup.busyDotSize
                    height: setup.busyDotSize
                    radius: width / 2
                    color: setup.textColor
                }
            }
        }
    }

    // Nothing in the view can be clicked while the units are being connected.
    MouseArea {
        anchors.fill: parent
        z: 10
        enabled: setup.busy
        visible: setup.busy
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: wheel.accepted = true
    }
}
