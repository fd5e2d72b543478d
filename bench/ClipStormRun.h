#pragma once

#include <QJsonObject>
#include <QStringList>

// The show log in a clip storm: the complete program as InterfaceRun measures it (twelve units in
// use, two pages shown), with every channel of every unit driven to the over level
// (SIM_CLIP=ALL) from before the warm-up to the end of the window, or the same run without the
// storm, to be measured side by side. With logOpen the log's panel is open throughout, listing
// the entries as they come.
//
// Beside InterfaceRun's figures: the over entries the show log recorded from the storm's start,
// the channels they were on, the most of one channel, and the shortest time between two entries
// of one channel, at least 10 s when the log writes at most one entry per channel per 10 s.
// Afterwards the units' clipping and latched overs are cleared, so the next run starts clean.
namespace ClipStormRun {

struct Plan
{
    bool storm = false;
    bool logOpen = false;
    int warmupMs = 2000;
    int windowMs = 60000;
};

QJsonObject run(const QStringList &addresses, const Plan &plan);

} // namespace ClipStormRun
