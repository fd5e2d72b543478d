import QtQuick 2.15
import QtQuick.Controls 2.15

// The scribble strip of a channel strip: free text of at most maxLines lines (Return and Enter
// start no line past them), white on the strip's dark panel, lighter while focused or under the
// pointer. Escape puts back the text it showed when it got the focus (shownText, which the strip
// keeps) and leaves it.
TextArea {
    id: field

    property string shownText: ""
    property int maxLines: 2

    function lineCount() {
        return text.split("\n").length
    }

    hoverEnabled: true
    selectByMouse: true
    wrapMode: TextEdit.NoWrap
    placeholderText: "notes..."
    placeholderTextColor: Theme.dimTextColor
    font.family: Theme.fontFamily
    color: activeFocus ? Theme.accentColor : Theme.textColor
    background: Rectangle {
        color: field.activeFocus || field.hovered ? Theme.focusedPanelColor : Theme.panelColor
    }
    Keys.onReturnPressed: event.accepted = lineCount() >= maxLines
    Keys.onEnterPressed: event.accepted = lineCount() >= maxLines
    Keys.onEscapePressed: {
        text = shownText
        focus = false
    }
}
