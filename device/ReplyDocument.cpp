#include "device/ReplyDocument.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

namespace ReplyDocument {

bool has(const QJsonObject &document, QLatin1String key)
{
    const QJsonValue value = document.value(key);
    return !value.isUndefined() && !value.isNull();
}

Kind classify(const QJsonObject &document)
{
    if (has(document, meterKey))
        return Kind::Meter;
    if (has(document, adcKey))
        return has(document, sysKey) ? Kind::Status : Kind::Converter;
    if (has(document, mixerKey))
        return Kind::Mixer;
    if (has(document, channelsKey))
        return Kind::Channel;
    return Kind::Unknown;
}

int readInt(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // Checked by hand: converting an out-of-range double to int is undefined behaviour, and a
    // unit's document is untrusted input.
    const bool whole = std::isfinite(number) && std::trunc(number) == number;
    const bool inRange = number >= double(std::numeric_limits<int>::min()) &&
                         number <= double(std::numeric_limits<int>::max());
    return whole && inRange ? int(number) : 0;
}

QString readText(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

bool readSwitch(const QJsonValue &value)
{
    return value.isString() && value.toString() == switchOn;
}

bool readLocked(const QJsonValue &value)
{
    return value.isString() && value.toString() == clockLocked;
}

} // namespace ReplyDocument
