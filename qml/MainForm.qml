import QtQuick 2.15
import QtQuick.Window 2.15

Window {
    id: top

    property int activePreamps: 0
    property int topPreamp: 0
    property bool presetReady: false
    property string currentPreset: ""
    property int peakMode: 0
    property bool sorting: false

    signal groupModelChanged(var groups)
    signal numPreampsChanged(var num)
    signal savePreset(var filename)
    signal loadPreset(var filename, var loadType)
    signal saveState(var folder)
    signal restoreState()

    width: 1600
    height: 900
    visible: true
    title: "Corvane octo Preamp Remote Controller v1.3"
    color: "#19191a"

    onActivePreampsChanged: numPreampsChanged(activePreamps)

    onClosing: {
        console.log("Closing")
        savePreset("/last.cvp")
        saveState(typeof systemManager !== "undefined" ? systemManager.presetDir : "")
    }

    Component.onCompleted: restoreState()
}
