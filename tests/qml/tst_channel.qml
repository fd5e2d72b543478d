import QtQuick 2.15
import QtTest 1.15
import "qrc:/"

// The channel strip on its own: what it shows for the values it is given and what it emits.
Item {
    id: scene
    width: 400
    height: 500

    Component {
        id: stripComponent
        Channel {}
    }

    SignalSpy { id: spy }

    TestCase {
        name: "ChannelStrip"
        when: windowShown

        function createStrip(properties, signalName) {
            var strip = createTemporaryObject(stripComponent, scene, properties)
            spy.target = strip
            spy.signalName = signalName
            spy.clear()
            return strip
        }

        function cleanup() {
            consoleLog.stop()
        }

        function typeText(text) {
            for (var i = 0; i < text.length; ++i)
                keyClick(text[i])
        }

        // Focuses a field by clicking it (which selects what it holds) and types over it.
        function typeInto(field, text) {
            mouseClick(field)
            verify(field.activeFocus)
            typeText(text)
        }

        function test_gainDisplay_data() {
            return [
                { tag: "step 0", step: 0, shown: "-6" },
                { tag: "step 1", step: 1, shown: "2" },
                { tag: "step 2", step: 2, shown: "3" },
                { tag: "step 68", step: 68, shown: "69" },
                { tag: "group gain 75", step: 75, shown: "69" },
                { tag: "group gain -3", step: -3, shown: "-6" }
            ]
        }

        function test_gainDisplay(data) {
            var strip = createStrip({ gainVal: 30 }, "gainEntered")
            strip.gainVal = data.step
            compare(findChild(strip, "gainField").text, data.shown)
        }

        function test_gainEntry_data() {
            return [
                { tag: "2", typed: "2", step: 1 },
                { tag: "69", typed: "69", step: 68 },
                { tag: "30", typed: "30", step: 29 },
                { tag: "1", typed: "1", step: 0 },
                { tag: "0", typed: "0", step: 0 },
                { tag: "-6", typed: "-6", step: 0 },
                { tag: "70 is refused", typed: "70", step: -1 },
                { tag: "-7 is refused", typed: "-7", step: -1 }
            ]
        }

        // Return commits the typed value as a step, once, and gives the field back to the
        // channel's value, which only a report changes. What the field refuses is not committed,
        // not even by leaving it.
        function test_gainEntry(data) {
            var strip = createStrip({ gainVal: 40 }, "gainEntered")
            var field = findChild(strip, "gainField")
            typeInto(field, data.typed)
            keyClick(Qt.Key_Return)
            field.focus = false
            compare(spy.count, data.step < 0 ? 0 : 1)
            if (data.step >= 0)
                compare(spy.signalArguments[0][0], data.step)
            tryCompare(field, "text", "41")
        }

        function test_nameEntry_data() {
            return [
                { tag: "plain", typed: "Kick_In-2", committed: "Kick_In-2" },
                { tag: "a space", typed: "Kick In", committed: "KickIn" },
                { tag: "a 12th character", typed: "Overhead_L12", committed: "Overhead_L1" },
                { tag: "other signs", typed: "Vox.1/2", committed: "Vox12" }
            ]
        }

        function test_nameEntry(data) {
            consoleLog.start()
            var strip = createStrip({ channelName: "Channel" }, "channelNameEntered")
            var field = findChild(strip, "nameField")
            typeInto(field, data.typed)
            keyClick(Qt.Key_Return)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], data.committed)
            verify(!field.activeFocus)
            tryCompare(field, "text", "Channel")
            compare(consoleLog.count("Editing Finished"), 1)
        }

        function test_autoRepeat_data() {
            return [
                { tag: "up, released", button: "gainUpButton", signal: "gainUpClicked",
                  timer: "gainUp", leave: false },
                { tag: "down, pointer left", button: "gainDownButton",
                  signal: "gainDownClicked", timer: "gainDown", leave: true }
            ]
        }

        // One step at the press; after the 500 ms long press, one per 250 ms repeat tick; the
        // timers are driven by hand so the count does not depend on the machine's load.
        function test_autoRepeat(data) {
            var strip = createStrip({}, data.signal)
            var button = findChild(strip, data.button)
            var longPress = findChild(strip, data.timer + "Longpress")
            var repeat = findChild(strip, data.timer + "Repeat")
            mousePress(button)
            compare(spy.count, 1)
            verify(longPress.running)
            compare(longPress.interval, 500)
            verify(!longPress.repeat)
            verify(!repeat.running)

            longPress.stop()
            longPress.triggered()
            verify(repeat.running)
            compare(repeat.interval, 250)
            verify(repeat.repeat)
            for (var tick = 0; tick < 3; ++tick)
                repeat.triggered()
            compare(spy.count, 4) // what a 1.3 s hold gives: the press and ticks at 750, 1000, 1250

            if (data.leave)
                mouseMove(button, button.width / 2, -50)
            mouseRelease(button, button.width / 2, data.leave ? -50 : button.height / 2)
            verify(!longPress.running)
            verify(!repeat.running)
            compare(spy.count, 4)
        }

        // Enter cannot start a third line; leaving the field commits the text.
        function test_scribbleTwoLines() {
            var strip = createStrip({}, "scribbleEntered")
            var field = findChild(strip, "scribbleField")
            typeInto(field, "one")
            keyClick(Qt.Key_Return)
            typeText("two")
            keyClick(Qt.Key_Enter)
            typeText("!")
            compare(field.text, "one\ntwo!")
            field.focus = false
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], "one\ntwo!")
        }

        // A click asks for the other state and nothing else: the button shows the channel's
        // value whatever was clicked, and a value set from outside reports nothing.
        function test_groupButton() {
            consoleLog.start()
            var strip = createStrip({ group: false }, "groupClicked")
            var button = findChild(strip, "groupButton")
            mouseClick(button)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], true)
            verify(!button.lit)
            strip.group = true
            verify(button.lit)
            mouseClick(button)
            strip.group = false
            verify(!button.lit)
            compare(spy.count, 2)
            compare(spy.signalArguments[1][0], false)
            compare(consoleLog.count("checked changed.  group = false"), 1)
        }
    }
}
