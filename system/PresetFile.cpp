#include "system/PresetFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include "device/ConverterValues.h"
#include "device/ReplyDocument.h"
#include "system/SmallFile.h"

namespace PresetFile {

namespace {

// Numbers and texts read as a unit's reply is read (ReplyDocument). Only a preset stores JSON
// booleans, so their reader lives here.
using ReplyDocument::readInt;
using ReplyDocument::readText;

bool readBool(const QJsonValue &value)
{
    return value.isBool() && value.toBool();
}

QJsonValue elementAt(const QJsonArray &array, int index)
{
    return index < array.size() ? array.at(index) : QJsonValue(QJsonValue::Undefined);
}

QString readRefusal(const QString &error)
{
    if (error == SmallFile::fileTooLarge)
        return QStringLiteral("The file is larger than %1 MiB: no preset is that large.")
            .arg(SmallFile::largestSize / (1024 * 1024));
    if (error == SmallFile::notRegularFile)
        return QStringLiteral("Not a regular file: a folder, a pipe or a device holds no preset.");
    return QStringLiteral("The file cannot be read: %1.").arg(error);
}

void readConverterCode(const QJsonObject &adc, const QString &key, bool (*inTable)(int),
                       std::optional<int> *code, UnitSettings *settings)
{
    const QJsonValue value = adc.value(key);
    const int read = readInt(value);
    if (value.isUndefined() || (value.isDouble() && value.toDouble() == read && inTable(read)))
        *code = read;
    else
        settings->refusedCodes.append({key, value});
}

} // namespace

Document read(const QString &path)
{
    Document document;
    QFile file(path);
    if (!SmallFile::open(file, QIODevice::ReadOnly, &document.readError) ||
        !SmallFile::readAll(file, &document.content, &document.readError)) {
        document.content.clear();
        document.refusal = readRefusal(document.readError);
        return document;
    }
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(document.content, &error);
    if (error.error != QJsonParseError::NoError)
        document.refusal = QStringLiteral("The file is not JSON (%1 at byte %2): not a preset.")
                               .arg(error.errorString())
                               .arg(error.offset);
    else if (json.object().isEmpty())
        document.refusal = QStringLiteral("The file holds JSON, but not a preset.");
    else
        document.root = json.object();
    return document;
}

int unitCount(const QJsonObject &root)
{
    return readInt(root.value(QLatin1String("activePreamps")));
}

QList<QString> groups(const QJsonObject &root)
{
    QList<QString> names;
    for (const QJsonValue &name : root.value(QLatin1String("groups")).toArray())
        names << name.toVariant().toString();
    return names;
}

QString shownName(const QJsonObject &root)
{
    return readText(root.value(QLatin1String("presetName"))).section(QLatin1Char('.'), 0, 0);
}

QJsonObject unit(const QJsonObject &root, int slot)
{
    return elementAt(root.value(QLatin1String("preamps")).toArray(), slot).toObject();
}

QString address(const QJsonObject &unit)
{
    return readText(unit.value(QLatin1String("ipAddr")));
}

UnitSettings settings(const QJsonObject &unit)
{
    UnitSettings settings;
    const QJsonObject adc = unit.value(QLatin1String("adc")).toObject();
    readConverterCode(adc, QStringLiteral("clkOutSource"), ConverterValues::isClockOutSource,
                      &settings.clkOutSource, &settings);
    readConverterCode(adc, QStringLiteral("clkSource"), ConverterValues::isClockSource,
                      &settings.clkSource, &settings);
    readConverterCode(adc, QStringLiteral("sampleRate"), ConverterValues::isSampleRate,
                      &settings.sampleRate, &settings);
    readConverterCode(adc, QStringLiteral("outFormat"), ConverterValues::isOutputFormat,
                      &settings.outFormat, &settings);
    const QJsonArray channels = unit.value(QLatin1String("channels")).toArray();
    for (int j = 0; j < int(settings.channels.size()); ++j) {
        const QJsonObject c = elementAt(channels, j).toObject();
        ChannelSettings &ch = settings.channels[j];
        ch.gain = readInt(c.value(QLatin1String("gain")));
        ch.group = readBool(c.value(QLatin1String("group")));
        ch.groupNo = readInt(c.value(QLatin1String("groupNo")));
        ch.name = readText(c.value(QLatin1String("name")));
        ch.number = readInt(c.value(QLatin1String("no")));
        ch.phantom = readBool(c.value(QLatin1String("phantom")));
        ch.phase = readBool(c.value(QLatin1String("phase")));
        ch.ribbon = readBool(c.value(QLatin1String("ribbon")));
        ch.scribble = readText(c.value(QLatin1String("scribble")));
    }
    return settings;
}

} // namespace PresetFile
