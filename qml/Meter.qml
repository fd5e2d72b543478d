import QtQuick 2.15
import com.Corvane.controller 1.0 as Controller

// The level meter of one channel strip.
//
// Up to sixteen meters run at once, each fed every 60 ms, so the meter is built from plain
// rectangles whose geometry and colour are bound to the levels: a new reading costs a few
// property writes and a scene-graph update, never a repaint of the whole meter.
//
// The bar area stands for 68 level units, counted from the bottom; 63 is the over level. The
// bar rises at once and falls back 3 units per meterDecayRate. The held peak is a band 2 units
// high: not shown in "No Peak", fading out over decayTime after it was last raised in "Peak
// Decay", held until cleared in "Peak Hold".
Rectangle {
    id: meter

    // The channel's level as the unit reported it.
    property int currentValue: 0
    // The level drawn: follows currentValue up at once and falls back slowly.
    property int meterLevel: 0
    property int currentPeak: 0
    // True only while clearPeak() runs.
    property bool peakClear: false
    property bool over: false
    // How peaks show (InterfaceConstants::PeakMode).
    property int peakMode: Controller.Octo.PeakDecay
    // Opacity of the peak band in "Peak Decay", 255 = opaque.
    property int fadeAlpha: opaqueAlpha
    property int decayTime: 1020
    property int meterDecayRate: 80

    // The operator pressed the meter to clear the over indication.
    signal cleared()

    readonly property int levelUnits: 68
    readonly property int overLevel: Controller.Octo.overLevel
    readonly property int greenUnits: 25
    readonly property int yellowUnits: 26
    readonly property int orangeUnits: 11
    readonly property int redUnits: 5
    readonly property int yellowStart: greenUnits
    readonly property int orangeStart: yellowStart + yellowUnits
    readonly property int redStart: orangeStart + orangeUnits
    readonly property int highestDrawnPeak: overLevel - 1
    readonly property int peakBandUnits: 2
    readonly property int fallPerStep: 3
    readonly property int opaqueAlpha: 255

    readonly property int barInsetLeft: 6
    readonly property int barInsetRight: 31
    readonly property int barInsetTop: 23
    readonly property int barInsetBottom: 6
    readonly property int scaleFontSize: 12
    readonly property int overFontSize: 9
    readonly property int labelGap: 3
    // Baselines of the scale marks, from the meter's top; "-60" sits at the bottom.
    readonly property var scaleMarks: [
        { label: "0", baseline: 37 }, { label: "-3", baseline: 68 },
        { label: "-6", baseline: 102 }, { label: "-12", baseline: 139 },
        { label: "-24", baseline: 174 }, { label: "-36", baseline: 198 },
        { label: "-60", baseline: height - labelGap }
    ]

    readonly property color emptyColor: "black"
    readonly property color greenColor: "#0da50d"
    readonly property color yellowColor: "#c3c322"
    readonly property color orangeColor: "#df8020"
    readonly property color redColor: "#FF0000"
    readonly property color decayGreen: Qt.rgba(0, 1, 0, 1)
    readonly property color decayYellow: Qt.rgba(1, 1, 0, 1)
    readonly property color decayOrange: Qt.rgba(1, 0.5, 0, 1)
    readonly property color holdGreen: "#00FF00"
    readonly property color holdYellow: "#FFFF00"
    readonly property color holdOrange: "#Fd5f00"
    // Peak colours by peakColorIndex().
    readonly property var decayPeakColors: [decayGreen, decayYellow, decayOrange]
    readonly property var holdPeakColors: [holdGreen, holdYellow, holdOrange]

    // A press blacks out the over block until the next repaint shows the over flag again.
    property bool overAcknowledged: false

    // Pixel height of a number of level units: rounded up, so that a unit is never lost.
    function pixels(units) {
        return Math.ceil(barArea.height / levelUnits * units)
    }

    function unitsOf(level, start, size) {
        return Math.max(0, Math.min(level - start, size))
    }

    // Index into the peak colour lists: green, yellow above the green segment, orange above the
    // yellow one.
    function peakColorIndex(peak) {
        return peak > orangeStart ? 2 : (peak > yellowStart ? 1 : 0)
    }

    // Everything is drawn by bindings; a repaint only re-reads the over flag.
    function draw() {
        overAcknowledged = false
    }

    // The held peak drops to 0 and then restarts from the current reading.
    function clearPeak() {
        peakClear = true
        currentPeak = 0
        draw()
        peakClear = false
        raisePeak()
    }

    function raisePeak() {
        if (currentValue <= currentPeak)
            return
        currentPeak = currentValue
        if (peakMode === Controller.Octo.PeakDecay) {
            fadeAlpha = opaqueAlpha
            peakFade.restart()
            peakDurationTimer.restart()
        }
    }

    width: 46
    height: 233
    color: Theme.panelColor

    onCurrentValueChanged: {
        if (currentValue > meterLevel)
            meterLevel = currentValue
        draw()
        raisePeak()
    }

    // A fade of the previous mode must not clear a peak that is now held, and the other way
    // round: start afresh from the current reading.
    onPeakModeChanged: {
        peakFade.stop()
        peakDurationTimer.stop()
        fadeAlpha = opaqueAlpha
        clearPeak()
    }

    // The window keeps the pages of all twelve units, most of them hidden: a meter nobody sees
    // needs no fall-back.
    Timer {
        objectName: "meterDecay"
        interval: meter.meterDecayRate
        repeat: true
        running: meter.visible
        onTriggered: {
            if (meter.meterLevel <= meter.currentValue + meter.fallPerStep)
                meter.meterLevel = meter.currentValue
            else
                meter.meterLevel -= meter.fallPerStep
            meter.draw()
        }
    }

    // The fade runs on the animation clock, once per frame: the same 255 steps over decayTime
    // as a 4 ms timer would give, at a fraction of the cost with sixteen meters fading.
    NumberAnimation {
        id: peakFade
        objectName: "peakFade"
        target: meter
        property: "fadeAlpha"
        from: meter.opaqueAlpha
        to: 0
        duration: meter.decayTime
    }

    Timer {
        id: peakDurationTimer
        objectName: "peakDurationTimer"
        interval: meter.decayTime
        onTriggered: {
            peakFade.stop()
            meter.clearPeak()
            meter.fadeAlpha = meter.opaqueAlpha
        }
    }

    Rectangle {
        id: barArea
        objectName: "barArea"
        x: meter.barInsetLeft
        y: meter.barInsetTop
        width: meter.width - meter.barInsetLeft - meter.barInsetRight
        height: meter.height - meter.barInsetTop - meter.barInsetBottom
        color: meter.emptyColor

        Rectangle {
            objectName: "greenSegment"
            width: parent.width
            height: meter.pixels(meter.unitsOf(meter.meterLevel, 0, meter.greenUnits))
            y: parent.height - height
            color: meter.greenColor
        }
        Rectangle {
            objectName: "yellowSegment"
            width: parent.width
            height: meter.pixels(meter.unitsOf(meter.meterLevel, meter.yellowStart,
                                               meter.yellowUnits))
            y: parent.height - meter.pixels(meter.yellowStart) - height
            color: meter.yellowColor
        }
        Rectangle {
            objectName: "orangeSegment"
            width: parent.width
            height: meter.pixels(meter.unitsOf(meter.meterLevel, meter.orangeStart,
                                               meter.orangeUnits))
            y: parent.height - meter.pixels(meter.orangeStart) - height
            color: meter.orangeColor
        }
        Rectangle {
            objectName: "redSegment"
            width: parent.width
            height: meter.meterLevel >= meter.overLevel ? meter.pixels(meter.redUnits) : 0
            y: parent.height - meter.pixels(meter.redStart) - height
            color: meter.redColor
        }

        Rectangle {
            objectName: "peakBand"
            visible: meter.peakMode !== Controller.Octo.NoPeak && !meter.peakClear
                     && meter.currentPeak !== 0 && meter.currentPeak <= meter.highestDrawnPeak
            width: parent.width
            height: meter.pixels(meter.peakBandUnits)
            // A peak just below the over level would lie under the over block: the band then
            // sits right below it, so every peak that is not an over stays in sight.
            y: Math.max(parent.height - meter.pixels(meter.currentPeak) - height,
                        parent.height - meter.pixels(meter.redStart))
            color: meter.peakMode === Controller.Octo.PeakHold
                   ? meter.holdPeakColors[meter.peakColorIndex(meter.currentPeak)]
                   : meter.decayPeakColors[meter.peakColorIndex(meter.currentPeak)]
            opacity: meter.peakMode === Controller.Octo.PeakDecay
                     ? meter.fadeAlpha / meter.opaqueAlpha : 1
        }

        // Drawn over the bar and the peak: it covers the area from where the full orange
        // segment ends to the top, so the red segment only ever shows through it, in red, while
        // the channel is over.
        Rectangle {
            objectName: "overBlock"
            width: parent.width
            height: parent.height - meter.pixels(meter.redStart)
            color: meter.over && !meter.overAcknowledged ? meter.redColor : meter.emptyColor
        }
    }

    Text {
        x: meter.labelGap
        y: meter.labelGap
        text: "dBFS"
        color: Theme.textColor
        font.family: Theme.fontFamily
        font.pixelSize: meter.scaleFontSize
    }

    Repeater {
        model: meter.scaleMarks

        Text {
            x: barArea.x + barArea.width + meter.labelGap
            y: modelData.baseline - baselineOffset
            text: modelData.label
            color: Theme.textColor
            font.family: Theme.fontFamily
            font.pixelSize: meter.scaleFontSize
        }
    }

    Text {
        objectName: "overLabel"
        visible: meter.over
        x: barArea.x + barArea.width + meter.labelGap
        y: meter.scaleMarks[0].baseline - meter.scaleFontSize - baselineOffset
        text: "OVR"
        color: meter.redColor
        font.family: Theme.fontFamily
        font.pixelSize: meter.overFontSize
    }

    MouseArea {
        anchors.fill: parent
        onPressed: {
            meter.cleared()
            meter.clearPeak()
            meter.overAcknowledged = true
        }
    }
}
