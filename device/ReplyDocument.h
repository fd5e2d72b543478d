#pragma once

#include <QJsonObject>
#include <QLatin1String>
#include <QString>

class QJsonValue;

// The JSON documents a unit answers with: their keys, the lenient reading rules every reader
// shares, and the sorting of a document into its kind by its top-level keys.
namespace ReplyDocument {

// Top-level keys.
inline constexpr QLatin1String meterKey{"meter"};
inline constexpr QLatin1String sysKey{"sys"};
inline constexpr QLatin1String adcKey{"adc"};
inline constexpr QLatin1String mixerKey{"mix_channels"};
inline constexpr QLatin1String channelsKey{"channels"};

// Keys of "sys".
inline constexpr QLatin1String unitIdKey{"id"};
inline constexpr QLatin1String unitNameKey{"name"};

// Keys of a channel entry.
inline constexpr QLatin1String channelNoKey{"no"};
inline constexpr QLatin1String phantomKey{"48V"};
inline constexpr QLatin1String phaseKey{"phase"};
inline constexpr QLatin1String ribbonKey{"rbbn"};
inline constexpr QLatin1String overKey{"over"};
inline constexpr QLatin1String channelIdKey{"id"};
inline constexpr QLatin1String gainKey{"gain"};
inline constexpr QLatin1String channelNameKey{"name"};

// Keys of "adc".
inline constexpr QLatin1String sampleRateKey{"fs"};
inline constexpr QLatin1String clockSourceKey{"clksrc"};
inline constexpr QLatin1String clockStatusKey{"clksts"};
inline constexpr QLatin1String clockOutKey{"clkout"};
inline constexpr QLatin1String formatKey{"fmt"};

inline constexpr QLatin1String switchOn{"on"};
inline constexpr QLatin1String switchOff{"off"};
inline constexpr QLatin1String clockLocked{"locked"};
inline constexpr QLatin1String clockUnlocked{"unlocked"};

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
