import QtQuick 2.15

// Column titles of the unit list, over the rows of PreampManagementItem: both take the
// columns' widths from the theme.
Rectangle {
    id: header

    width: 376
    height: Theme.rowHeight
    z: 3
    color: Theme.rowColor
    border.color: Theme.rowBorderColor

    Row {
        anchors.fill: parent

        Repeater {
            model: [
                { label: "EN", width: Theme.enableWidth },
                { label: "IP Address", width: Theme.addressWidth },
                { label: "ID", width: Theme.idWidth },
                { label: "Preamp Name", width: header.width - Theme.enableWidth
                                               - Theme.addressWidth - Theme.idWidth
                                               - Theme.lampWidth },
                { label: "ACT", width: Theme.lampWidth }
            ]

            Text {
                width: modelData.width
                height: parent.height
                text: modelData.label
                color: Theme.textColor
                font.pixelSize: Theme.fontSize
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
        }
    }
}
