#pragma once

#include <QString>

#include <limits>
#include <optional>

// How the simulator reads every number of its commands, options and scenarios: a whole number in
// decimal from least to most, or nothing.
inline std::optional<int> wholeNumber(const QString &text,
                                      int least = std::numeric_limits<int>::min(),
                                      int most = std::numeric_limits<int>::max())
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= least && value <= most ? std::optional<int>(value) : std::nullopt;
}
