import QtQuick 2.15
import QtTest 1.15
import "qrc:/"

// The channel strip and its level meter on their own: what they show for the values they are
// given and what they emit. A test case is not visible itself: the items live in this one, so
// that they are drawn.
Item {
    id: scene
    width: 400
    height: 500

    Component { id: stripComponent; Channel {} }
    Component { id: meterComponent; Meter {} }
    SignalSpy { id: spy }

    // A new strip or meter whose signal signalName the spy counts.
    function watched(item, signalName) {
        spy.target = item
        spy.signalName = signalName
        spy.clear()
        return item
    }

    TestCase {
        name: "ChannelStrip"
        when: windowShown

        function createStrip(properties, signal) {
            return scene.watched(createTemporaryObject(stripComponent, scene, properties), signal)
        }

        function cleanup() { consoleLog.stop() }

        function typeText(text) {
            for (var i = 0; i < text.length; ++i)
                keyClick(text[i])
        }

        function test_gainDisplay_data() {
            return [
                { tag: "step 0", step: 0, shown: "-6" },
                { tag: "step 1", step: 1, shown: "2" },
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

        function test_autoRepeat_data() {
            return [
                { tag: "up, released", step: "gainUp", leave: false },
                { tag: "down, pointer left", step: "gainDown", leave: true }
            ]
        }

        // One step at the press; after the 500 ms long press, one per 250 ms repeat tick; the
        // timers are driven by hand so the count does not depend on the machine's load.
        function test_autoRepeat(data) {
            var strip = createStrip({}, data.step + "Clicked")
            var button = findChild(strip, data.step + "Button")
            var longPress = findChild(strip, data.step + "Longpress")
            var repeat = findChild(strip, data.step + "Repeat")
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
            mouseClick(field)
            typeText("one")
            keyClick(Qt.Key_Return)
            typeText("two")
            keyClick(Qt.Key_Enter)
            typeText("!")
            compare(field.text, "one\ntwo!")
            field.focus = false
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], "one\ntwo!")
        }

        // Each field is visited while a report changes the channel, retyped with the text it
        // shows, typed into and escaped, and then given a new text: only the last is sent, once.
        // A grouped channel beyond the top of the range shows 69, which it never sends untyped.
        function test_fieldSendsOnlyAChange_data() {
            return [
                { tag: "gain", field: "gainField", signal: "gainEntered", values: { gainVal: 29 },
                  report: { gainVal: 9 }, shown: "10", typed: "-6", sent: 0 },
                { tag: "grouped gain beyond the range", field: "gainField", signal: "gainEntered",
                  values: { group: true, gainVal: 71 }, report: { gainVal: 72 }, shown: "69",
                  typed: "60", sent: 59 },
                { tag: "name", field: "nameField", signal: "channelNameEntered",
                  values: { channelName: "Ch3" }, report: { channelName: "Ch9" }, shown: "Ch9",
                  typed: "Kick", sent: "Kick" },
                { tag: "scribble", field: "scribbleField", signal: "scribbleEntered",
                  values: { scribbleStrip: "D112" }, report: { scribbleStrip: "SM7" },
                  shown: "SM7", typed: "U87", sent: "U87", leaves: true }
            ]
        }

        function test_fieldSendsOnlyAChange(data) {
            var strip = createStrip(data.values, data.signal)
            var field = findChild(strip, data.field)
            var elsewhere = findChild(strip, data.field === "gainField" ? "nameField" : "gainField")
            var retype = function(text) {
                mouseClick(field)
                field.selectAll()
                keyClick(Qt.Key_Delete)
                typeText(text)
            }
            // Return commits a line; the scribble strip, which takes Return, commits on leaving.
            var commit = function() { mouseClick(data.leaves ? elsewhere : field) }
            if (!data.leaves)
                commit = function() { keyClick(Qt.Key_Return) }

            mouseClick(field)
            Object.assign(strip, data.report)
            mouseClick(elsewhere)
            compare(spy.count, 0, "visited")
            tryCompare(field, "text", data.shown)

            retype(data.shown)
            commit()
            compare(spy.count, 0, "the same text")

            retype(data.typed)
            keyClick(Qt.Key_Escape)
            verify(!field.activeFocus)
            compare(field.text, data.shown)
            compare(spy.count, 0, "escaped")

            retype(data.typed)
            commit()
            verify(!field.activeFocus)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], data.sent)
        }

        // A click asks for the other state and nothing else: the button shows the channel's
        // value whatever was clicked, and a value set from outside reports nothing. The click's
        // line names the state it asks to leave.
        function test_groupButton() {
            consoleLog.start()
            var strip = createStrip({ group: true }, "groupClicked")
            var button = findChild(strip, "groupButton")
            mouseClick(button)
            verify(button.lit)
            strip.group = false
            verify(!button.lit)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], false)
            compare(consoleLog.lines().filter(function(line) {
                return line.indexOf("checked changed") === 0 }), ["checked changed.  group = true"])
        }
    }

    TestCase {
        name: "Meter"
        when: windowShown

        function createMeter(properties) {
            var meter = createTemporaryObject(meterComponent, scene, properties)
            return scene.watched(meter, "cleared")
        }

        // The colour of every level unit of the bar area, bottom first, read from a grab: each
        // unit is three pixels high here, sampled in its middle row.
        function unitColours(meter, extraNames) {
            var image = grabImage(meter)
            var area = findChild(meter, "barArea")
            var names = Object.assign({ [meter.greenColor]: "green", [meter.yellowColor]: "yellow",
                                        [meter.orangeColor]: "orange", [meter.redColor]: "red",
                                        [meter.emptyColor]: "black" }, extraNames)
            var colours = []
            for (var unit = 0; unit < meter.levelUnits; ++unit) {
                var y = area.y + area.height - meter.pixels(unit) - 2
                var pixel = String(image.pixel(area.x + area.width / 2, y))
                colours.push(names[pixel] !== undefined ? names[pixel] : pixel)
            }
            return colours
        }

        function test_segments_data() {
            return [
                { tag: "empty", level: 0, runs: [0, 0, 0] },
                { tag: "1", level: 1, runs: [1, 0, 0] },
                { tag: "25", level: 25, runs: [25, 0, 0] },
                { tag: "26", level: 26, runs: [25, 1, 0] },
                { tag: "51", level: 51, runs: [25, 26, 0] },
                { tag: "52", level: 52, runs: [25, 26, 1] },
                { tag: "62", level: 62, runs: [25, 26, 11] },
                { tag: "63 without over", level: 63, runs: [25, 26, 11] },
                { tag: "beyond the scale", level: 80, runs: [25, 26, 11] },
                { tag: "63 with over", level: 63, over: true, runs: [25, 26, 11] },
                { tag: "over flag at 10", level: 10, over: true, runs: [10, 0, 0] }
            ]
        }

        // Green, yellow and orange stack from the bottom; the red segment of an over reading
        // stays hidden under the over block, which is red only while the channel is over. A
        // press blacks the block out until the next repaint shows the flag again.
        function test_segments(data) {
            var over = data.over === true
            var meter = createMeter({ peakMode: 0, currentValue: data.level, over: over })
            var expected = []
            ;["green", "yellow", "orange"].forEach(function(colour, run) {
                for (var i = 0; i < data.runs[run]; ++i)
                    expected.push(colour)
            })
            while (expected.length < meter.levelUnits)
                expected.push(over && expected.length >= meter.redStart ? "red" : "black")
            compare(unitColours(meter), expected)
            compare(findChild(meter, "redSegment").height, data.level >= 63 ? meter.pixels(5) : 0)
            compare(findChild(meter, "overLabel").visible, over)

            mousePress(meter)
            compare(spy.count, 1)
            var dark = Array(meter.levelUnits - meter.redStart).fill("black")
            compare(unitColours(meter).slice(meter.redStart), dark)
            mouseRelease(meter)
            meter.draw()
            compare(unitColours(meter), expected)
        }

        function test_fallBack() {
            var meter = createMeter({ currentValue: 60 })
            var decay = findChild(meter, "meterDecay")
            compare(meter.meterLevel, 60)
            meter.currentValue = 10
            compare(meter.meterLevel, 60)
            var expected = [57, 54, 51, 48, 45, 42, 39, 36, 33, 30, 27, 24, 21, 18, 15, 12, 10, 10]
            for (var i = 0; i < expected.length; ++i) {
                decay.triggered()
                compare(meter.meterLevel, expected[i], "tick " + (i + 1))
            }
            meter.currentValue = 30
            compare(meter.meterLevel, 30)
        }

        function test_highPeaksStayVisible_data() {
            return [{ tag: "40", peak: 40 }, { tag: "59", peak: 59 }, { tag: "61", peak: 61 },
                    { tag: "62", peak: 62 }]
        }

        // A held peak shows as a band of two units right above its level; just below the over
        // level, as a whole band under the over block, which stays black without an over.
        function test_highPeaksStayVisible(data) {
            var meter = createMeter({ peakMode: 2 })
            var decay = findChild(meter, "meterDecay")
            meter.currentValue = data.peak
            meter.currentValue = 0
            while (meter.meterLevel > 0)
                decay.triggered()
            var band = findChild(meter, "peakBand")
            var colours = unitColours(meter, { [String(band.color)]: "peak" })
            compare(colours.filter(function(c) { return c === "peak" }).length, 2)
            compare(colours.indexOf("peak"), Math.min(data.peak, meter.redStart - 2))
            compare(colours.slice(meter.redStart), Array(meter.redUnits + 1).fill("black"))
        }

        function test_peakModes_data() {
            return [ { tag: "no peak", mode: 0 }, { tag: "peak decay", mode: 1 },
                     { tag: "peak hold", mode: 2 } ]
        }

        // One reading of 40 followed by silence: a yellow band that is not shown in mode 0, fades
        // out over decayTime in mode 1 and stays until the meter is pressed in mode 2.
        function test_peakModes(data) {
            var meter = createMeter({ peakMode: data.mode })
            var band = findChild(meter, "peakBand")
            meter.currentValue = 40
            var start = Date.now()
            meter.currentValue = 0
            compare(meter.currentPeak, 40)
            compare(band.visible, data.mode !== 0)
            compare(String(band.color),
                    String((data.mode === 2 ? meter.holdPeakColors : meter.decayPeakColors)[1]))
            if (data.mode === 1) {
                tryVerify(function() { return band.visible && band.opacity < 1 }, 1000, "fading")
                tryVerify(function() { return !band.visible }, 2000)
                verify(Date.now() - start >= meter.decayTime - 50, "not gone before decayTime")
                compare(meter.fadeAlpha, 255)
            } else {
                wait(meter.decayTime + 80)
                compare(band.visible, data.mode === 2)
                compare(band.opacity, 1)
            }
            mousePress(meter)
            mouseRelease(meter)
            compare(meter.currentPeak, 0)
            verify(!band.visible)
        }
    }
}
