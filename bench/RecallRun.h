#pragma once

#include <QJsonObject>
#include <QStringList>

// Recalling a preset's unit settings to twelve units through the program's own path: the
// SystemManager's load request, which start-up hands to the PresetLoader, reads a preset file
// and runs each unit's sendAllToPreamp(), 45 commands a unit.
//
// Before the recall the units are polled at full rate, as on the unit view, and then
// disconnected, as the window does before it opens its recall dialog, so the recall runs
// without polls (once every outstanding poll has ended). With resumePolling every unit is
// started with init() as soon as the load reports it is done, as the window does when the
// recall ends on the unit view; the commands then share the units with the polls.
//
// The recall is timed from the load request until every unit's 45th answer has arrived at the
// controller. Commands leave for a unit one at a time in the order issued, so without polls a
// unit's 45 answers are all the documents and errors it sends back; with polls (whose status
// documents look like the unit-name command's answer) a unit is done at its fourth converter
// document, the answer to its last command, once its 40 channel answers have come too.
namespace RecallRun {

constexpr int commandsPerUnit = 45;

struct Plan
{
    bool resumePolling = false;
    int timeoutMs = 30000;
};

// Before the recall, the recall preview of the same file is built as the window builds it
// (RecallPreview::build and its list of rows), against the models' copies of the units; and
// once more for the same settings at addresses the controller has not heard from, where every
// one of the 540 settings is listed.
//
// Adds mode, units, recallMs (last unit done), fastestUnitMs, loadCallMs (the load request
// itself: reading the file, writing the undo snapshot and issuing every command), snapshotMs
// (writing the undo snapshot alone, before the recall), preview and
// previewAll ({ms, changes, rows}: the preview's build and list, its changes and lines),
// unitsDone,
// fewestAnswers (of one unit), presetNamesEchoed (channel answers carrying the name the preset gave
// that channel), meterReports (meter polls answered before the last unit was done) and errors.
QJsonObject run(const QStringList &addresses, const Plan &plan);

} // namespace RecallRun
