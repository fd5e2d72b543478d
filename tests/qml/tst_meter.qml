import QtQuick 2.15
import QtTest 1.15
import "qrc:/"

// A test case is not visible itself: the meters live in this item, so they are drawn.
Item {
    id: scene
    width: 200
    height: 300

    Component {
        id: meterComponent
        Meter {}
    }

    SignalSpy {
        id: clearedSpy
        signalName: "cleared"
    }

    TestCase {
        name: "Meter"
        when: windowShown

        function createMeter(properties) {
            var meter = createTemporaryObject(meterComponent, scene, properties)
            clearedSpy.target = meter
            clearedSpy.clear()
            return meter
        }

        // The colour of every level unit of the bar area, bottom first, read from a grab: each unit
        // is three pixels high here, sampled in its middle row.
        function unitColours(meter, extraNames) {
            var image = grabImage(meter)
            var area = findChild(meter, "barArea")
            var names = {}
            names[String(meter.greenColor)] = "green"
            names[String(meter.yellowColor)] = "yellow"
            names[String(meter.orangeColor)] = "orange"
            names[String(meter.redColor)] = "red"
            names[String(meter.emptyColor)] = "black"
            for (var colour in extraNames)
                names[colour] = extraNames[colour]
            var colours = []
            for (var unit = 0; unit < meter.levelUnits; ++unit) {
                var y = area.y + area.height - meter.pixels(unit) - 2
                var pixel = String(image.pixel(area.x + area.width / 2, y))
                colours.push(names[pixel] !== undefined ? names[pixel] : pixel)
            }
            return colours
        }

        function count(list, value) {
            return list.filter(function(entry) { return entry === value }).length
        }

        function test_segments_data() {
            return [
                { tag: "empty", level: 0, green: 0, yellow: 0, orange: 0 },
                { tag: "1", level: 1, green: 1, yellow: 0, orange: 0 },
                { tag: "24", level: 24, green: 24, yellow: 0, orange: 0 },
                { tag: "25", level: 25, green: 25, yellow: 0, orange: 0 },
                { tag: "26", level: 26, green: 25, yellow: 1, orange: 0 },
                { tag: "50", level: 50, green: 25, yellow: 25, orange: 0 },
                { tag: "51", level: 51, green: 25, yellow: 26, orange: 0 },
                { tag: "52", level: 52, green: 25, yellow: 26, orange: 1 },
                { tag: "62", level: 62, green: 25, yellow: 26, orange: 11 },
                { tag: "63 without over", level: 63, green: 25, yellow: 26, orange: 11 },
                { tag: "beyond the scale", level: 80, green: 25, yellow: 26, orange: 11 }
            ]
        }

        // Segments stack from the bottom in the table's order; the red segment of an over reading
        // stays hidden under the black over block.
        function test_segments(data) {
            var meter = createMeter({ peakMode: 0, currentValue: data.level })
            var expected = []
            var runs = [["green", data.green], ["yellow", data.yellow], ["orange", data.orange],
                        ["black", meter.levelUnits - data.green - data.yellow - data.orange]]
            runs.forEach(function(run) {
                for (var i = 0; i < run[1]; ++i)
                    expected.push(run[0])
            })
            compare(unitColours(meter), expected)
            compare(findChild(meter, "redSegment").height, data.level >= 63 ? meter.pixels(5) : 0)
        }

        function test_overBlock_data() {
            return [
                { tag: "over reading with the flag", level: 63, over: true },
                { tag: "flag without the reading", level: 10, over: true },
                { tag: "over reading without the flag", level: 63, over: false }
            ]
        }

        function test_overBlock(data) {
            var meter = createMeter({ peakMode: 0, currentValue: data.level, over: data.over })
            findChild(meter, "meterDecay").stop()
            var colours = unitColours(meter)
            var top = colours.slice(meter.redStart)
            compare(count(top, data.over ? "red" : "black"), top.length)
            compare(count(colours, "red"), data.over ? top.length : 0)
            compare(findChild(meter, "overLabel").visible, data.over)

            // A press blacks the block out until the next repaint shows the flag again.
            mousePress(meter)
            compare(clearedSpy.count, 1)
            compare(count(unitColours(meter).slice(meter.redStart), "black"), top.length)
            mouseRelease(meter)
            meter.draw()
            compare(count(unitColours(meter).slice(meter.redStart), "red"),
                    data.over ? top.length : 0)
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
            return [{ tag: "59", peak: 59 }, { tag: "61", peak: 61 }, { tag: "62", peak: 62 }]
        }

        // A held peak just below the over level shows as a whole band under the over block,
        // which stays black without an over.
        function test_highPeaksStayVisible(data) {
            var meter = createMeter({ peakMode: 2 })
            meter.currentValue = data.peak
            meter.currentValue = 0
            tryCompare(meter, "meterLevel", 0)
            var band = findChild(meter, "peakBand")
            var colours = unitColours(meter, { [String(band.color)]: "peak" })
            compare(count(colours, "peak"), 2)
            compare(colours.slice(meter.redStart), Array(meter.redUnits + 1).fill("black"))
            compare(colours[Math.min(data.peak, meter.redStart - 2)], "peak")
        }

        function test_peakModes_data() {
            return [
                { tag: "no peak", mode: 0, shownAtFirst: false, shownLater: false },
                { tag: "peak decay", mode: 1, shownAtFirst: true, shownLater: false },
                { tag: "peak hold", mode: 2, shownAtFirst: true, shownLater: true }
            ]
        }

        // One reading of 40 followed by silence: a yellow band above unit 40 that fades out in mode
        // 1 and stays until the meter is pressed in mode 2.
        function test_peakModes(data) {
            var meter = createMeter({ peakMode: data.mode })
            var band = findChild(meter, "peakBand")
            meter.currentValue = 40
            var start = Date.now()
            meter.currentValue = 0
            compare(meter.currentPeak, 40)
            compare(band.visible, data.shownAtFirst)
            compare(band.opacity, 1)
            compare(String(band.color), String(data.mode === 2 ? meter.holdPeakColors[1]
                                                                : meter.decayPeakColors[1]))
            if (data.mode === 1) {
                wait(500)
                verify(meter.fadeAlpha > 40 && meter.fadeAlpha < 215,
                       "half faded: " + meter.fadeAlpha)
                tryVerify(function() { return !band.visible }, 1000)
                var elapsed = Date.now() - start
                verify(elapsed >= meter.decayTime - 50, "gone after " + elapsed + " ms")
                compare(meter.fadeAlpha, 255)
            } else {
                wait(meter.decayTime + 80)
                compare(band.visible, data.shownLater)
                if (data.shownLater)
                    compare(unitColours(meter, { [String(band.color)]: "peak" }).slice(39, 43),
                            ["black", "peak", "peak", "black"])
            }
            mousePress(meter)
            mouseRelease(meter)
            compare(meter.currentPeak, 0)
            verify(!band.visible)
        }
    }
}
