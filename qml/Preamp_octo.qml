import QtQuick 2.15
import com.Corvane.controller 1.0 as Controller
import QtQuick.Controls 2.15

// One unit page: the eight channel strips of a unit and its status panel.
//
// The page changes nothing itself. Every operator action leaves it as channelChange (set a role
// to a value) or channelPropertyChange (act on a role), which the window forwards to the unit's
// model; the strips follow the channel objects of the model, and the window binds the unit
// values to the model's. Building the strips and showing the model's values never send anything
// back: only the operator's actions do.
//
// A hidden page costs nothing while its unit reports: its strips stop following their channels
// and keep what they showed, and follow them again, at once, when the page is shown.
Item {
    id: octo_pre

    property int devID: 0
    property int clkSource: 0
    property int clkOutSource: 0
    property int outFormat: 0
    property int sampleRate: 0
    property int online: 0
    property bool clkStatus: false
    // The unit's PreampModel; its channels are the strips.
    property var channelModel: null
    // The window's gain groups (entries with name and activeEnable).
    property var groupModel: null
    // How the meters show peaks (InterfaceConstants::PeakMode).
    property int peakMode: Controller.Octo.PeakDecay
    // The strips exist only while this is true. A window with many pages creates each page's
    // strips when the page is first shown, rather than all of them at start-up.
    property bool stripsLoaded: true

    signal channelChange(int index, string prop, var value)
    signal channelPropertyChange(int index, string prop)

    readonly property int channelCount: Controller.Octo.channelCount
    readonly property int maxPageWidth: 1560
    readonly property int pageHeight: 416
    readonly property int margin: 6
    readonly property int stripSpacing: 7
    readonly property int stripWidth: 165
    readonly property color pageColor: "#505050"

    // A unit setting travels with a channel row like every other change; any row is valid.
    function unitChange(role, value) {
        channelChange(channelList.currentIndex, role, value)
    }

    // "Peak Clear": clear the over indication of every channel and the peak of every meter.
    function clearOvers() {
        for (var row = 0; row < channelCount; ++row) {
            channelPropertyChange(row, "overRole")
            var strip = channelList.itemAtIndex(row)
            if (strip)
                strip.meter.clearPeak()
        }
    }

    implicitWidth: maxPageWidth
    implicitHeight: 420

    // A hidden page keeps its strips, out of the scene graph (SceneShelf): a page shown again
    // draws at once, with its unit's current values.
    SceneShelf {
        anchors.fill: parent
        content: Item {
            width: octo_pre.width
            height: octo_pre.height

            Rectangle {
                id: page
                anchors.horizontalCenter: parent.horizontalCenter
                width: Math.min(parent.width, octo_pre.maxPageWidth)
                height: octo_pre.pageHeight
                color: octo_pre.pageColor
            }

            BoxShadow {
                box: page
            }

            ListView {
                id: channelList
                objectName: "channelList"
                x: page.x + octo_pre.margin
                y: page.y + octo_pre.margin
                width: statusPanel.x - 2 * octo_pre.margin - x
                height: page.height - octo_pre.margin
                orientation: ListView.Horizontal
                spacing: octo_pre.stripSpacing
                boundsBehavior: Flickable.StopAtBounds
                clip: true
                // Keep all eight strips alive when the page is narrow: their meters hold peaks.
                cacheBuffer: octo_pre.channelCount * (octo_pre.stripWidth + octo_pre.stripSpacing)
                currentIndex: 0
                model: octo_pre.stripsLoaded && octo_pre.channelModel
                       ? octo_pre.channelModel.channels : null
                ScrollBar.horizontal: ScrollBar {
                    active: channelList.contentWidth > channelList.width
                }

                delegate: Channel {
                    id: strip
                    // While the page is hidden, each binding keeps the value it has instead of
                    // reading the channel, so the channel's signals reach nothing.
                    readonly property bool following: octo_pre.visible
                    // Group moves and joining or leaving a group change what the channel's gain
                    // reads without notifying it: count those so the gain is read again.
                    property int gainRevision: 0

                    function takeGroup() {
                        group = modelData.group
                        groupName = modelData.groupName
                        ++gainRevision
                    }

                    channelID: following ? modelData.number : channelID
                    channelName: following ? modelData.name : channelName
                    gainVal: {
                        strip.gainRevision
                        return following ? modelData.gain : gainVal
                    }
                    phantom: following ? modelData.phantom : phantom
                    phase: following ? modelData.phase : phase
                    ribbon: following ? modelData.ribbon : ribbon
                    meterLevel: following ? modelData.meterLevel : meterLevel
                    scribbleStrip: following ? modelData.scribbleStrip : scribbleStrip
                    over: following ? modelData.over : over
                    groupModel: octo_pre.groupModel
                    peakMode: octo_pre.peakMode

                    onPhantomClicked: octo_pre.channelPropertyChange(index, "phantomRole")
                    onPhaseClicked: octo_pre.channelPropertyChange(index, "phaseRole")
                    onRibbonClicked: octo_pre.channelPropertyChange(index, "ribbonRole")
                    onGroupClicked: {
                        console.log("Group Changed!")
                        octo_pre.channelChange(index, "groupRole", value)
                    }
                    onGroupSelected: octo_pre.channelChange(index, "groupNameRole", value)
                    onGainEntered: octo_pre.channelChange(index, "gainRole", value)
                    onGainUpClicked: octo_pre.channelPropertyChange(index, "gainUpRole")
                    onGainDownClicked: octo_pre.channelPropertyChange(index, "gainDownRole")
                    onChannelNameEntered: {
                        console.log("Channel name entered called")
                        octo_pre.channelChange(index, "nameRole", name)
                    }
                    onScribbleEntered: octo_pre.channelChange(index, "scribbleStripRole", scribble)
                    onOverCleared: octo_pre.channelChange(index, "overRole", false)
                    onFollowingChanged: {
                        if (following)
                            takeGroup()
                    }

                    // The channel notifies a group change from inside its writer, before the change
                    // is through, which a plain binding would take for a loop: so both values are
                    // copied on each notification. Copying them sends nothing back to the model.
                    Connections {
                        target: strip.following ? modelData : null
                        function onGroupChanged() {
                            strip.group = modelData.group
                            ++strip.gainRevision
                        }
                        function onGroupNameChanged() { strip.groupName = modelData.groupName }
                        function onGroupGainChanged() { ++strip.gainRevision }
                    }
                    Component.onCompleted: takeGroup()
                }
            }

            Preamp_status {
                id: statusPanel
                objectName: "statusPanel"
                x: page.x + page.width - octo_pre.margin - width
                y: page.y + octo_pre.margin
                devID: octo_pre.devID
                online: octo_pre.online
                clkStatus: octo_pre.clkStatus
                sampleRate: octo_pre.sampleRate
                clkSource: octo_pre.clkSource
                outFormat: octo_pre.outFormat
                clkOutSource: octo_pre.clkOutSource

                // Only what the operator picks goes to the unit, never the values shown.
                onSettingPicked: octo_pre.unitChange(setting + "Role", value)
                onOverClear: octo_pre.clearOvers()
            }
        }
    }
}
