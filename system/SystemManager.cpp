#include "system/SystemManager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QStandardPaths>
#include <QTextStream>

#include "device/Logging.h"
#include "device/NetworkCom.h"
#include "device/UnitAddress.h"
#include "model/PreampModel.h"
#include "system/ChangeSource.h"
#include "system/FileWriter.h"
#include "system/PresetLoader.h"
#include "system/SmallFile.h"

namespace {

const QString lineTooLong = QStringLiteral("Line too long");

// The lines the saved state is made of: the count, that many addresses (kept inside the twelve
// slots) and the folder; a missing line reads as a null text. Each is read with a bound, so one
// longer than any the program writes is refused without reading on through it.
bool readStateLines(QTextStream &in, QStringList *lines, QString *error)
{
    int wanted = 1;
    for (int i = 0; i < wanted; ++i) {
        const QString line = in.readLine(SystemManager::longestStateLine + 1);
        if (line.size() > SystemManager::longestStateLine) {
            *error = lineTooLong;
            return false;
        }
        if (i == 0)
            wanted = SystemManager::clampedCount(line.toInt()) + 2;
        lines->append(line);
    }
    return true;
}

} // namespace

SystemManager::SystemManager(QObject *parent) : QObject(parent) {}

SystemManager::SystemManager(NetworkCom *transport, QQmlApplicationEngine *engine, QObject *parent)
    : QObject(parent), m_rootContext(engine->rootContext()), m_engine(engine),
      m_presetLoader(new PresetLoader(this, nullptr)),
      m_recallPreview(new RecallPreview(this, this)), m_recallUndo(new RecallUndo(this, this)),
      m_transport(transport)
{
    createModels();
    connectRecallSafety();
    for (PreampModel *model : qAsConst(m_preamps)) {
        connectModel(model);
        connectGroupMoves(model);
    }
    publishContextProperties();
}

SystemManager::~SystemManager()
{
    delete m_presetLoader;
}

QString SystemManager::dataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

int SystemManager::clampedCount(int count)
{
    return qBound(0, count, slotCount);
}

void SystemManager::createModels()
{
    for (int i = 0; i < slotCount; ++i)
        m_preamps.append(new PreampModel);
}

// Every report and every reply error goes to all twelve models, which keep what carries their
// own address: that broadcast is the only way a reply finds its unit.
void SystemManager::connectModel(PreampModel *model)
{
    connect(model, SIGNAL(sendCommand(QString, QString)), m_transport,
            SLOT(command(QString, QString)));
    connect(m_transport, SIGNAL(statusUpdate(QJsonObject, QString)), model,
            SLOT(statusUpdated(QJsonObject, QString)));
    connect(m_transport, SIGNAL(channelUpdate(QJsonObject, QString)), model,
            SLOT(channelUpdated(QJsonObject, QString)));
    connect(m_transport, SIGNAL(replyError(QString, QString)), model,
            SLOT(errorReceived(QString, QString)));
    connect(m_transport, SIGNAL(meterUpdate(QJsonObject, QString)), model,
            SLOT(newMeterData(QJsonObject, QString)));
    connect(m_transport, SIGNAL(adcUpdate(QJsonObject, QString)), model,
            SLOT(adcUpdated(QJsonObject, QString)));
}

// A group move reaches every model, in slot order after the one where it starts (which the
// model's own constructor connects to itself), so channels on any unit move together.
void SystemManager::connectGroupMoves(PreampModel *source)
{
    for (PreampModel *target : qAsConst(m_preamps)) {
        if (target != source)
            connect(source, SIGNAL(groupGainChange(int, int)), target,
                    SLOT(groupGainUpdate(int, int)));
    }
}

// Before the models' own connections: the preview tells a ping's answer from a poll's by the
// model that asked, which forgets it has asked once it has the answer.
void SystemManager::connectRecallSafety()
{
    connect(m_transport, &NetworkCom::statusUpdate, m_recallPreview, &RecallPreview::statusUpdated);
    connect(m_presetLoader, &PresetLoader::aboutToRecall, m_recallUndo, &RecallUndo::saveSnapshot);
    connect(m_presetLoader, &PresetLoader::presetLoaded, m_recallUndo, &RecallUndo::recallEnded);
}

QVariantList SystemManager::unitList() const
{
    QVariantList units;
    for (PreampModel *model : m_preamps)
        units << QVariant::fromValue(model);
    return units;
}

void SystemManager::publishContextProperties()
{
    for (int i = 0; i < m_preamps.size(); ++i)
        m_rootContext->setContextProperty(QStringLiteral("preampModel%1").arg(i + 1),
                                          m_preamps.at(i));
    m_rootContext->setContextProperty(QStringLiteral("systemManager"), this);
}

void SystemManager::publishPresetFolder()
{
    if (m_rootContext)
        m_rootContext->setContextProperty(QStringLiteral("presetFolder"), m_presetDir);
}

// --- Counts, groups and the current preset ---------------------------------------------------

void SystemManager::setActivePreamps(int count)
{
    m_activePreamps = clampedCount(count);
    emit activesChanged(m_activePreamps);
}

void SystemManager::activePreampsChanged(const QVariant &num)
{
    m_activePreamps = clampedCount(num.toInt());
    qCDebug(lcSystem) << m_activePreamps << "Active Preamps";
}

void SystemManager::setGroups(const QList<QString> &names)
{
    m_groups = names;
}

void SystemManager::groupModelChanged(const QVariant &) {}

void SystemManager::syncPreamps()
{
    qCDebug(lcSystem) << "Syncing";
}

void SystemManager::setCurrentPreset(const QString &name)
{
    m_currentPreset = name;
    if (m_engine && !m_engine->rootObjects().isEmpty())
        m_engine->rootObjects().constFirst()->setProperty("currentPreset", name);
}

void SystemManager::enableGroup(int group, bool enable)
{
    for (int i = 0; i < m_activePreamps; ++i) {
        PreampModel *model = m_preamps.at(i);
        for (int row = 0; row < PreampModel::channelCount; ++row) {
            if (model->channel(row)->groupName() == group)
                model->setProperty(row, QStringLiteral("groupRole"), enable);
        }
    }
}

void SystemManager::toDefaults()
{
    const ChangeSource::Scope reset(ChangeSource::ResetToDefaults);
    for (int i = 0; i < m_activePreamps; ++i)
        m_preamps.at(i)->setToDefault();
}

// --- Presets ---------------------------------------------------------------------------------

void SystemManager::savePreset(const QVariant &filename)
{
    const QUrl url = filename.toUrl();
    qCDebug(lcSystem) << "Save Preset Signal received" << url.path() << "/" << url.fileName();
    emit save(url);
}

void SystemManager::loadPreset(const QVariant &filename, const QVariant &loadType)
{
    qCDebug(lcSystem) << "Loading Preset with Load Type:" << loadType;
    // The loader pushes the preset's settings to the units within this call.
    const ChangeSource::Scope recall(ChangeSource::PresetRecall);
    emit load(filename.toUrl(), loadType.toInt());
}

void SystemManager::loaded()
{
    emit presetLoaded();
}

// --- Preset folder ---------------------------------------------------------------------------

QUrl SystemManager::homeFolder() const
{
    return QUrl(QDir::homePath(), QUrl::TolerantMode);
}

QUrl SystemManager::presetDir()
{
    if (!m_presetDir.isValid() || m_presetDir.isEmpty()) {
        qCWarning(lcSystem) << "Prest Dir Invalid or Empty: " << m_presetDir;
        m_presetDir = homeFolder();
    }
    return m_presetDir;
}

void SystemManager::setPresetDir(const QUrl &folder)
{
    if (folder.isValid() && !folder.isEmpty()) {
        m_presetDir = folder;
        return;
    }
    qCWarning(lcSystem) << "Prest Dir Invalid or Empty: " << m_presetDir;
    m_presetDir = homeFolder();
}

// --- Saved state -----------------------------------------------------------------------------

QStringList SystemManager::addressesToSave() const
{
    // Units that were offline when the state was saved are left out; the ones after them move
    // up a slot at the next start.
    QStringList addresses;
    for (const PreampModel *model : m_preamps) {
        if (model->ipAddr() != UnitAddress::unset && model->online() != PreampModel::Offline)
            addresses << model->ipAddr();
    }
    return addresses;
}

void SystemManager::saveState(const QVariant &folder)
{
    const QStringList addresses = addressesToSave();
    m_presetDir = QUrl(folder.toString());
    qCDebug(lcSystem) << m_presetDir;
    publishPresetFolder();

    const QString directory = dataDirectory();
    QDir().mkpath(directory);
    QByteArray content = QByteArray::number(addresses.size()) + '\n';
    for (const QString &address : addresses)
        content += address.toUtf8() + '\n';
    content += m_presetDir.toString().toUtf8() + '\n';

    const QString path = QDir(directory).filePath(stateFileName);
    const FileWriter::Result result = FileWriter::replaceContent(path, content);
    if (result.outcome == FileWriter::Outcome::OpenFailed)
        qCDebug(lcSystem) << "Save State: Cannot open file: " << result.errorString;
    else if (result.outcome == FileWriter::Outcome::WriteFailed)
        qCDebug(lcSystem) << "Save State: Cannot write file: " << result.errorString;
    else
        qCDebug(lcSystem) << path;
}

void SystemManager::restoreState()
{
    QFile file(QDir(dataDirectory()).filePath(stateFileName));
    QString error;
    QStringList lines;
    bool read = SmallFile::open(file, QIODevice::ReadOnly | QIODevice::Text, &error);
    if (read) {
        QTextStream in(&file);
        in.setCodec("UTF-8");
        // Every line is read before any is applied, so a refused file changes nothing.
        read = readStateLines(in, &lines, &error);
    }
    if (!read) {
        m_presetDir = homeFolder();
        m_presetDir.setScheme(QStringLiteral("file"));
        publishPresetFolder();
        qCDebug(lcSystem) << "Restore State: Cannot open file: " << error;
        return;
    }
    qCDebug(lcSystem) << "Restore State: Loaded file: " << file.fileName();
    setActivePreamps(lines.constFirst().toInt());
    for (int i = 0; i < m_activePreamps; ++i) {
        m_preamps.at(i)->setIP(lines.at(i + 1));
        qCDebug(lcSystem) << "Restore State: IP" << i << "set to:" << m_preamps.at(i)->ipAddr();
    }
    m_presetDir = QUrl(lines.constLast());
    publishPresetFolder();
    emit restored();
}
