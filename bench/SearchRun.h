#pragma once

#include <QJsonObject>

// How long the setup view's search for units takes over a /24 of loopback with three simulated
// units on it: UnitScanner as the "Find units" panel runs it, timed from start() until the
// search has ended, once per run against the same simulator process. On loopback an address
// without a unit refuses at once, so this is the search's own cost (254 requests, 32 at a time);
// on a network where addresses stay silent the 1500 ms timeout bounds it instead.
//
// The units run on 127.0.52.0/24, a network no suite and no other benchmark uses: a unit of
// theirs inside the range would be found and answered too.
namespace SearchRun {

// Adds mode, runs, searchMs (one figure per run), medianMs, minMs, maxMs, found (units found
// in the last run) and tried (addresses tried in the last run).
QJsonObject run(int runs);

} // namespace SearchRun
