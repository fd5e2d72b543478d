#pragma once

#include <QStringList>

// The converter settings' integer codes and the labels the operator sees for them. A code is
// the index of its label.
namespace ConverterValues {

const QStringList &sampleRates();
const QStringList &clockSources();
const QStringList &outputFormats();
const QStringList &clockOutSources();

inline bool isSampleRate(int value)
{
    return value >= 0 && value < sampleRates().size();
}
inline bool isClockSource(int value)
{
    return value >= 0 && value < clockSources().size();
}
inline bool isOutputFormat(int value)
{
    return value >= 0 && value < outputFormats().size();
}
inline bool isClockOutSource(int value)
{
    return value >= 0 && value < clockOutSources().size();
}

} // namespace ConverterValues
