import QtQuick 2.15

// Column titles of the unit list; the widths match the controls of PreampManagementItem.
Rectangle {
    id: header

    readonly property int enableWidth: 30
    readonly property int addressWidth: 163
    readonly property int idWidth: 27
    readonly property int lampWidth: 30
    readonly property int fontSize: 13
    readonly property color textColor: "white"

    width: 376
    height: 30
    z: 3
    color: "#858585"
    border.color: "#161616"

    Row {
        anchors.fill: parent

        Repeater {
            model: [
                { label: "EN", width: header.enableWidth },
                { label: "IP Address", width: header.addressWidth },
                { label: "ID", width: header.idWidth },
                { label: "Preamp Name", width: header.width - header.enableWidth
                                               - header.addressWidth - header.idWidth
                                               - header.lampWidth },
                { label: "ACT", width: header.lampWidth }
            ]

            Text {
                width: modelData.width
                height: parent.height
                text: modelData.label
                color: header.textColor
                font.pixelSize: header.fontSize
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
        }
    }
}
