import QtQuick 2.15
import com.Corvane.controller 1.0

// The unit view: the page arrows at the left and a column of the twelve unit pages, one per
// slot, that scrolls when dragged. Each page binds to its slot's unit model and forwards what the
// operator does on it, with its slot; the window decides which pages are shown and what a page
// further means. The wheel anywhere over the view moves the top page instead of scrolling.
Item {
    id: view

    // The unit models in slot order; empty until the system manager exists.
    property var units: []
    property int activePreamps: 0
    property int topPreamp: 0
    property int peakMode: Octo.NoPeak
    property ListModel groupModel
    // The page arrows show while there is more than one page to move to (or one, on a low
    // window, which shows a single page).
    property bool lowWindow: false
    property int pageHeight: 420
    property int pageGap: 12

    signal pageUp()
    signal pageDown()
    signal wheelUp()
    signal wheelDown()
    signal pageAdded(int slot, Item page)
    signal channelChange(int slot, int index, string prop, var value)
    signal channelPropertyChange(int slot, int index, string prop)
    signal pingReceived(int slot)

    PageArrows {
        id: arrows
        objectName: "pageArrows"
        x: Theme.margin
        anchors.verticalCenter: parent.verticalCenter
        numPages: view.activePreamps - 1
        currentPage: view.topPreamp + 1
        visible: view.activePreamps - 1 > 1 || (view.activePreamps - 1 >= 1 && view.lowWindow)
        onPageUp: view.pageUp()
        onPageDn: view.pageDown()
    }

    Flickable {
        id: pageScroller
        anchors.left: arrows.right
        anchors.leftMargin: Theme.margin
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        clip: true
        flickableDirection: Flickable.VerticalFlick
        contentWidth: width
        contentHeight: pageColumn.implicitHeight

        Column {
            id: pageColumn
            width: pageScroller.width
            spacing: view.pageGap

            Repeater {
                model: Octo.slotCount

                // The unit values follow the model's properties; nothing is copied.
                Preamp_octo {
                    id: page

                    readonly property int slot: index
                    readonly property var unit: view.units[index] || null

                    objectName: "preamp" + (index + 1)
                    visible: false
                    stripsLoaded: false
                    peakMode: view.peakMode
                    groupModel: view.groupModel
                    channelModel: unit
                    devID: unit ? unit.live.preampID : 0
                    clkSource: unit ? unit.live.clkSource : 0
                    clkOutSource: unit ? unit.live.clkOutSource : 0
                    outFormat: unit ? unit.live.outFormat : 0
                    sampleRate: unit ? unit.live.sampleRate : 0
                    online: unit ? unit.live.online : 0
                    clkStatus: unit ? unit.live.clkStatus : false
                    width: pageColumn.width
                    height: view.pageHeight

                    // Strips are built when a page is first shown and then kept.
                    onVisibleChanged: {
                        if (visible)
                            stripsLoaded = true
                    }
                    onChannelChange: view.channelChange(slot, index, prop, value)
                    onChannelPropertyChange: view.channelPropertyChange(slot, index, prop)

                    Connections {
                        target: page.unit
                        ignoreUnknownSignals: true
                        function onPingReceived() { view.pingReceived(page.slot) }
                        function onOffline() { console.log("Preamp Offline") }
                    }
                }

                onItemAdded: view.pageAdded(index, item)
            }
        }
    }

    // Takes every wheel event, so the wheel moves the top page instead of scrolling; clicks go
    // through to the pages.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        onWheel: {
            if (wheel.angleDelta.y > 0)
                view.wheelUp()
            else if (wheel.angleDelta.y < 0)
                view.wheelDown()
            wheel.accepted = true
        }
    }
}
