#pragma once

#include <QJsonObject>

// Twelve units polled at full rate by the program's engine for a number of windows; at the
// start of each window one unit (the next in turn) goes silent for a while and then answers
// again. Its own simulator runs the units.
//
// Per window it records resident memory, the largest number of requests outstanding to the
// silent unit and to any other, and each unit's replies per second relative to the rate its
// timers ask for. Growth is measured from the end of the first window (the warm-up, which has
// seen a silence too) to the end of the last.
namespace SoakRun {

struct Plan
{
    int windows = 10;
    int windowMs = 60000;
    int silenceMs = 20000;
};

// The most requests a silent unit can have outstanding, whatever its timers do: the polls the
// transport lets wait or travel per unit, and one ended reply not yet deleted.
int pendingBound();
// Replies per second an awake unit that answers everything gets.
double nominalRate();

QJsonObject run(const Plan &plan);

} // namespace SoakRun
