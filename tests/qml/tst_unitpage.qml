import QtQuick 2.15
import QtTest 1.15
import com.Corvane.controller 1.0 as Octo
import OctoTest 1.0
import "qrc:/"

// The unit page: which signal and role each control sends, and, with a real PreampModel whose
// commands a simulated unit answers, what comes back to the strips and the status panel.
Item {
    id: scene
    width: 1600
    height: 500

    ListModel {
        id: groups
        ListElement { name: "Group 1"; activeEnable: false }
        ListElement { name: "Group 2"; activeEnable: false }
    }

    // When wired, the page is connected to its model the way the window connects it.
    Component {
        id: pageComponent

        Preamp_octo {
            id: page
            property bool wired: false
            property alias unit: unitModel
            property alias link: unitLink

            width: 1560
            height: 420
            channelModel: unitModel
            groupModel: groups
            peakMode: 2
            onChannelChange: if (wired) unitModel.setProperty(index, prop, value)
            onChannelPropertyChange: if (wired) unitModel.propertyChange(index, prop)

            Octo.PreampModel {
                id: unitModel
                ipAddr: "127.0.0.9"
            }
            UnitLink {
                id: unitLink
                unitId: 4711
                model: unitModel
            }
            Connections {
                target: unitModel
                enabled: page.wired
                function onDataChanged() {
                    page.devID = unitModel.preampID
                    page.clkSource = unitModel.clkSource
                    page.clkOutSource = unitModel.clkOutSource
                    page.outFormat = unitModel.outFormat
                    page.sampleRate = unitModel.sampleRate
                    page.online = unitModel.online
                    page.clkStatus = unitModel.clkStatus
                }
            }
        }
    }

    SignalSpy { id: changeSpy; signalName: "channelChange" }
    SignalSpy { id: actionSpy; signalName: "channelPropertyChange" }

    TestCase {
        name: "UnitPage"
        when: windowShown

        function createPage(wired) {
            var page = createTemporaryObject(pageComponent, scene, { wired: wired })
            changeSpy.target = actionSpy.target = page
            changeSpy.clear()
            actionSpy.clear()
            return page
        }

        function stripAt(page, row) {
            return findChild(page, "channelList").itemAtIndex(row)
        }

        function argumentsOf(spy, call) {
            return Array.prototype.slice.call(spy.signalArguments[call])
        }

        function topColour(button) {
            return String(button.background.gradient.stops[0].color)
        }

        function typeInto(field, text) {
            mouseClick(field)
            for (var i = 0; i < text.length; ++i)
                keyClick(text[i])
        }

        function pickGroup(strip, entry) {
            var selector = findChild(strip, "groupSelector")
            mouseClick(selector)
            tryCompare(selector.popup, "opened", true)
            mouseClick(selector.popup.contentItem.itemAtIndex(entry))
        }

        function cleanup() {
            consoleLog.stop()
        }

        // A control is clicked, typed into (then left, which commits) or picked from.
        function test_controls_data() {
            return [
                { tag: "48V", click: "phantomButton", role: "phantomRole" },
                { tag: "phase", click: "phaseButton", role: "phaseRole" },
                { tag: "ribbon", click: "ribbonButton", role: "ribbonRole" },
                { tag: "gain up", click: "gainUpButton", role: "gainUpRole" },
                { tag: "gain down", click: "gainDownButton", role: "gainDownRole" },
                { tag: "group button", click: "groupButton", role: "groupRole", value: true,
                  log: "Group Changed!" },
                { tag: "meter", click: "meter", role: "overRole", value: false },
                { tag: "group selector", pick: 1, role: "groupNameRole", value: 1 },
                { tag: "gain field", field: "gainField", typed: "30", role: "gainRole",
                  value: 29 },
                { tag: "name field", field: "nameField", typed: "Kick", role: "nameRole",
                  value: "Kick", log: "Channel name entered called" },
                { tag: "scribble strip", field: "scribbleField", typed: "D112",
                  role: "scribbleStripRole", value: "D112" }
            ]
        }

        // Each control leaves the page as exactly one signal: channelChange when it carries a
        // value, channelPropertyChange when it does not, with the strip's row.
        function test_controls(data) {
            consoleLog.start()
            var page = createPage(false)
            var strip = stripAt(page, 2)
            if (data.click) {
                mouseClick(findChild(strip, data.click))
            } else if (data.field) {
                typeInto(findChild(strip, data.field), data.typed)
                findChild(strip, data.field).focus = false
            } else {
                pickGroup(strip, data.pick)
            }
            var withValue = data.value !== undefined
            compare(changeSpy.count, withValue ? 1 : 0)
            compare(actionSpy.count, withValue ? 0 : 1)
            var args = argumentsOf(withValue ? changeSpy : actionSpy, 0)
            compare(args, withValue ? [2, data.role, data.value] : [2, data.role])
            if (data.log)
                compare(consoleLog.count(data.log), 1)
        }

        // The four boxes are picked from; what the page shows goes nowhere.
        function test_statusPanel_data() {
            return [
                { tag: "sample rate", box: "sampleRateBox", value: 4, role: "sampleRateRole" },
                { tag: "clock source", box: "clkSourceBox", value: 2, role: "clkSourceRole" },
                { tag: "output format", box: "outFormatBox", value: 1, role: "outFormatRole" },
                { tag: "clock out", box: "clkOutSourceBox", value: 1, role: "clkOutSourceRole" },
                { tag: "sample rate shown", page: "sampleRate", value: 4 },
                { tag: "online shown", page: "online", value: 2 },
                { tag: "clock status shown", page: "clkStatus", value: true }
            ]
        }

        // Unit settings travel with the strip list's current row, 0 when the page is built.
        function test_statusPanel(data) {
            var page = createPage(false)
            var list = findChild(page, "channelList")
            compare(list.currentIndex, 0)
            list.currentIndex = 5
            if (data.box)
                findChild(page, data.box).activated(data.value)
            else
                page[data.page] = data.value
            compare(changeSpy.count, data.role ? 1 : 0)
            if (data.role)
                compare(argumentsOf(changeSpy, 0), [5, data.role, data.value])
        }

        // A unit that answers, with two channels grouped and pushed beyond the top of the gain
        // range: building its strips copies the values into them and sends nothing back, so the
        // group keeps its spacing.
        function test_showingAPageWritesNothing() {
            var page = createTemporaryObject(pageComponent, scene,
                                             { wired: true, stripsLoaded: false })
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
            changeSpy.target = actionSpy.target = page
            changeSpy.clear()
            actionSpy.clear()

            page.stripsLoaded = true
            wait(100)

            compare(changeSpy.count + actionSpy.count, 0)
            verify(findChild(stripAt(page, 1), "groupButton").lit)
            compare(findChild(stripAt(page, 1), "groupSelector").currentIndex, 1)
            compare(page.unit.channels[0].gain, 70)
            compare(page.unit.channels[1].gain, 72)
        }

        // While the unit is offline the model takes no change; each control that asked for one
        // shows the model's value again at once.
        function test_refusedChangesDoNotStay_data() {
            return [
                { tag: "group button", click: "groupButton", shown: "lit", value: false },
                { tag: "group selector", pick: 1, shown: "currentIndex", value: 0 },
                { tag: "sample rate", box: "sampleRateBox", entry: 4, value: 0 },
                { tag: "clock source", box: "clkSourceBox", entry: 2, value: 0 },
                { tag: "output format", box: "outFormatBox", entry: 1, value: 0 },
                { tag: "clock out", box: "clkOutSourceBox", entry: 1, value: 0 }
            ]
        }

        function test_refusedChangesDoNotStay(data) {
            var page = createPage(true)
            compare(page.unit.online, 0)
            var strip = stripAt(page, 3)
            var status = findChild(page, "statusPanel")
            if (data.click) {
                mouseClick(findChild(strip, data.click))
                compare(findChild(strip, data.click)[data.shown], data.value)
            } else if (data.pick !== undefined) {
                pickGroup(strip, data.pick)
                compare(findChild(strip, "groupSelector").currentIndex, data.value)
            } else {
                var box = findChild(status, data.box)
                mouseClick(box)
                tryCompare(box.popup, "opened", true)
                mouseClick(box.popup.contentItem.itemAtIndex(data.entry))
                compare(box.currentIndex, data.value)
            }
            compare(changeSpy.count, 1)
            compare(page.link.commands.length, 0)
        }

        // "Peak Clear" clears the over of every channel, in row order, and every meter's peak.
        function test_peakClear() {
            var page = createPage(false)
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
            var page = createPage(true)
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
            compare(String(findChild(status, "onlineLamp").color), "#00ff00")
            compare(String(findChild(status, "clockLamp").color), "#00ff00")
            verify(!findChild(status, "clockBlink").running)
            tryVerify(function() { return strip.meter.meterLevel > 0 }, 1000, "meters move")

            // The operator's pick goes to the unit; what the unit reports later comes back.
            findChild(status, "clkSourceBox").activated(1)
            verify(page.link.commands.indexOf("CMD_ADCK=1") >= 0)
            page.link.request("CMD_ADCK=3")
            page.link.request("CMD_PGNS=1,40")
            page.link.request("SIM_UNLK")
            tryCompare(findChild(status, "clkSourceBox"), "currentText", "Dante", 2000)
            compare(findChild(strip, "gainField").text, "41")
            verify(findChild(status, "clockBlink").running)
        }

        // A hidden page keeps its strips; shown again, it shows them at once with what the unit
        // reported while the page was hidden.
        function test_shownAgainShowsReportsFromWhileHidden() {
            var page = createPage(true)
            page.unit.init()
            tryCompare(page, "online", 2)
            var strip = stripAt(page, 0)
            page.visible = false
            page.link.request("CMD_NMCH=1,Snare")
            page.link.request("CMD_PGNS=1,40")
            tryCompare(page.unit.channels[0], "gain", 40, 2000)
            page.visible = true
            compare(stripAt(page, 0), strip)
            verify(strip.visible)
            compare(findChild(strip, "nameField").text, "Snare")
            compare(findChild(strip, "gainField").text, "41")
        }

        // A clicked "48V" stays grey until the unit reports phantom power on.
        function test_switchWaitsForTheUnit() {
            var page = createPage(true)
            page.unit.init()
            tryCompare(page, "online", 2)
            var strip = stripAt(page, 2)
            var button = findChild(strip, "phantomButton")
            var offColour = topColour(button)
            page.link.holdReplies = true
            mouseClick(button)
            verify(page.link.commands.indexOf("CMD_P48T=3") >= 0)
            wait(600)
            verify(!strip.phantom)
            compare(topColour(button), offColour)
            page.link.holdReplies = false
            tryCompare(strip, "phantom", true)
            compare(topColour(button), String(strip.phantomTop))
        }
    }
}
