#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include "system/ShowLogEntry.h"

class QIODevice;

// The show log as CSV (RFC 4180): UTF-8 without a byte-order mark, lines ended by CR LF, a header
// row, and a field in double quotes (its quotes doubled) exactly when it holds a comma, a quote,
// a CR or an LF. The columns are fixed; new ones are only ever added at the end:
//
//   time          local ISO 8601 time with offset, to the second (the first event of an entry)
//   kind          link, clock, over, change, preset, program
//   event         online, overdue, offline, back; lost, regained; over; changed, refused;
//                 stored, store failed, recalled; started, closed
//   slot          the unit's slot, 1 to 12
//   address, unit_id, unit_name      the unit at that moment
//   channel, channel_name            1 to 8 and its name, for channel events
//   setting, old_value, new_value    a change, values as the window shows them
//   source        operator, group move, preset recall, full sync, reset to defaults
//   count         overs of the entry, or steps of a held change
//   last_time     the last over or step of the entry
//   duration_s    seconds: overdue/offline without an answer, back after away, clock unlocked
//   preset_file, load_type           a preset's file name and the recall's load type (1-3)
//   description   the entry as the log view words it
//
// Empty fields are values that do not apply.
namespace ShowLogCsv {

QStringList columns();
QByteArray header();
QByteArray row(const ShowLogEntry &entry);
// Writes the header and a row per entry, in the order given. False when the device fails.
bool write(QIODevice &device, const QVector<ShowLogEntry> &entries);

} // namespace ShowLogCsv
