#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

#include <array>
#include <optional>

#include "device/Commands.h"

// A preset file as a recall reads it. The loader restores from these readings and the recall
// preview shows them, so a preview refuses exactly the files a recall refuses and shows exactly
// the values a recall takes.
//
// Reading is lenient, as presets edited by hand or stored by older programs are: a missing key,
// a value of another JSON type or an index beyond an array's end reads as 0, false or empty
// text. Only converter codes outside the units' tables are not taken (see UnitSettings).
namespace PresetFile {

struct Document
{
    // The preset object; empty when the file is refused.
    QJsonObject root;
    // The bytes read, so a preview can tell whether the file changed since.
    QByteArray content;
    // Why opening or reading failed, in the file system's words; empty when the file was read.
    QString readError;
    // Why the file recalls nothing, for the operator; empty when root holds a preset object.
    QString refusal;
};

// Reads a regular file of at most SmallFile::largestSize bytes. It is refused when it cannot be
// read, when its content is not JSON, or when the JSON is not an object with at least one key:
// a recall of such a file changes nothing.
Document read(const QString &path);

// "activePreamps" as the file says, not yet kept inside the twelve slots.
int unitCount(const QJsonObject &root);
QList<QString> groups(const QJsonObject &root);
// "presetName" up to its first ".": what the preset bar shows after the recall.
QString shownName(const QJsonObject &root);
// Element slot of "preamps"; empty past its end.
QJsonObject unit(const QJsonObject &root, int slot);
QString address(const QJsonObject &unit);

struct ChannelSettings
{
    int gain = 0;
    bool group = false;
    int groupNo = 0;
    QString name;
    int number = 0;
    bool phantom = false;
    bool phase = false;
    bool ribbon = false;
    QString scribble;
};

struct UnitSettings
{
    // A unit answers a converter code outside its table with an HTTP error, which would stop
    // its polling; such a value reads as nothing here and is not taken over. A missing key
    // reads as 0, as every missing value does.
    std::optional<int> clkOutSource;
    std::optional<int> clkSource;
    std::optional<int> sampleRate;
    std::optional<int> outFormat;
    // The keys and values of the codes not taken, in the order above.
    QVector<QPair<QString, QJsonValue>> refusedCodes;
    std::array<ChannelSettings, Commands::channelCount> channels;
};

UnitSettings settings(const QJsonObject &unit);

} // namespace PresetFile
