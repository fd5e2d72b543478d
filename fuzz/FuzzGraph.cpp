#include "FuzzGraph.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QStandardPaths>

#include <cstdio>

#include "app/Startup.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "system/SystemManager.h"

namespace {

// The controller logs every report it takes; at thousands of inputs a second that drowns the
// fuzzer's own output. OCTO_FUZZ_LOG=1 keeps the log for looking into a single input.
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
    if (!qEnvironmentVariableIsSet("OCTO_FUZZ_LOG"))
        qInstallMessageHandler(quietMessages);
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
}

FuzzGraph::~FuzzGraph()
{
    release();
    delete m_engine;
    delete m_transport;
}

QString FuzzGraph::unitAddress(int slot)
{
    return QStringLiteral("127.0.45.%1").arg(slot + 1);
}

SystemManager *FuzzGraph::renew()
{
    release();
    m_manager = new SystemManager(m_transport, m_engine);
    for (PreampModel *model : m_manager->preamps())
        collectCommands(model);
    return m_manager;
}

void FuzzGraph::collectCommands(PreampModel *model)
{
    QObject::disconnect(model, SIGNAL(sendCommand(QString, QString)), m_transport,
                        SLOT(command(QString, QString)));
    QObject::connect(model, &PreampModel::sendCommand,
                     [this](const QString &, const QString &command) { m_commands << command; });
}

void FuzzGraph::release()
{
    m_commands.clear();
    if (!m_manager)
        return;
    // The manager leaves its models alone, as the program keeps them until it ends.
    const QList<PreampModel *> models = m_manager->preamps();
    delete m_manager;
    qDeleteAll(models);
    m_manager = nullptr;
}
