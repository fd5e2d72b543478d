import QtQuick 2.15

// The setup view's gain-group list, with "+" and "-" in its title bar. A row reports when the
// operator enables or disables its group; the view decides what that changes.
ManagementPane {
    id: pane

    signal groupTicked(int group, bool enabled)
    signal groupRenamed(int group, string name)

    title: "Group Management"
    header: Component { GroupManagementHeader { width: pane.managementView.width } }
    managementItem: Component {
        GroupManagementItem {
            // As with the unit rows, creating a row enables or renames nothing.
            property bool created: false

            width: pane.managementView.width
            name: model.name
            activeEnable: model.activeEnable
            Component.onCompleted: created = true
            onActiveEnableChanged: {
                if (!created)
                    return
                pane.groupTicked(index, activeEnable)
                activeEnable = Qt.binding(function() { return model.activeEnable })
            }
            onNameChanged: {
                if (created)
                    pane.groupRenamed(index, name)
            }
        }
    }
}
