import QtQuick 2.15
import QtQuick.Controls 2.15

// The black bar at the top left with the two view buttons, "Preamps" and "Setup", one of them
// checked; "Setup" is checked at start. Each press is reported, also on the checked button.
Rectangle {
    id: bar

    readonly property bool unitsShown: preampsButton.checked
    readonly property bool setupShown: setupButton.checked

    signal preampsPressed()
    signal setupPressed()

    color: "black"

    ButtonGroup { buttons: [preampsButton, setupButton] }

    NavigationButton {
        id: preampsButton
        objectName: "preampsButton"
        text: "Preamps"
        width: bar.width / 2
        onPressed: bar.preampsPressed()
    }

    NavigationButton {
        id: setupButton
        objectName: "setupButton"
        x: bar.width / 2
        text: "Setup"
        width: bar.width / 2
        checked: true
        onPressed: bar.setupPressed()
    }
}
