import QtQuick 2.15
import QtQml 2.15

// Keeps its content, one item as large as it, in the scene graph only while it is shown.
//
// Hiding an item that was shown does not detach its nodes: they stay attached at opacity 0, and
// the software renderer walks every attached node on every frame, so a hidden view of hundreds
// of items costs on every frame of the ones shown. So the content sits in the holder, whose only
// child it is, while shown, and on the shelf, which is never shown and so never attached, while
// hidden. Moving it keeps every item, binding and node: content shown again draws at once, with
// its current values.
Item {
    id: area

    // The content; it takes its size from the area itself (its parent changes).
    property Item content: null

    Item {
        id: holder
        anchors.fill: parent
    }

    Item {
        id: shelf
        anchors.fill: parent
        visible: false
    }

    Binding {
        target: area.content
        property: "parent"
        value: area.visible ? holder : shelf
        restoreMode: Binding.RestoreNone
    }
}
