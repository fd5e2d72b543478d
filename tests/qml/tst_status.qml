import QtQuick 2.15
import QtTest 1.15
import "qrc:/"

// The status panel on its own: its lists, its lamps and what picking an entry does.
Item {
    id: scene
    width: 300
    height: 500

    Component {
        id: panelComponent
        Preamp_status {}
    }

    SignalSpy { id: picks; signalName: "settingPicked" }

    TestCase {
        name: "StatusPanel"
        when: windowShown

        readonly property color green: "#00ff00"
        readonly property color grey: "#767676"
        readonly property color red: "#ff0000"

        function createPanel(properties) {
            return createTemporaryObject(panelComponent, scene, properties)
        }

        // Picking "96 kHz" asks for it, takes the focus off the box and closes it; the box then
        // shows the panel's value, which only the unit changes. Return also takes the focus off.
        function test_pickAnEntry() {
            var panel = createPanel({ sampleRate: 2 })
            picks.target = panel
            picks.clear()
            var box = findChild(panel, "sampleRateBox")
            mouseClick(box)
            tryCompare(box.popup, "opened", true)
            var entry = box.popup.contentItem.itemAtIndex(4)
            mouseClick(entry)
            compare(picks.count, 1)
            compare(picks.signalArguments[0][0], "sampleRate")
            compare(picks.signalArguments[0][1], 4)
            compare(box.currentText, "48 kHz")
            verify(!box.activeFocus)
            tryCompare(box.popup, "visible", false)
            panel.sampleRate = 6
            compare(box.currentText, "192 kHz")
            compare(picks.count, 1)
            box.forceActiveFocus()
            keyClick(Qt.Key_Return)
            verify(!box.activeFocus)
        }

        function test_onlineLamp_data() {
            return [
                { tag: "offline", online: 0, blinking: true },
                { tag: "status overdue", online: 1, blinking: true },
                { tag: "online", online: 2, blinking: false }
            ]
        }

        function test_onlineLamp(data) {
            var panel = createPanel({ online: data.online })
            var lamp = findChild(panel, "onlineLamp")
            var blink = findChild(panel, "offlineBlink")
            verify(blink.running)
            var colours = []
            for (var phase = 0; phase < 2; ++phase) {
                blink.triggered()
                colours.push(String(lamp.color))
            }
            colours.sort()
            compare(colours, data.blinking ? [String(grey), String(red)]
                                           : [String(green), String(green)])
        }

        // Blinking until the clock is locked, steady green while it is, blinking again within a
        // blink period once the lock is lost.
        function test_clockLamp() {
            var panel = createPanel({})
            var lamp = findChild(panel, "clockLamp")
            var blink = findChild(panel, "clockBlink")
            verify(blink.running)
            var before = String(lamp.color)
            blink.triggered()
            verify(String(lamp.color) !== before)
            panel.clkStatus = true
            verify(!blink.running)
            compare(String(lamp.color), String(green))
            panel.clkStatus = false
            verify(blink.running)
            tryCompare(lamp, "color", grey, 600)
            tryCompare(lamp, "color", green, 600)
        }
    }
}
