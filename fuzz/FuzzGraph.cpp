#include "FuzzGraph.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

#include "app/Startup.h"
#include "device/NetworkCom.h"
#include "model/LinkMonitor.h"
#include "model/PreampModel.h"
#include "system/SystemManager.h"

namespace {

// After the first inputs, which every run starts with (the seeds), the comparison with the
// state the graph was built in runs on every so many; it costs about as much as an input.
constexpr quint64 inputsCheckedAlways = 1000;
constexpr quint64 checkEvery = 64;

const QString presetFolderProperty = QStringLiteral("presetFolder");

// The controller logs every report it takes; at thousands of inputs a second that drowns the
// fuzzer's own output, and formatting the lines costs more than taking the reports. The
// project's categories are switched off and the toolkit's own lines dropped. OCTO_FUZZ_LOG=1
// keeps the log for looking into a single input.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void makeApplication()
{
    static int argc = 1;
    static char name[] = "octo-fuzz";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives until the process ends, as in the program
    if (!qEnvironmentVariableIsSet("OCTO_FUZZ_LOG")) {
        qInstallMessageHandler(quietMessages);
        QLoggingCategory::setFilterRules(QStringLiteral("octo.*=false"));
    }
}

// Storing a preset or the saved state syncs the file to disk; a folder in memory, where there is
// one, keeps that from setting the pace of the fuzzers.
QString homeTemplate()
{
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    const QString parent =
        memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
    return parent + QStringLiteral("/octo-fuzz-XXXXXX");
}

LinkMonitor *linkOf(PreampModel *model)
{
    auto *link = model->findChild<LinkMonitor *>(QString(), Qt::FindDirectChildrenOnly);
    FUZZ_CHECK(link);
    return link;
}

// Written through the channel's own writers, and only where a field differs, as most inputs
// touch few channels.
void resetChannel(Channel *ch, const Channel *built)
{
    // Also re-bases the group gain and forgets a group move that waits for its report.
    if (ch->group() != built->group() || ch->groupGain() != built->groupGain())
        ch->setGroup(built->group());
    if (ch->phantom() != built->phantom())
        ch->setPhantom(built->phantom());
    if (ch->phase() != built->phase())
        ch->setPhase(built->phase());
    if (ch->ribbon() != built->ribbon())
        ch->setRibbon(built->ribbon());
    if (ch->groupName() != built->groupName())
        ch->setGroupName(built->groupName());
    if (ch->reportedGain() != built->reportedGain())
        ch->setGain(built->reportedGain());
    if (ch->name() != built->name())
        ch->setName(built->name());
    if (ch->number() != built->number())
        ch->setNumber(built->number());
    if (ch->meterLevel() != built->meterLevel())
        ch->setMeterLevel(built->meterLevel());
    if (ch->peakLevel() != built->peakLevel())
        ch->setPeakValue(built->peakLevel());
    if (ch->scribbleStrip() != built->scribbleStrip())
        ch->setScribbleStrip(built->scribbleStrip());
    if (ch->over() != built->over())
        ch->setOver(built->over());
    if (ch->requestedGain() != built->requestedGain())
        ch->dropRequestedGain();
}

void resetTimer(QTimer *timer, const QTimer *built)
{
    timer->stop();
    if (timer->interval() != built->interval())
        timer->setInterval(built->interval());
}

} // namespace

FuzzGraph &FuzzGraph::instance()
{
    static FuzzGraph graph;
    return graph;
}

FuzzGraph::FuzzGraph() : m_home(homeTemplate())
{
    makeApplication();
    FUZZ_CHECK(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    Startup::nameApplication();
    m_engine = new QQmlApplicationEngine;
    m_transport = new NetworkCom;
    m_manager = new SystemManager(m_transport, m_engine);
    for (PreampModel *model : m_manager->preamps()) {
        collectCommands(model);
        m_slots.append({model, linkOf(model)});
    }
    m_untouched = new PreampModel;
    m_untouchedSlot = {m_untouched, linkOf(m_untouched)};
    for (int role = PreampModel::IdRole; role <= PreampModel::PreampNameRole; ++role)
        m_builtUnitFields << m_untouched->data(m_untouched->index(0), role);
    FUZZ_CHECK(QDir().mkpath(SystemManager::dataDirectory()));
    // As start-up leaves it when there is no saved state.
    m_manager->restoreState();
    m_startFolder = m_manager->presetDir();
    m_builtState = everything();
}

FuzzGraph::~FuzzGraph()
{
    // The manager leaves its models alone, as the program keeps them until it ends.
    const QList<PreampModel *> models = m_manager->preamps();
    delete m_manager;
    qDeleteAll(models);
    delete m_untouched;
    delete m_engine;
    delete m_transport;
}

QString FuzzGraph::unitAddress(int slot)
{
    return QStringLiteral("127.0.45.%1").arg(slot + 1);
}

SystemManager *FuzzGraph::reset()
{
    for (const Slot &slot : qAsConst(m_slots))
        resetModel(slot);
    resetManager();
    removeFiles();
    m_commands.clear();
    // The transport never sees a command here; it keeps nothing from a reply it did not send.
    FUZZ_CHECK(m_transport->pendingRequests() == 0);
    m_checking = m_inputs < inputsCheckedAlways || m_inputs % checkEvery == 0;
    if (m_checking) {
        if (everything() != m_builtState)
            qFatal("fuzz harness: the previous input left state behind that reset() does not "
                   "put back");
    }
    ++m_inputs;
    return m_manager;
}

void FuzzGraph::resetModel(const Slot &slot)
{
    PreampModel *model = slot.model;
    const PreampModel *built = m_untouched;
    resetLink(slot);
    if (model->ipAddr() != built->ipAddr())
        model->setIP(built->ipAddr());
    // The unit's own fields read the same on every row; the link state is the link's business.
    const QModelIndex first = model->index(0);
    for (int role = PreampModel::IdRole; role <= PreampModel::PreampNameRole; ++role) {
        const QVariant &value = m_builtUnitFields.at(role - PreampModel::IdRole);
        if (role != PreampModel::OnlineRole && model->data(first, role) != value)
            model->setData(first, value, role);
    }
    for (int row = 0; row < PreampModel::channelCount; ++row)
        resetChannel(model->channel(row), built->channel(row));
}

void FuzzGraph::resetLink(const Slot &slot)
{
    LinkMonitor *link = slot.link;
    const LinkMonitor *built = m_untouchedSlot.link;
    // Only coming online clears the count of watchdog expiries.
    if (link->timeoutCount() != built->timeoutCount()) {
        link->setState(PreampModel::Offline);
        link->reportAccepted();
    }
    if (link->isCommunicating() != built->isCommunicating())
        link->stop();
    // Meters paused by a failed request would start again at the next input's first report.
    // Sleeping clears the pause; the timers are put back as built just below.
    if (link->areMetersPaused() != built->areMetersPaused())
        link->sleep();
    resetTimer(link->statusTimer(), built->statusTimer());
    resetTimer(link->meterTimer(), built->meterTimer());
    resetTimer(link->netTimer(), built->netTimer());
    if (link->isPinged() != built->isPinged())
        link->pingAnswered();
    link->setState(built->state());
}

void FuzzGraph::resetManager()
{
    if (m_manager->activePreamps() != 0)
        m_manager->activePreampsChanged(0); // writes the count without telling anyone
    if (!m_manager->groups().isEmpty())
        m_manager->setGroups({});
    if (!m_manager->currentPreset().isEmpty())
        m_manager->setCurrentPreset(QString());
    if (m_manager->presetDir() != m_startFolder)
        m_manager->setPresetDir(m_startFolder);
    QQmlContext *context = m_engine->rootContext();
    if (context->contextProperty(presetFolderProperty) != m_startFolder)
        context->setContextProperty(presetFolderProperty, m_startFolder);
}

// Inputs write files only into HOME itself (the fuzzers' own) and into the application-data
// folder (the saved state); both folders exist from the start, so removing the files there
// leaves HOME as it was built. The comparison with the built state lists all of HOME.
void FuzzGraph::removeFiles()
{
    for (const QString &folder : {m_home.path(), SystemManager::dataDirectory()}) {
        QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
            FUZZ_CHECK(dir.remove(name));
    }
}

QVector<QVariant> FuzzGraph::shownState(int first, int count) const
{
    constexpr int unitRoles = PreampModel::PreampNameRole - PreampModel::IdRole + 1;
    constexpr int channelRoles = PreampModel::ScribbleStripRole - PreampModel::PreampNameRole;
    const QList<Slot> shown = m_slots.mid(first, count);
    QVector<QVariant> values;
    values.reserve(shown.size() *
                   (11 + unitRoles + PreampModel::channelCount * (channelRoles + 4)));
    for (const Slot &slot : shown) {
        const PreampModel *model = slot.model;
        values << model->ipAddr() << model->isPinged() << model->isCommunicating()
               << model->timeoutCount() << slot.link->areMetersPaused();
        for (const QTimer *timer : {model->statusTimer(), model->meterTimer(), model->netTimer()})
            values << timer->isActive() << timer->interval();
        // The unit's own roles read the same on every row.
        for (int role = PreampModel::IdRole; role <= PreampModel::PreampNameRole; ++role)
            values << model->data(model->index(0), role);
        for (int row = 0; row < PreampModel::channelCount; ++row) {
            const QModelIndex index = model->index(row);
            for (int role = PreampModel::PhantomRole; role <= PreampModel::ScribbleStripRole;
                 ++role)
                values << model->data(index, role);
            const Channel *ch = model->channel(row);
            values << ch->reportedGain() << ch->groupGain() << ch->peakLevel()
                   << ch->requestedGain().value_or(-1);
        }
    }
    return values;
}

QVector<QVariant> FuzzGraph::everything() const
{
    QVector<QVariant> values = shownState();
    values << m_manager->activePreamps() << QVariant(m_manager->groups())
           << m_manager->currentPreset() << m_manager->presetDir()
           << m_engine->rootContext()->contextProperty(presetFolderProperty) << m_commands.size()
           << m_transport->pendingRequests() << m_transport->mergedPolls();
    QDirIterator files(m_home.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext())
        values << files.next();
    return values;
}

void FuzzGraph::collectCommands(PreampModel *model)
{
    QObject::disconnect(model, SIGNAL(sendCommand(QString, QString)), m_transport,
                        SLOT(command(QString, QString)));
    QObject::connect(model, &PreampModel::sendCommand,
                     [this](const QString &, const QString &command) { m_commands << command; });
}
