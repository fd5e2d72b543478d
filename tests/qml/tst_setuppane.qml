import QtQuick 2.15
import QtTest 1.15
import com.Corvane.controller 1.0
import "../../qml"

// The Setup view hosted as the window hosts it, with recording stand-ins for the unit models,
// the unit pages and the system manager.
TestCase {
    id: testCase
    name: "SetupPane"
    when: windowShown
    visible: true
    width: 760
    height: 560

    readonly property int slotCount: 12
    readonly property string noAddress: "0.0.0.0"

    Component {
        id: unitComponent
        QtObject {
            id: unit
            property string ipAddr: "0.0.0.0"
            property int preampID: 0
            property string preampName: ""
            property int online: 0
            property var calls: []
            // The model's live state, which the rows follow: here the unit itself, with the live
            // state's change signal of its ID.
            readonly property QtObject live: unit
            signal idChanged()
            onPreampIDChanged: idChanged()
            function record(call) { calls = calls.concat([call]) }
            function count(call) { return calls.filter(function(c) { return c === call }).length }
            function setIP(address) { ipAddr = address; record("setIP " + address) }
            function ping() { record("ping") }
            function setProperty(index, role, value) { record([index, role, value].join(" ")) }
            function sendAllToPreamp() { record("sync") }
        }
    }
    Component { id: pageComponent; QtObject { property bool visible: true } }
    Component {
        id: managerComponent
        QtObject {
            property var calls: []
            function enableGroup(group, enable) { calls = calls.concat([group + " " + enable]) }
            function toDefaults() { calls = calls.concat(["toDefaults"]) }
        }
    }
    Component { id: listComponent; ListModel {} }
    Component { id: viewComponent; SetupView { width: testCase.width; height: testCase.height } }
    SignalSpy { id: topSpy; signalName: "topPreampRequested" }
    SignalSpy { id: groupSpy; signalName: "groupAdded" }
    SignalSpy { id: countSpy; signalName: "activePreampsRequested" }

    function address(n) { return "192.168.1." + (100 + n) }
    function numbered(count) {
        return Array.from({ length: count }, function(v, n) { return address(n) })
    }
    function blank(count) { return Array.from({ length: count }, function() { return noAddress }) }

    // The window answers the view's requests by setting the view's inputs.
    function createSetup(rowAddresses, groupCount) {
        var units = [], pages = []
        for (var slot = 0; slot < slotCount; slot++) {
            units.push(createTemporaryObject(unitComponent, testCase))
            pages.push(createTemporaryObject(pageComponent, testCase))
        }
        var rows = createTemporaryObject(listComponent, testCase)
        rowAddresses.forEach(function(ipAddr) {
            rows.append({ ipAddr: ipAddr, activeEnable: false, name: "", preampID: 0,
                          preampActive: false })
        })
        var groups = createTemporaryObject(listComponent, testCase)
        for (var g = 0; g < (groupCount === undefined ? 2 : groupCount); g++)
            groups.append({ activeEnable: false, name: "Group " + (g + 1) })
        var manager = createTemporaryObject(managerComponent, testCase)
        var view = createTemporaryObject(viewComponent, testCase, {
            preamps: units, preampObjects: pages, preampSetupModel: rows, groupModel: groups,
            systemManager: manager })
        view.activePreampsRequested.connect(function(count) { view.activePreamps = count })
        view.presetReadyRequested.connect(function(ready) { view.presetReady = ready })
        view.peakModeRequested.connect(function(mode) { view.peakMode = mode })
        ;[topSpy, groupSpy, countSpy].forEach(function(spy) { spy.target = view; spy.clear() })
        return { view: view, units: units, pages: pages, rows: rows, groups: groups,
                 manager: manager, unitPane: findChild(view, "preampPane"),
                 groupPane: findChild(view, "groupPane") }
    }

    // The list applies moves when it lays out, so it is laid out before a row is looked up.
    function rowItem(pane, row) {
        pane.managementView.forceLayout()
        return pane.managementView.itemAtIndex(row)
    }
    function column(model, role) {
        return Array.from({ length: model.count }, function(v, r) { return model.get(r)[role] })
    }
    function toldUnits(setup) {
        return setup.units.filter(function(unit) { return unit.calls.length > 0 }).length
    }

    // Types into a row's field as far as the field's checks let it, then finishes with Return.
    function typeInto(field, text) {
        mouseClick(field)
        wait(1) // lets the field select its text on focus, as it does before a person types
        for (var i = 0; i < text.length; i++)
            keyClick(text[i])
        keyClick(Qt.Key_Return)
    }

    function enterAddress(setup, row, ipAddr) {
        var field = findChild(rowItem(setup.unitPane, row), "addressField")
        field.forceActiveFocus()
        field.text = ipAddr
        keyClick(Qt.Key_Return)
    }

    // "-" on the unit pane removes the selected row, on the group pane always the last one.
    function test_rowButtons_data() {
        return [
            { tag: "unit +", pane: "unitPane", rows: 11, button: "+", selected: -1 },
            { tag: "unit + at 12", pane: "unitPane", rows: 12, button: "+", selected: -1 },
            { tag: "unit - at 1", pane: "unitPane", rows: 1, button: "-", selected: 0 },
            { tag: "unit -", pane: "unitPane", rows: 3, button: "-", selected: 1 },
            { tag: "unit - unselected", pane: "unitPane", rows: 3, button: "-", selected: -1 },
            { tag: "group +", pane: "groupPane", rows: 2, button: "+", selected: -1 },
            { tag: "group + at 12", pane: "groupPane", rows: 12, button: "+", selected: -1 },
            { tag: "group - at 1", pane: "groupPane", rows: 1, button: "-", selected: 0 },
            { tag: "group -", pane: "groupPane", rows: 3, button: "-", selected: 0 }
        ]
    }

    function test_rowButtons(data) {
        var units = data.pane === "unitPane"
        var setup = units ? createSetup(numbered(data.rows)) : createSetup(blank(1), data.rows)
        var pane = setup[data.pane]
        var model = units ? setup.rows : setup.groups
        var role = units ? "ipAddr" : "name"
        var expected = column(model, role)
        compare(pane.managementView.currentIndex, -1, "no row is selected at start")
        if (data.selected >= 0) {
            mouseClick(rowItem(pane, data.selected))
            compare(pane.managementView.currentIndex, data.selected)
        }
        var removed = units ? data.selected : data.rows - 1
        if (data.button === "+" && data.rows < slotCount)
            expected.push(units ? noAddress : "Group " + (data.rows + 1))
        else if (data.button === "-" && data.rows > 1 && removed >= 0)
            expected.splice(removed, 1)
        mouseClick(findChild(pane, data.button === "+" ? "addButton" : "subtractButton"))
        compare(column(model, role), expected)
        compare(column(model, "activeEnable").indexOf(true), -1)
        var added = !units && expected.length > data.rows
        compare(groupSpy.count, added ? 1 : 0)
        if (added)
            compare(groupSpy.signalArguments[0][0], setup.groups)
    }

    function test_sortByID_data() {
        return [
            { tag: "0 5 3", ids: [0, 5, 3], sorted: [0, 3, 5] },
            { tag: "5 0 3", ids: [5, 0, 3], sorted: [3, 5, 0] }
        ]
    }

    function test_sortByID(data) {
        var setup = createSetup(numbered(data.ids.length))
        for (var r = 0; r < data.ids.length; r++)
            setup.rows.setProperty(r, "preampID", data.ids[r])
        setup.view.sortSetupList()
        compare(column(setup.rows, "preampID"), data.sorted)
        // Whole rows move: each address stays with its ID, and no unit is told anything.
        for (r = 0; r < data.sorted.length; r++)
            compare(setup.rows.get(r).ipAddr, address(data.ids.indexOf(data.sorted[r])))
        compare(toldUnits(setup), 0)
        verify(!setup.view.sorting)
    }

    // The one rule for a unit's address, as the view asks it. Only what the transport's URL
    // writes back unchanged is an address, so that the unit's replies find their row.
    function test_addressRule_data() {
        var label = "a".repeat(63)
        var longest = [label, label, label, "b".repeat(61)].join(".")
        return [
            { tag: "dotted", text: "192.168.1.10", taken: true },
            { tag: "octets 0 and 255", text: "0.0.0.255", taken: true },
            { tag: "octet 256", text: "10.0.0.256", taken: false },
            { tag: "octet with a leading zero", text: "10.0.0.010", taken: false },
            { tag: "three octets", text: "127.1", taken: false },
            { tag: "port 1", text: "10.0.0.1:1", taken: true },
            { tag: "port 65535", text: "10.0.0.1:65535", taken: true },
            { tag: "port 0", text: "10.0.0.1:0", taken: false },
            { tag: "port 65536", text: "10.0.0.1:65536", taken: false },
            { tag: "port with a leading zero", text: "10.0.0.1:080", taken: false },
            { tag: "colon without port", text: "10.0.0.1:", taken: false },
            { tag: "host name", text: "Stage-Left.local", taken: true },
            { tag: "host name with port", text: "rack-2:8081", taken: true },
            { tag: "name of 253", text: longest, taken: true },
            { tag: "name of 254", text: longest + "b", taken: false },
            { tag: "label of 64", text: "a".repeat(64) + ".local", taken: false },
            { tag: "underscore", text: "stage_left", taken: false },
            { tag: "label ending in -", text: "stage-.local", taken: false },
            { tag: "empty label", text: "stage..local", taken: false },
            { tag: "trailing dot", text: "stage.local.", taken: false },
            { tag: "number as name", text: "0x7f", taken: false },
            { tag: "numeric last label", text: "rack.2", taken: false },
            { tag: "blank inside", text: "10.0.0.1 :80", taken: false },
            { tag: "blank before", text: " 10.0.0.1", taken: false },
            { tag: "line break after", text: "10.0.0.1\n", taken: false },
            { tag: "other digits", text: "10.0.0.\u0661", taken: false },
            { tag: "empty", text: "", taken: false }
        ]
    }

    function test_addressRule(data) {
        compare(Octo.isUnitAddress(data.text), data.taken)
    }

    // Clicks into a row's address field and replaces its text by typing.
    function retype(field, text) {
        mouseClick(field)
        field.selectAll()
        keyClick(Qt.Key_Delete)
        for (var i = 0; i < text.length; i++)
            keyClick(text[i])
    }

    // A row holding a unit (ID 7, lamp lit) has its address field visited, retyped with the same
    // text, typed into and escaped, and then given a new text. Only the last is an edit: a unit
    // address is stored in the row's slot and, unless it is 0.0.0.0, pinged and ticked, with the
    // lamp dark until the unit answers; a cleared field stores 0.0.0.0 and leaves the row
    // without its unit; other text is refused beside the list. The field always shows the
    // stored address exactly.
    function test_addressEntry_data() {
        var withPort = "127.0.0.101:8081"
        return [
            { tag: "plain", row: 3, stored: address(3), typed: "10.0.0.7", stores: "10.0.0.7" },
            { tag: "with port, blanks around", row: 1, stored: withPort,
              typed: " 127.0.0.102:65535 ", stores: "127.0.0.102:65535" },
            { tag: "host name", row: 0, stored: "stage-left.local", typed: "Rack-2",
              stores: "Rack-2" },
            { tag: "0.0.0.0 into an unticked row", row: 2, stored: withPort, typed: noAddress,
              stores: noAddress },
            { tag: "0.0.0.0 into a ticked row", row: 1, stored: address(1), ticked: true,
              typed: noAddress, stores: noAddress },
            { tag: "cleared", row: 2, stored: withPort, ticked: true, typed: "",
              stores: noAddress },
            { tag: "invalid", row: 1, stored: withPort, ticked: true, typed: "127.0.0.101:80801" }
        ]
    }

    function test_addressEntry(data) {
        var setup = createSetup(numbered(4))
        setup.rows.setProperty(data.row, "ipAddr", data.stored)
        setup.rows.setProperty(data.row, "activeEnable", data.ticked === true)
        setup.rows.setProperty(data.row, "preampID", 7)
        setup.rows.setProperty(data.row, "name", "Unit7")
        setup.rows.setProperty(data.row, "preampActive", true)
        var before = JSON.stringify(setup.rows.get(data.row))
        var field = findChild(rowItem(setup.unitPane, data.row), "addressField")
        var error = findChild(setup.view, "addressError")
        compare(field.text, data.stored)

        var attempts = [
            { name: "visit", keys: function() { mouseClick(field); keyClick(Qt.Key_Tab) } },
            { name: "same text", keys: function() { retype(field, data.stored)
                                                     keyClick(Qt.Key_Return) } },
            { name: "escape", keys: function() { retype(field, data.typed)
                                                  keyClick(Qt.Key_Escape) } }
        ]
        attempts.forEach(function(attempt) {
            attempt.keys()
            verify(!field.activeFocus, attempt.name)
            compare(toldUnits(setup), 0, attempt.name)
            compare(JSON.stringify(setup.rows.get(data.row)), before, attempt.name)
            tryCompare(field, "text", data.stored)
            compare(error.text, "", attempt.name)
        })

        retype(field, data.typed)
        keyClick(Qt.Key_Return)
        verify(!field.activeFocus)
        if (!data.stores) {
            compare(toldUnits(setup), 0)
            compare(JSON.stringify(setup.rows.get(data.row)), before)
            tryCompare(field, "text", data.stored)
            verify(error.text.indexOf(data.typed) >= 0, error.text)
            // An address taken, here the stored one with a blank after it, clears the message.
            retype(field, data.stored + " ")
            keyClick(Qt.Key_Return)
            compare(error.text, "")
            compare(toldUnits(setup), 0)
            return
        }
        var pinged = data.stores !== noAddress
        var cleared = data.typed === ""
        compare(setup.units[data.row].calls,
                ["setIP " + data.stores].concat(pinged ? ["ping"] : []))
        compare(toldUnits(setup), 1)
        var row = setup.rows.get(data.row)
        compare(row.ipAddr, data.stores)
        compare(row.activeEnable, pinged || (data.ticked === true && !cleared))
        compare(findChild(rowItem(setup.unitPane, data.row), "enableBox").checked,
                row.activeEnable)
        verify(!row.preampActive)
        compare(row.preampID, cleared ? 0 : 7)
        compare(row.name, cleared ? "" : "Unit7")
        tryCompare(field, "text", data.stores)
        compare(error.text, "")
        // The field keeps following the list's address.
        setup.rows.setProperty(data.row, "ipAddr", "10.0.0.9")
        compare(field.text, "10.0.0.9")
    }

    function test_pingAnswerFollowsAddress_data() {
        return [
            { tag: "last unit first", ids: [5, 3, 1], order: [2, 0, 1], typed: "Stage_Left-2" },
            { tag: "middle unit first", ids: [5, 1, 3], order: [1, 2, 0], typed: "FOH rack" }
        ]
    }

    // Each answer goes to the row of the unit's address as the sort moves rows, and so does a
    // name typed into a row later, kept to the characters and length a unit takes.
    function test_pingAnswerFollowsAddress(data) {
        var setup = createSetup(blank(data.ids.length))
        for (var r = 0; r < data.ids.length; r++)
            enterAddress(setup, r, address(r))
        var moved = false
        data.order.forEach(function(slot, answered) {
            setup.units[slot].preampID = data.ids[slot]
            setup.units[slot].preampName = "Unit" + data.ids[slot]
            setup.units[slot].online = 2
            setup.view.pingAnswered(slot)
            var row = column(setup.rows, "ipAddr").indexOf(address(slot))
            moved = moved || row !== slot
            compare(setup.rows.get(row).preampID, data.ids[slot])
            compare(setup.rows.get(row).name, "Unit" + data.ids[slot])
            verify(setup.rows.get(row).preampActive)
            compare(column(setup.rows, "preampID").filter(function(id) { return id > 0 }).length,
                    answered + 1, "no other row took the answer")
        })
        verify(moved, "the answers made the sort move rows")
        compare(column(setup.rows, "preampID"),
                data.ids.slice().sort(function(a, b) { return a - b }))

        var nameField = findChild(rowItem(setup.unitPane, 0), "nameField")
        mouseClick(nameField) // a visit renames nothing
        keyClick(Qt.Key_Tab)
        nameField.text = ""
        typeInto(nameField, data.typed)
        var accepted = data.typed.replace(/[^A-Za-z0-9_-]/g, "").slice(0, 11)
        compare(nameField.text, accepted)
        setup.units.forEach(function(unit, slot) {
            var renamed = slot === data.ids.indexOf(1) // the unit of ID 1, now in row 0
            compare(unit.calls.slice(2), renamed ? ["0 preampNameRole " + accepted] : [])
        })
    }

    function test_renameWithoutUnit() {
        var setup = createSetup(numbered(2))
        rowItem(setup.unitPane, 0).textChanged("Orphan")
        typeInto(findChild(rowItem(setup.unitPane, 1), "nameField"), "Locked")
        compare(findChild(rowItem(setup.unitPane, 1), "nameField").text, "", "read-only while dark")
        compare(toldUnits(setup), 0)
    }

    function test_connect_data() {
        return [
            { tag: "rows 1 and 3 of 4", rows: 4, ticked: [1, 3], presetReady: false },
            { tag: "twelve rows", rows: 12, ticked: Object.keys(blank(12)).map(Number),
              presetReady: false },
            { tag: "after a recall", rows: 3, ticked: [0, 2], presetReady: true },
            { tag: "a row holding no address", rows: 3, ticked: [0, 1], presetReady: false,
              badRow: 1 }
        ]
    }

    function test_connect(data) {
        var setup = createSetup(numbered(data.rows))
        if (data.badRow !== undefined)
            setup.rows.setProperty(data.badRow, "ipAddr", "10.0.0.1:http")
        setup.view.presetReady = data.presetReady
        data.ticked.forEach(function(row) {
            mouseClick(findChild(rowItem(setup.unitPane, row), "enableBox"))
        })
        compare(column(setup.rows, "activeEnable").filter(Boolean).length, data.ticked.length)
        var busyMark = findChild(setup.view, "busyIndicator").contentItem
        mouseClick(findChild(setup.view, "connectButton"))
        // The busy indicator fades in: shown from the start of the fade.
        verify(busyMark.visible && busyMark.opacity < 1)
        // The second "Connect" comes while the first still blocks the pointer.
        for (var pass = 0; pass < 2; pass++) {
            if (pass === 1)
                setup.view.connectUnits()
            mouseClick(findChild(setup.unitPane, "addButton"))
            compare(setup.rows.count, data.rows, "busy: the click does not get through")
            compare(setup.view.activePreamps, data.ticked.length)
            // Counted up from 0 as the slots fill, on each "Connect".
            var once = Array.from({ length: data.ticked.length + 1 }, function(v, k) { return k })
            compare(Array.from({ length: countSpy.count }, function(v, k) {
                return countSpy.signalArguments[k][0] }), pass === 0 ? once : once.concat(once))
            verify(!setup.view.presetReady)
            compare(topSpy.count, pass + 1)
            compare(topSpy.signalArguments[pass][0], 0)
            for (var slot = 0; slot < slotCount; slot++) {
                var used = slot < data.ticked.length
                compare(setup.pages[slot].visible, used, "page " + slot)
                // A row holding something else than a unit address connects no unit.
                if (used)
                    compare(setup.units[slot].ipAddr, data.ticked[slot] === data.badRow
                            ? noAddress : address(data.ticked[slot]))
                compare(setup.units[slot].count("sync"), used && data.presetReady ? 1 : 0)
            }
            verify(setup.view.busy)
        }
        tryCompare(busyMark, "opacity", 1)
        tryCompare(setup.view, "busy", false, 2 * setup.view.busyMs)
        tryCompare(busyMark, "visible", false)
    }

    function test_groupTick_data() {
        return [ { tag: "Group 1", row: 0 }, { tag: "Group 2", row: 1 } ]
    }

    function test_groupTick(data) {
        var setup = createSetup(blank(1))
        var box = findChild(rowItem(setup.groupPane, data.row), "enableBox")
        var mark = findChild(box, "checkMark")
        verify(!mark.visible)
        mouseClick(box)
        verify(mark.visible, "the tick shows the check picture")
        compare(mark.status, Image.Ready)
        mouseClick(box)
        verify(!mark.visible)
        compare(setup.manager.calls, [data.row + " true", data.row + " false"])
        compare(column(setup.groups, "activeEnable").indexOf(true), -1)
    }

    function test_modelUpdateAndFill() {
        var setup = createSetup([])
        var reported = [ { ip: address(7), id: 7, online: 2 }, { ip: noAddress, id: 9, online: 0 },
                         { ip: address(4), id: 4, online: 0 } ]
        reported.forEach(function(unit, slot) {
            setup.units[slot].ipAddr = unit.ip
            setup.units[slot].preampID = unit.id
            setup.units[slot].preampName = "Unit" + unit.id
            setup.units[slot].online = unit.online
        })
        setup.view.activePreamps = reported.length
        setup.view.fillSetupList()
        compare(column(setup.rows, "ipAddr"), reported.map(function(unit) { return unit.ip }))
        compare(column(setup.rows, "name"),
                reported.map(function(unit) { return "Unit" + unit.id }))
        // Listed units are ticked as typing their address would; a row without a unit is not.
        compare(column(setup.rows, "activeEnable"),
                reported.map(function(unit) { return unit.ip !== noAddress }))
        reported.forEach(function(unit, slot) {
            compare(setup.rows.get(slot).preampActive, unit.ip !== noAddress && unit.online !== 0)
            compare(setup.units[slot].count("ping"), unit.ip !== noAddress ? 1 : 0)
        })
        // The rows follow their units' changes as they happen: a unit coming online lights its
        // row, a new name or ID shows; a 0.0.0.0 row takes nothing, nor does a row whose address
        // an earlier slot holds.
        setup.units[2].online = 2
        setup.units[0].preampName = "Renamed"
        setup.units[0].preampID = 17
        setup.units[1].preampName = "Ignored"
        setup.units[5].ipAddr = address(4)
        setup.units[5].preampName = "Stale"
        compare(column(setup.rows, "name"), ["Renamed", "Unit9", "Unit4"])
        compare(column(setup.rows, "preampID"), [17, 9, 4])
        compare(column(setup.rows, "preampActive"), [true, false, true])
    }

    function test_resetToDefaults() {
        var setup = createSetup(blank(1))
        findChild(setup.view, "resetDialog").no()
        compare(setup.manager.calls, [])
        findChild(setup.view, "resetDialog").yes()
        compare(setup.manager.calls, ["toDefaults"])
    }

    function test_peakMode_data() {
        return [ { tag: "Peak Decay", mode: 1 }, { tag: "Peak Hold", mode: 2 } ]
    }

    // The mode is picked from the list, here with the arrow keys; Return takes the focus off.
    function test_peakMode(data) {
        var setup = createSetup(blank(1))
        var box = findChild(setup.view, "peakModeBox")
        box.forceActiveFocus()
        for (var step = 0; step < data.mode; ++step)
            keyClick(Qt.Key_Down)
        compare(setup.view.peakMode, data.mode)
        keyClick(Qt.Key_Return)
        verify(!box.activeFocus)
    }
}
