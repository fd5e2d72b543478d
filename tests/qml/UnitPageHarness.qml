import QtQuick 2.15
import QtQuick.Window 2.15
import com.Corvane.controller 1.0 as Octo
import OctoTest 1.0
import "qrc:/"

// The unit view of the window, reduced to what a unit page needs: page arrows and one or two
// pages, each wired to its model the way the main window wires them, each model talking to a
// simulated unit. The units are set up so that every control shows a state.
Window {
    id: harness

    readonly property int viewMargin: 6
    readonly property int pageGap: 12
    readonly property int pageHeight: 420
    readonly property var unitSetups: [
        {
            names: ["Kick", "Snare", "HiHat", "Tom_1", "Tom_2", "OH_L", "OH_R", "Vox"],
            gains: [58, 50, 30, 44, 40, 20, 22, 68],
            phantom: [1, 2, 8], phase: [2], ribbon: [6, 7], grouped: [3, 4, 5],
            notes: ["D112 inside", "top + bottom", "", "", "", "pair A", "pair A", "lead\ntake 3"]
        },
        {
            names: ["Bass_DI", "Gtr_1", "Gtr_2", "Keys_L", "Keys_R", "Amb_L", "Amb_R", "Talk"],
            gains: [34, 48, 52, 26, 26, 62, 62, 12],
            phantom: [6, 7], phase: [], ribbon: [], grouped: [6, 7],
            notes: ["", "", "", "", "", "", "", ""]
        }
    ]

    width: 1600
    height: harnessPages * (pageHeight + pageGap) + pageGap
    visible: true
    color: "#19191a"
    title: "unit page harness"

    ListModel {
        id: groups
        ListElement { name: "Group 1"; activeEnable: true }
        ListElement { name: "Group 2"; activeEnable: false }
    }

    PageArrows {
        x: harness.viewMargin
        anchors.verticalCenter: parent.verticalCenter
        numPages: harnessPages
        currentPage: 1
    }

    Column {
        x: 2 * harness.viewMargin + 30
        y: harness.pageGap
        width: harness.width - x
        spacing: harness.pageGap

        Repeater {
            model: harnessPages

            Preamp_octo {
                id: page
                readonly property var setup: harness.unitSetups[index]

                width: parent.width
                height: harness.pageHeight
                channelModel: unitModel
                groupModel: groups
                peakMode: harnessPeakMode
                onChannelChange: unitModel.setProperty(index, prop, value)
                onChannelPropertyChange: unitModel.propertyChange(index, prop)

                Octo.PreampModel {
                    id: unitModel
                    ipAddr: "127.0.0." + (101 + index)
                }

                UnitLink {
                    id: link
                    unitId: 2201 + index
                    model: unitModel
                }

                Connections {
                    target: unitModel
                    function onDataChanged() {
                        page.devID = unitModel.preampID
                        page.clkSource = unitModel.clkSource
                        page.clkOutSource = unitModel.clkOutSource
                        page.outFormat = unitModel.outFormat
                        page.sampleRate = unitModel.sampleRate
                        page.online = unitModel.online
                        page.clkStatus = unitModel.clkStatus
                    }
                    // What only the controller keeps (groups and notes) is set once online.
                    function onOnlineChanged() {
                        for (var row = 0; row < 8; ++row) {
                            unitModel.setProperty(row, "scribbleStripRole", page.setup.notes[row])
                            if (page.setup.grouped.indexOf(row + 1) >= 0) {
                                unitModel.setProperty(row, "groupNameRole", index)
                                unitModel.setProperty(row, "groupRole", true)
                            }
                        }
                    }
                }

                Component.onCompleted: {
                    for (var n = 1; n <= 8; ++n) {
                        link.request("CMD_NMCH=" + n + "," + setup.names[n - 1])
                        link.request("CMD_PGNS=" + n + "," + setup.gains[n - 1])
                        if (setup.phantom.indexOf(n) >= 0)
                            link.request("CMD_P48S=" + n + ",ON")
                        if (setup.phase.indexOf(n) >= 0)
                            link.request("CMD_PPHS=" + n + ",ON")
                        if (setup.ribbon.indexOf(n) >= 0)
                            link.request("CMD_PIPS=" + n + ",ON")
                    }
                    link.request("CMD_ADFS=" + (4 - 2 * index))
                    unitModel.init()
                }
            }
        }
    }
}
