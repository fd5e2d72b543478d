import QtQuick 2.15
import com.Corvane.controller 1.0

// The setup view's unit list: one row per unit address of the window's preampSetupModel, with
// "Find units", "+" and "-" in its title bar. A row reports what the operator did to it; the
// view decides what that changes.
ManagementPane {
    id: pane

    // The operator ticked or unticked row r, left its address field with a text other than the
    // one it showed, or entered a new unit name.
    signal rowTicked(int row, bool enabled)
    signal addressTyped(int row, string text)
    signal renamed(int row, string text)

    title: "Preamp Management"
    toolLabel: Octo.findUnitsTexts.title
    header: Component { PreampManagementHeader { width: pane.managementView.width } }
    managementItem: Component {
        PreampManagementItem {
            // Taking the row's values on creation is no change, so a new row ticks nothing;
            // only what happens to an existing row counts.
            property bool created: false

            width: pane.managementView.width
            ipAddr: model.ipAddr
            activeEnable: model.activeEnable
            name: model.name
            preampID: model.preampID
            preampActive: model.preampActive
            Component.onCompleted: created = true
            // The row writes its tick when toggled; once the model holds the value, the property
            // follows the model again. An address edit is only reported: the view decides what
            // it stores, and the row follows the model throughout.
            onActiveEnableChanged: {
                if (!created)
                    return
                pane.rowTicked(index, activeEnable)
                activeEnable = Qt.binding(function() { return model.activeEnable })
            }
            onAddressEdited: pane.addressTyped(index, text)
            onTextChanged: pane.renamed(index, text)
        }
    }
}
