import QtQuick 2.15
import QtQuick.Controls 2.15

// A drop-down list of a unit page: the entry at shownIndex on the buttons' darker grey, white
// text, no arrow. The list opens below, growing from nothing over Theme.popupMs and shrinking
// back, the entry under the pointer in the buttons' lighter grey; the entries are the model's
// strings, or its textRole where it has one.
//
// Picking an entry only asks for it (picked); the box then shows shownIndex again, which is the
// picked entry unless the owner refused it. A pick, Return and Enter take the focus off the box.
ComboBox {
    id: box

    property int shownIndex: 0
    property int entryHeight: 28

    signal picked(int index)

    currentIndex: shownIndex
    indicator: Item {}
    contentItem: Text {
        leftPadding: Theme.margin
        text: box.displayText
        font: box.font
        color: Theme.textColor
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        color: Theme.buttonBottom
    }
    delegate: ItemDelegate {
        width: box.width
        height: box.entryHeight
        highlighted: box.highlightedIndex === index
        contentItem: Text {
            text: box.textRole ? model[box.textRole] : modelData
            font: box.font
            color: Theme.textColor
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
        background: Rectangle {
            color: highlighted ? Theme.buttonTop : Theme.buttonBottom
        }
    }
    popup: Popup {
        y: box.height
        width: box.width
        implicitHeight: box.count * box.entryHeight
        padding: 0
        clip: true
        contentItem: ListView {
            model: box.popup.visible ? box.delegateModel : null
            currentIndex: box.highlightedIndex
            interactive: false
        }
        background: Rectangle {
            color: Theme.buttonBottom
        }
        enter: Transition {
            NumberAnimation {
                property: "height"
                from: 0
                to: box.popup.implicitHeight
                duration: Theme.popupMs
                easing.type: Easing.OutSine
            }
        }
        exit: Transition {
            NumberAnimation {
                property: "height"
                to: 0
                duration: Theme.popupMs
                easing.type: Easing.OutSine
            }
        }
    }
    onActivated: {
        picked(index)
        currentIndex = Qt.binding(function() { return box.shownIndex })
        focus = false
    }
    Keys.onReturnPressed: focus = false
    Keys.onEnterPressed: focus = false
}
