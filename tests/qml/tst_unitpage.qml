import QtQuick 2.15
import QtTest 1.15
import OctoTest 1.0
import "qrc:/"

// The unit page with its status panel: which signal and role each control sends, how the lamps
// blink, and, with a real PreampModel whose commands a simulated unit answers, what comes back to
// the strips and the status panel.
Item {
    id: scene
    width: 1600
    height: 500

    ListModel {
        id: groups
        ListElement { name: "Group 1"; activeEnable: false }
        ListElement { name: "Group 2"; activeEnable: false }
    }

    // When wired, the page is bound to its model the way the window binds it.
    Component {
        id: pageComponent

        Preamp_octo {
            id: page
            property bool wired: false
            property alias unit: unitLink.model
            property alias link: unitLink

            width: 1560
            height: 420
            channelModel: unit
            groupModel: groups
            peakMode: 2
            devID: wired ? unit.live.preampID : 0
            clkSource: wired ? unit.live.clkSource : 0
            clkOutSource: wired ? unit.live.clkOutSource : 0
            outFormat: wired ? unit.live.outFormat : 0
            sampleRate: wired ? unit.live.sampleRate : 0
            online: wired ? unit.live.online : 0
            clkStatus: wired ? unit.live.clkStatus : false
            onChannelChange: if (wired) unit.setProperty(index, prop, value)
            onChannelPropertyChange: if (wired) unit.propertyChange(index, prop)

            UnitLink { id: unitLink; unitId: 4711 }
        }
    }

    SignalSpy { id: changeSpy; signalName: "channelChange" }
    SignalSpy { id: actionSpy; signalName: "channelPropertyChange" }

    TestCase {
        name: "UnitPage"
        when: windowShown

        function createPage(properties) {
            var page = createTemporaryObject(pageComponent, scene, properties)
            changeSpy.target = actionSpy.target = page
            changeSpy.clear()
            actionSpy.clear()
            return page
        }

        function stripAt(page, row) { return findChild(page, "channelList").itemAtIndex(row) }
        function argumentsOf(spy, call) { return [].slice.call(spy.signalArguments[call]) }
        function cleanup() { consoleLog.stop() }

        // A control of strip 2 is clicked, typed into and committed with Return or by leaving it,
        // or stepped to its next entry; so is a status panel list; or the page is given a value
        // to show. A typed gain is a display value, one more than the step it stands for.
        function test_controls_data() {
            var name = ["Editing Finished", "Channel name entered called"]
            return [
                { tag: "48V", click: "phantomButton", role: "phantomRole", shows: "on" },
                { tag: "phase", click: "phaseButton", role: "phaseRole", shows: "on" },
                { tag: "ribbon", click: "ribbonButton", role: "ribbonRole", shows: "on" },
                { tag: "gain up", click: "gainUpButton", role: "gainUpRole" },
                { tag: "gain down", click: "gainDownButton", role: "gainDownRole" },
                { tag: "group button", click: "groupButton", role: "groupRole", value: true,
                  log: ["checked changed.  group = false", "Group Changed!"], shows: "lit" },
                { tag: "meter", click: "meter", role: "overRole", value: false },
                { tag: "gain 30, left", field: "gainField", typed: "30", leave: true,
                  role: "gainRole", value: 29 },
                { tag: "gain 2", field: "gainField", typed: "2", role: "gainRole", value: 1 },
                { tag: "gain 69", field: "gainField", typed: "69", role: "gainRole", value: 68 },
                { tag: "gain 1", field: "gainField", typed: "1", role: "gainRole", value: 0 },
                { tag: "gain 0", field: "gainField", typed: "0", role: "gainRole", value: 0 },
                { tag: "gain 70 is refused", field: "gainField", typed: "70" },
                { tag: "gain -7 is refused", field: "gainField", typed: "-7" },
                { tag: "name", field: "nameField", typed: "Kick_In-2", role: "nameRole",
                  value: "Kick_In-2", log: name },
                { tag: "name, left", field: "nameField", typed: "Kick", leave: true,
                  role: "nameRole", value: "Kick", log: name },
                { tag: "name with a space", field: "nameField", typed: "Kick In",
                  role: "nameRole", value: "KickIn" },
                { tag: "name of 12", field: "nameField", typed: "Overhead_L12", role: "nameRole",
                  value: "Overhead_L1" },
                { tag: "name with other signs", field: "nameField", typed: "Vox.1/2",
                  role: "nameRole", value: "Vox12" },
                { tag: "scribble strip", field: "scribbleField", typed: "D112", leave: true,
                  role: "scribbleStripRole", value: "D112" },
                { tag: "group selector", pick: "groupSelector", role: "groupNameRole", value: 1 },
                { tag: "sample rate", pick: "sampleRateBox", role: "sampleRateRole", value: 1 },
                { tag: "clock source", pick: "clkSourceBox", role: "clkSourceRole", value: 1 },
                { tag: "output format", pick: "outFormatBox", role: "outFormatRole", value: 1 },
                { tag: "clock out", pick: "clkOutSourceBox", role: "clkOutSourceRole", value: 1 },
                { tag: "sample rate shown", show: "sampleRate", value: 4 },
                { tag: "online shown", show: "online", value: 2 },
                { tag: "clock status shown", show: "clkStatus", value: true }
            ]
        }

        // Each control leaves the page as exactly one signal: channelChange when it carries a
        // value, channelPropertyChange when it does not, with the strip's row; a unit setting
        // travels with the strip list's current row, 0 when the page is built. What a field
        // refuses and what the page shows go nowhere. The model of an offline unit takes no
        // change, and a control that asked for one shows the model's value again at once; Return
        // and a new entry also take the focus off a list.
        function test_controls(data) {
            consoleLog.start()
            var page = createPage({ wired: true })
            var list = findChild(page, "channelList")
            compare(list.currentIndex, 0)
            list.currentIndex = 5
            var strip = stripAt(page, 2)
            var shown = { nameField: strip.channelName, gainField: String(strip.gainDisp) }
            if (data.show)
                page[data.show] = data.value
            var name = data.click || data.field || data.pick
            var control = name && findChild(strip, name)
            var row = control ? 2 : 5
            control = control || name && findChild(findChild(page, "statusPanel"), name)
            if (data.click || data.field)
                mouseClick(control)
            if (data.field) {
                for (var i = 0; i < data.typed.length; ++i)
                    keyClick(data.typed[i])
                if (!data.leave)
                    keyClick(Qt.Key_Return)
                compare(control.activeFocus, data.leave || !data.role, "Return commits and leaves")
                control.focus = false
                if (shown[data.field] !== undefined)
                    tryCompare(control, "text", shown[data.field])
            } else if (data.pick) {
                control.forceActiveFocus()
                keyClick(Qt.Key_Down)
                compare(control.currentIndex, 0)
                verify(!control.activeFocus)
                control.forceActiveFocus()
                keyClick(Qt.Key_Return)
                verify(!control.activeFocus)
            }
            var withValue = data.value !== undefined
            compare(changeSpy.count, data.role && withValue ? 1 : 0)
            compare(actionSpy.count, data.role && !withValue ? 1 : 0)
            if (data.role)
                compare(argumentsOf(withValue ? changeSpy : actionSpy, 0),
                        withValue ? [row, data.role, data.value] : [row, data.role])
            if (data.log) // each line once, in this order
                compare(consoleLog.lines().filter(function(line) {
                    return data.log.indexOf(line) >= 0 }), data.log)
            if (data.shows)
                verify(!control[data.shows])
            compare(page.link.commands.length, 0)
        }

        // Two phases of a lamp: steady green in the good state; otherwise the online lamp
        // blinks red and grey, the clock lamp green and grey, also again once the lock is lost;
        // a hidden page's lamps do not blink.
        function test_lamps_data() {
            var green = "#00ff00", grey = "#767676", red = "#ff0000"
            return [
                { tag: "offline", online: 0, phases: [grey, red] },
                { tag: "status overdue", online: 1, phases: [grey, red] },
                { tag: "online", online: 2, phases: [green, green] },
                { tag: "unlocked", locked: [], phases: [green, grey] },
                { tag: "locked", locked: [true], phases: [green, green] },
                { tag: "lock lost", locked: [true, false], phases: [green, grey] }
            ]
        }

        function test_lamps(data) {
            var clock = data.locked !== undefined
            var page = createPage(clock ? {} : { online: data.online })
            ;(data.locked || []).forEach(function(locked) { page.clkStatus = locked })
            var lamp = findChild(page, clock ? "clockLamp" : "onlineLamp")
            var blink = findChild(page, clock ? "clockBlink" : "offlineBlink")
            var phases = [String(lamp.color)]
            if (blink.running)
                blink.triggered()
            phases.push(String(lamp.color))
            compare(phases.sort(), data.phases)
            page.visible = false
            verify(!blink.running, "a hidden page's lamps do not blink")
        }

        // A unit that answers, with two channels grouped and pushed beyond the top of the gain
        // range: building its strips copies the values into them and sends nothing back, so the
        // group keeps its spacing.
        function test_showingAPageWritesNothing() {
            var page = createPage({ wired: true, stripsLoaded: false })
            page.unit.init()
            tryCompare(page, "online", 2)
            page.link.request("CMD_PGNS=1,64")
            page.link.request("CMD_PGNS=2,66")
            page.unit.ping()
            tryCompare(page.unit.channels[1], "gain", 66, 2000)
            for (var row = 0; row < 2; ++row) {
                page.unit.setProperty(row, "groupNameRole", 1)
                page.unit.setProperty(row, "groupRole", true)
            }
            page.unit.groupGainUpdate(1, 6)
            wait(100) // the unit answers the group move, clamped to the top of its range
            compare(page.unit.channels[1].gain, 72)
            page.stripsLoaded = true
            wait(100)

            compare(changeSpy.count + actionSpy.count, 0)
            verify(findChild(stripAt(page, 1), "groupButton").lit)
            compare(findChild(stripAt(page, 1), "groupSelector").currentIndex, 1)
            compare(page.unit.channels[0].gain, 70)
            compare(page.unit.channels[1].gain, 72)
        }

        // "Peak Clear" clears the over of every channel, in row order, and every meter's peak.
        function test_peakClear() {
            var page = createPage({})
            for (var row = 0; row < 8; ++row) {
                stripAt(page, row).meter.currentValue = 30 + row
                stripAt(page, row).meter.currentValue = 0
                compare(stripAt(page, row).meter.currentPeak, 30 + row)
            }
            mouseClick(findChild(page, "peakClearButton"))
            compare(actionSpy.count, 8)
            for (row = 0; row < 8; ++row) {
                compare(argumentsOf(actionSpy, row), [row, "overRole"])
                compare(stripAt(page, row).meter.currentPeak, 0)
            }
        }

        function test_reportsReachThePage() {
            var page = createPage({ wired: true })
            page.link.request("CMD_NMCH=1,Kick")
            page.link.request("CMD_PGNS=1,29")
            page.link.request("CMD_ADFS=4")
            page.unit.init()
            var strip = stripAt(page, 0)
            var status = findChild(page, "statusPanel")
            tryCompare(strip, "channelName", "Kick")
            compare(findChild(strip, "nameField").text, "Kick")
            compare(findChild(strip, "channelLabel").text, "1")
            compare(findChild(strip, "gainField").text, "30")
            compare(findChild(status, "idText").text, "4711")
            compare(findChild(status, "sampleRateBox").currentText, "96 kHz")
            tryVerify(function() { return strip.meter.meterLevel > 0 }, 1000, "meters move")

            // The operator's pick goes to the unit; what the unit reports later comes back, also
            // to a hidden page, which keeps its strips and shows the reports at once when shown.
            findChild(status, "clkSourceBox").activated(1)
            verify(page.link.commands.indexOf("CMD_ADCK=1") >= 0)
            page.visible = false
            page.link.request("CMD_NMCH=1,Snare")
            page.link.request("CMD_PGNS=1,40")
            page.link.request("CMD_ADCK=3")
            page.link.request("SIM_UNLK")
            tryCompare(page.unit.channels[0], "gain", 40, 2000)
            page.visible = true
            compare(stripAt(page, 0), strip)
            verify(strip.visible)
            compare(findChild(strip, "nameField").text, "Snare")
            compare(findChild(strip, "gainField").text, "41")
            tryCompare(findChild(status, "clkSourceBox"), "currentText", "Dante", 2000)
            verify(findChild(status, "clockBlink").running)

            // A clicked "48V" stays grey until the unit reports phantom power on.
            strip = stripAt(page, 2)
            var button = findChild(strip, "phantomButton")
            var top = button.background.gradient.stops[0]
            var offColour = String(top.color)
            page.link.holdReplies = true
            mouseClick(button)
            verify(page.link.commands.indexOf("CMD_P48T=3") >= 0)
            wait(600)
            verify(!strip.phantom)
            compare(String(top.color), offColour)
            page.link.release()
            tryCompare(strip, "phantom", true)
            compare(String(top.color), String(strip.phantomTop))
        }
    }
}
