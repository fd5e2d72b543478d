#pragma once

#include <QLoggingCategory>

// The program's logging categories, one per area, so an operator can quiet one area and keep the
// others (QT_LOGGING_RULES="octo.unit.debug=false"). Every category writes debug lines unless a
// rule says otherwise, as the program always has.
//
// The ground floor of the layers: the transport (device/) and the unit models (model/) log here
// as the system and the start-up do, so this library includes nothing of the project and needs
// only QtCore (tests/scripts/tst_layers.sh keeps every layer to the ones below it).
Q_DECLARE_LOGGING_CATEGORY(lcTransport) // "octo.transport": the HTTP transport (device/)
Q_DECLARE_LOGGING_CATEGORY(lcUnit)      // "octo.unit": the unit models (model/)
Q_DECLARE_LOGGING_CATEGORY(lcSystem)    // "octo.system": unit slots, saved state, presets
Q_DECLARE_LOGGING_CATEGORY(lcWindow)    // "octo.window": start-up and the window's wiring (app/)

namespace Logging {

// Makes the program write the lines of its own categories without the category in front, which
// the toolkit's output puts before every category but the default one: the program's log reads
// as plain lines, and the categories are there to choose what is written, not to show in it.
// The lines of every other category, the window's QML lines ("qml: ...") among them, go on to
// the handler installed before, unchanged. Called once by main() before the first line; the
// handler stays for the life of the process.
void writeOwnLinesPlain();

} // namespace Logging
