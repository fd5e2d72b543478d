#include "system/PresetLoader.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "device/ConverterValues.h"
#include "device/ReplyDocument.h"
#include "model/PreampModel.h"
#include "system/FileWriter.h"
#include "system/Logging.h"
#include "system/SmallFile.h"
#include "system/SystemManager.h"

namespace {

QJsonValue elementAt(const QJsonArray &array, int index)
{
    return index < array.size() ? array.at(index) : QJsonValue(QJsonValue::Undefined);
}

// Numbers and texts read as a unit's reply is read (ReplyDocument). Only a preset stores JSON
// booleans, so their reader lives here.
using ReplyDocument::readInt;
using ReplyDocument::readText;

bool readBool(const QJsonValue &value)
{
    return value.isBool() && value.toBool();
}

// A converter code of a preset's "adc", or false when the value is no code of the field's table:
// a preset edited by hand or stored by some other program may hold anything, and a unit answers
// an unknown code in the full sync with an HTTP error, which stops its polling. Such a value is
// neither stored nor sent, so the unit keeps its own. A missing key reads as 0, as every
// missing value of a preset does.
bool readConverterCode(const QJsonObject &adc, const QString &key, bool (*inTable)(int), int *code)
{
    const QJsonValue value = adc.value(key);
    *code = readInt(value);
    if (value.isUndefined() || (value.isDouble() && value.toDouble() == *code && inTable(*code)))
        return true;
    qCDebug(lcSystem) << "Preset Load: Invalid converter value:" << key << value;
    return false;
}

QJsonObject channelObject(const Channel *ch)
{
    return QJsonObject{{QStringLiteral("gain"), ch->gain()},
                       {QStringLiteral("group"), ch->group()},
                       {QStringLiteral("groupNo"), ch->groupName()},
                       {QStringLiteral("name"), ch->name()},
                       {QStringLiteral("no"), ch->number()},
                       {QStringLiteral("phantom"), ch->phantom()},
                       {QStringLiteral("phase"), ch->phase()},
                       {QStringLiteral("ribbon"), ch->ribbon()},
                       {QStringLiteral("scribble"), ch->scribbleStrip()}};
}

} // namespace

PresetLoader::PresetLoader(SystemManager *manager, QObject *parent)
    : QObject(parent), m_manager(manager)
{}

QString PresetLoader::localPath(const QUrl &filename)
{
    if (filename.isLocalFile())
        return filename.toLocalFile();
    if (filename.toString() == closingPresetText)
        return QDir(SystemManager::dataDirectory()).filePath(closingPresetFile);
    return QString();
}

QJsonObject PresetLoader::unitObject(const PreampModel *model)
{
    QJsonArray channels;
    for (const Channel *ch : model->channelList())
        channels.append(channelObject(ch));
    const QJsonObject adc{{QStringLiteral("clkOutSource"), model->clkOutSource()},
                          {QStringLiteral("clkSource"), model->clkSource()},
                          {QStringLiteral("outFormat"), model->outFormat()},
                          {QStringLiteral("sampleRate"), model->sampleRate()}};
    return QJsonObject{{QStringLiteral("adc"), adc},
                       {QStringLiteral("channels"), channels},
                       {QStringLiteral("ipAddr"), model->ipAddr()},
                       {QStringLiteral("sys"), QJsonObject()}};
}

QJsonObject PresetLoader::presetDocument(const QString &presetName) const
{
    const int active = m_manager->activePreamps();
    qCDebug(lcSystem) << "Setting Preamps." << active << " active preamps";
    QJsonArray units;
    const QList<PreampModel *> models = m_manager->preamps();
    for (int i = 0; i < active; ++i)
        units.append(unitObject(models.at(i)));
    qCDebug(lcSystem) << "Setting Groups";
    const QList<QString> groups = m_manager->groups();
    qCDebug(lcSystem) << groups;
    return QJsonObject{{QStringLiteral("preamps"), units},
                       {QStringLiteral("groups"), QJsonArray::fromStringList(groups)},
                       {QStringLiteral("activePreamps"), active},
                       {QStringLiteral("presetName"), presetName}};
}

void PresetLoader::savePreset(const QUrl &filename)
{
    const QString path = localPath(filename);
    const QString presetName = path.isEmpty() ? filename.fileName() : QFileInfo(path).fileName();
    const QByteArray json =
        QJsonDocument(presetDocument(presetName)).toJson(QJsonDocument::Compact);
    qCDebug(lcSystem).noquote() << json;
    qCDebug(lcSystem) << "Local File:" << path;

    if (!path.isEmpty())
        QDir().mkpath(QFileInfo(path).absolutePath());
    const FileWriter::Result result = FileWriter::replaceContent(path, json);
    if (result.outcome == FileWriter::Outcome::Written)
        qCDebug(lcSystem) << path;
    else
        qCDebug(lcSystem) << result.errorString;
}

QJsonObject PresetLoader::readDocument(const QString &path)
{
    QFile file(path);
    QByteArray content;
    QString error;
    if (!SmallFile::open(file, QIODevice::ReadOnly, &error) ||
        !SmallFile::readAll(file, &content, &error)) {
        qCDebug(lcSystem) << error;
        return QJsonObject();
    }
    return QJsonDocument::fromJson(content).object();
}

void PresetLoader::restoreSettings(PreampModel *model, const QJsonObject &unit)
{
    const QJsonObject adc = unit.value(QLatin1String("adc")).toObject();
    int code = 0;
    if (readConverterCode(adc, QStringLiteral("clkOutSource"), ConverterValues::isClockOutSource,
                          &code))
        model->setClkOutSource(code);
    if (readConverterCode(adc, QStringLiteral("clkSource"), ConverterValues::isClockSource, &code))
        model->setClkSource(code);
    if (readConverterCode(adc, QStringLiteral("sampleRate"), ConverterValues::isSampleRate, &code))
        model->setSampleRate(code);
    if (readConverterCode(adc, QStringLiteral("outFormat"), ConverterValues::isOutputFormat, &code))
        model->setOutFormat(code);
    const QJsonArray channels = unit.value(QLatin1String("channels")).toArray();
    const QList<Channel *> list = model->channelList();
    for (int j = 0; j < list.size(); ++j) {
        const QJsonObject c = elementAt(channels, j).toObject();
        Channel *ch = list.at(j);
        // The gain comes before the group flag, so a grouped channel's group gain starts from it.
        ch->setGain(readInt(c.value(QLatin1String("gain"))));
        ch->setGroup(readBool(c.value(QLatin1String("group"))));
        ch->setGroupName(readInt(c.value(QLatin1String("groupNo"))));
        ch->setName(readText(c.value(QLatin1String("name"))));
        ch->setNumber(readInt(c.value(QLatin1String("no"))));
        ch->setPhantom(readBool(c.value(QLatin1String("phantom"))));
        ch->setPhase(readBool(c.value(QLatin1String("phase"))));
        ch->setRibbon(readBool(c.value(QLatin1String("ribbon"))));
        ch->setScribbleStrip(readText(c.value(QLatin1String("scribble"))));
    }
    qCDebug(lcSystem) << "Preset Load: Preamp Data Set";
    model->sendAllToPreamp();
}

void PresetLoader::loadPreset(const QUrl &filename, int loadType)
{
    const QString path = localPath(filename);
    qCDebug(lcSystem) << "opening file" << path;
    const QJsonObject root = readDocument(path);
    if (root.isEmpty()) {
        qCDebug(lcSystem) << "Json Empty";
        emit presetLoaded();
        return;
    }

    m_manager->setActivePreamps(readInt(root.value(QLatin1String("activePreamps"))));
    QList<QString> groups;
    for (const QJsonValue &name : root.value(QLatin1String("groups")).toArray())
        groups << name.toVariant().toString();
    m_manager->setGroups(groups);
    qCDebug(lcSystem) << m_manager->activePreamps() << "Actives at time of load";

    const QJsonArray units = root.value(QLatin1String("preamps")).toArray();
    const QList<PreampModel *> models = m_manager->preamps();
    for (int i = 0; i < m_manager->activePreamps(); ++i) {
        const QJsonObject unit = elementAt(units, i).toObject();
        if (restoresAddresses(loadType)) {
            models.at(i)->setIP(readText(unit.value(QLatin1String("ipAddr"))));
            qCDebug(lcSystem) << "Preset Load: IP Set";
        }
        if (restoresSettings(loadType))
            restoreSettings(models.at(i), unit);
    }

    m_manager->setCurrentPreset(
        readText(root.value(QLatin1String("presetName"))).section(QLatin1Char('.'), 0, 0));
    qCDebug(lcSystem) << "Preset Loaded";
    emit presetLoaded();
}
