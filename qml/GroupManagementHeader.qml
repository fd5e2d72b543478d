import QtQuick 2.15

// Column titles of the gain-group list, over the rows of GroupManagementItem.
Rectangle {
    id: header

    width: 276
    height: Theme.rowHeight
    z: 3
    color: Theme.rowColor
    border.color: Theme.rowBorderColor

    Row {
        anchors.fill: parent

        Text {
            width: Theme.enableWidth
            height: parent.height
            text: "EN"
            color: Theme.textColor
            font.pixelSize: Theme.fontSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }

        Text {
            width: header.width - Theme.enableWidth
            height: parent.height
            text: "Group Name"
            color: Theme.textColor
            font.pixelSize: Theme.fontSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }
}
