import QtQuick 2.15
import QtGraphicalEffects 1.15

// The shadow under a page, a strip or a status box, cast by the plain box behind the live
// content, so it is rendered once and does not follow every meter movement.
DropShadow {
    property Item box

    x: box.x
    y: box.y
    width: box.width
    height: box.height
    source: box
    horizontalOffset: 2
    verticalOffset: 4
    radius: 3
    samples: 7
    color: Theme.shadowColor
    cached: true
    // The software scene graph draws no shader effects; an invisible shadow there only costs
    // time.
    visible: GraphicsInfo.api !== GraphicsInfo.Software
}
