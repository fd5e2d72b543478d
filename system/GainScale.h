#pragma once

#include <QString>

#include <algorithm>

#include "device/Commands.h"

// The gain as the operator reads it, beside the unit's gain steps (0 to 68): step 0 reads -6 and
// every step above it the step plus one, so 1 reads 2 and 68 reads 69. Steps beyond the range,
// where a group's view of a gain may run, read as the end values. The channel strips (through
// the interface's Octo singleton), the show log and the recall preview all show gains this way.
namespace GainScale {

inline constexpr int lowestShown = -6;
inline constexpr int highestShown = Commands::maxGain + 1;

constexpr int shown(int step)
{
    return step <= Commands::minGain ? lowestShown : std::min(step, Commands::maxGain) + 1;
}

// A reading typed by the operator (lowestShown to highestShown) back to its step: the readings
// below that of step 1 all stand for step 0.
constexpr int stepOf(int reading)
{
    return reading < shown(Commands::minGain + 1) ? Commands::minGain : reading - 1;
}

inline QString text(int step)
{
    return QString::number(shown(step));
}

} // namespace GainScale
