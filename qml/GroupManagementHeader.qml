import QtQuick 2.15

// Column titles of the gain-group list; the widths match the controls of GroupManagementItem.
Rectangle {
    id: header

    readonly property int enableWidth: 30
    readonly property int fontSize: 13
    readonly property color textColor: "white"

    width: 276
    height: 30
    z: 3
    color: "#858585"
    border.color: "#161616"

    Row {
        anchors.fill: parent

        Text {
            width: header.enableWidth
            height: parent.height
            text: "EN"
            color: header.textColor
            font.pixelSize: header.fontSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }

        Text {
            width: header.width - header.enableWidth
            height: parent.height
            text: "Group Name"
            color: header.textColor
            font.pixelSize: header.fontSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }
}
