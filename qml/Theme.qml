pragma Singleton
import QtQuick 2.15

// The look that several components share: the colours of panels, rows, fields and lamps, the
// grey gradient of the buttons, the shadow under boxes, the common text and the column widths of
// the setup list's unit rows. A colour used by one component only stays in that component.
QtObject {
    readonly property color textColor: "white"
    // Text that is shown but not in focus: a channel strip's fields, the show log's quiet rows.
    readonly property color dimTextColor: "#b8b8c7"
    // The accent: selected text, a focused field's text in a strip, the search's progress.
    readonly property color accentColor: "#26c9ff"
    readonly property color errorColor: "#ffd24d"
    // The blue of frames, bars and the channel strips.
    readonly property color frameColor: "#496c89"
    // The dark field on a frame: title bars, panels, the strips' sections, and a strip's entry
    // field while it has the focus or the pointer.
    readonly property color panelColor: "#333240"
    readonly property color focusedPanelColor: "#636378"
    // Rows, column headers and entry fields of the lists and dialogs, with their frame.
    readonly property color rowColor: "#858585"
    readonly property color rowBorderColor: "#161616"
    readonly property color focusedRowColor: "#a6a6a6"
    // A button of a black bar that is checked or held down is lit in the rows' grey; hovering an
    // unlit one frames it.
    readonly property color barButtonLitColor: rowColor
    readonly property color barButtonHoverColor: "#464646"
    readonly property color lampLitColor: "#00ff00"
    readonly property color shadowColor: "#df000000"

    // The buttons' vertical gradient, darker while pressed; the down arrows end a shade apart.
    readonly property color buttonTop: "#69697C"
    readonly property color buttonBottom: "#424251"
    readonly property color buttonPressedTop: "#3e3e46"
    readonly property color buttonPressedBottom: "#1f1f24"
    readonly property color downArrowPressedBottom: "#1f1e24"
    readonly property real disabledOpacity: 0.4

    readonly property int margin: 6
    readonly property int fontSize: 13
    readonly property string fontFamily: "Arial"
    // Drop-down lists open and close over this time.
    readonly property int popupMs: 250

    // The setup list's rows and the columns its unit rows and their header share.
    readonly property int rowHeight: 30
    readonly property int enableWidth: 30
    // Room for the longest dotted address with a port, "255.255.255.255:65535".
    readonly property int addressWidth: 163
    readonly property int idWidth: 27
    readonly property int lampWidth: 30
}
