import QtQuick 2.15
import QtQuick.Controls 2.15

// An entry field of a channel strip (the name and the gain): centred text, dim until it has the
// focus, on the strip's dark panel, lighter while focused or under the pointer. Escape puts back
// the text it showed when it got the focus (shownText, which the strip keeps) and leaves it.
TextField {
    id: field

    // What the field showed when it got the focus: leaving with that text is no edit.
    property string shownText: ""
    // True while the edit-finished handler commits, which drops the focus and so finishes the
    // edit a second time.
    property bool committing: false

    hoverEnabled: true
    selectByMouse: true
    horizontalAlignment: TextInput.AlignHCenter
    font.family: Theme.fontFamily
    color: activeFocus ? Theme.accentColor : Theme.dimTextColor
    background: Rectangle {
        color: field.activeFocus || field.hovered ? Theme.focusedPanelColor : Theme.panelColor
    }
    Keys.onEscapePressed: {
        text = shownText
        focus = false
    }
}
