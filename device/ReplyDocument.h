#pragma once

#include <QJsonObject>
#include <QLatin1String>
#include <QString>

#include <cstddef>

class QJsonValue;

// The JSON documents a unit answers with: their keys, the lenient reading rules every reader
// shares, and the sorting of a document into its kind by its top-level keys.
namespace ReplyDocument {

// A key's length counted at compile time. QLatin1String(const char *) counts with strlen, which
// not every compiler accepts in a constant expression.
template<std::size_t N> constexpr QLatin1String latin1(const char (&text)[N])
{
    return QLatin1String(text, int(N - 1));
}

// Top-level keys.
inline constexpr QLatin1String meterKey = latin1("meter");
inline constexpr QLatin1String sysKey = latin1("sys");
inline constexpr QLatin1String adcKey = latin1("adc");
inline constexpr QLatin1String mixerKey = latin1("mix_channels");
inline constexpr QLatin1String channelsKey = latin1("channels");

// Keys of "sys".
inline constexpr QLatin1String unitIdKey = latin1("id");
inline constexpr QLatin1String unitNameKey = latin1("name");

// Keys of a channel entry.
inline constexpr QLatin1String channelNoKey = latin1("no");
inline constexpr QLatin1String phantomKey = latin1("48V");
inline constexpr QLatin1String phaseKey = latin1("phase");
inline constexpr QLatin1String ribbonKey = latin1("rbbn");
inline constexpr QLatin1String overKey = latin1("over");
inline constexpr QLatin1String channelIdKey = latin1("id");
inline constexpr QLatin1String gainKey = latin1("gain");
inline constexpr QLatin1String channelNameKey = latin1("name");

// Keys of "adc".
inline constexpr QLatin1String sampleRateKey = latin1("fs");
inline constexpr QLatin1String clockSourceKey = latin1("clksrc");
inline constexpr QLatin1String clockStatusKey = latin1("clksts");
inline constexpr QLatin1String clockOutKey = latin1("clkout");
inline constexpr QLatin1String formatKey = latin1("fmt");

inline constexpr QLatin1String switchOn = latin1("on");
inline constexpr QLatin1String switchOff = latin1("off");
inline constexpr QLatin1String clockLocked = latin1("locked");
inline constexpr QLatin1String clockUnlocked = latin1("unlocked");

enum class Kind
{
    Meter,
    Status,
    Converter,
    Mixer,
    Channel,
    Unknown
};

// A key counts as present when it exists with any value but null.
bool has(const QJsonObject &document, QLatin1String key);

// First match wins: "meter"; "adc" with "sys"; "adc" alone; "mix_channels"; "channels".
Kind classify(const QJsonObject &document);

// A JSON number with a whole value inside the int range; anything else reads as 0.
int readInt(const QJsonValue &value);
// A JSON string; anything else reads as empty.
QString readText(const QJsonValue &value);
// On exactly for the lower-case string "on".
bool readSwitch(const QJsonValue &value);
// Locked exactly for the lower-case string "locked".
bool readLocked(const QJsonValue &value);

} // namespace ReplyDocument
