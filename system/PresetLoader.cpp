#include "system/PresetLoader.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "device/Logging.h"
#include "model/PreampModel.h"
#include "system/FileWriter.h"
#include "system/PresetFile.h"
#include "system/SystemManager.h"

namespace {

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

QByteArray PresetLoader::presetBytes(const QString &presetName) const
{
    return QJsonDocument(presetDocument(presetName)).toJson(QJsonDocument::Compact);
}

void PresetLoader::savePreset(const QUrl &filename)
{
    const QString path = localPath(filename);
    const QString presetName = path.isEmpty() ? filename.fileName() : QFileInfo(path).fileName();
    const QByteArray json = presetBytes(presetName);
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

void PresetLoader::restoreSettings(PreampModel *model, const QJsonObject &unit)
{
    const PresetFile::UnitSettings settings = PresetFile::settings(unit);
    for (const auto &[key, value] : settings.refusedCodes)
        qCDebug(lcSystem) << "Preset Load: Invalid converter value:" << key << value;
    if (settings.clkOutSource)
        model->setClkOutSource(*settings.clkOutSource);
    if (settings.clkSource)
        model->setClkSource(*settings.clkSource);
    if (settings.sampleRate)
        model->setSampleRate(*settings.sampleRate);
    if (settings.outFormat)
        model->setOutFormat(*settings.outFormat);
    const QList<Channel *> list = model->channelList();
    for (int j = 0; j < list.size(); ++j) {
        const PresetFile::ChannelSettings &c = settings.channels.at(j);
        Channel *ch = list.at(j);
        // The gain comes before the group flag, so a grouped channel's group gain starts from it.
        ch->setGain(c.gain);
        ch->setGroup(c.group);
        ch->setGroupName(c.groupNo);
        ch->setName(c.name);
        ch->setNumber(c.number);
        ch->setPhantom(c.phantom);
        ch->setPhase(c.phase);
        ch->setRibbon(c.ribbon);
        ch->setScribbleStrip(c.scribble);
    }
    qCDebug(lcSystem) << "Preset Load: Preamp Data Set";
    model->sendAllToPreamp();
}

void PresetLoader::loadPreset(const QUrl &filename, int loadType)
{
    const QString path = localPath(filename);
    qCDebug(lcSystem) << "opening file" << path;
    const PresetFile::Document document = PresetFile::read(path);
    if (!document.readError.isEmpty())
        qCDebug(lcSystem) << document.readError;
    const QJsonObject &root = document.root;
    if (root.isEmpty()) {
        qCDebug(lcSystem) << "Json Empty";
        emit presetLoaded();
        return;
    }

    emit aboutToRecall(loadType);
    m_manager->setActivePreamps(PresetFile::unitCount(root));
    m_manager->setGroups(PresetFile::groups(root));
    qCDebug(lcSystem) << m_manager->activePreamps() << "Actives at time of load";

    const QList<PreampModel *> models = m_manager->preamps();
    for (int i = 0; i < m_manager->activePreamps(); ++i) {
        const QJsonObject unit = PresetFile::unit(root, i);
        if (restoresAddresses(loadType)) {
            models.at(i)->setIP(PresetFile::address(unit));
            qCDebug(lcSystem) << "Preset Load: IP Set";
        }
        if (restoresSettings(loadType))
            restoreSettings(models.at(i), unit);
    }

    m_manager->setCurrentPreset(PresetFile::shownName(root));
    qCDebug(lcSystem) << "Preset Loaded";
    emit presetLoaded();
}
