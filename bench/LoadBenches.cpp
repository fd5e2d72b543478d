#include "LoadBenches.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

#include "BenchDriver.h"
#include "FigureTable.h"
#include "ProcessUsage.h"

namespace {

// The engine costs at most this many times the bare client per request.
constexpr double ratioBudget = 1.3;
constexpr int wrkSecondsPerUnit = 1;
const QString ratio = QStringLiteral("ratio engine / floor (CPU per request)");

// The command texts in the proportions the engine sent them, smallest share three entries.
QStringList requestCycle(const QJsonObject &sent)
{
    QHash<QString, double> totals;
    for (const QJsonValue &unit : sent) {
        const QJsonObject commands = unit.toObject();
        for (auto command = commands.begin(); command != commands.end(); ++command)
            totals[command.key()] += command.value().toDouble();
    }
    double smallest = 0;
    for (double total : qAsConst(totals))
        smallest = smallest == 0 ? total : std::min(smallest, total);
    QStringList cycle;
    for (auto total = totals.cbegin(); total != totals.cend(); ++total) {
        const int entries = std::max(1, int(std::lround(3 * total.value() / smallest)));
        for (int i = 0; i < entries; ++i)
            cycle << total.key();
    }
    return cycle;
}

QString wrkScriptText(const QStringList &cycle)
{
    QStringList paths;
    for (const QString &command : cycle)
        paths << QStringLiteral("\"/?%1\"").arg(command);
    return QStringLiteral("local paths = {%1}\n"
                          "local next = 0\n"
                          "request = function()\n"
                          "    next = next % #paths + 1\n"
                          "    return wrk.format(\"GET\", paths[next])\n"
                          "end\n")
        .arg(paths.join(QStringLiteral(", ")));
}

} // namespace

bool LoadBenches::runOnce(const QStringList &addresses)
{
    const QStringList timing = m_driver.timed(m_driver.options().seconds);
    const QString units = addresses.join(QLatin1Char(','));
    QTemporaryDir scratch;
    FigureTable &table = m_driver.table();
    for (const int awake : {BenchDriver::unitCount, BenchDriver::normalAwake}) {
        const QString bench = awake == BenchDriver::unitCount ? QStringLiteral("1-2 twelve awake")
                                                              : QStringLiteral("3 normal load");
        const QJsonObject engine = m_driver.runChild(
            QStringList{"engine", "--units", units, "--awake", QString::number(awake)} + timing);
        if (BenchDriver::failed(engine))
            return false;
        const QString mixFile = scratch.filePath(QStringLiteral("mix-%1.json").arg(awake));
        QFile mix(mixFile);
        mix.open(QIODevice::WriteOnly);
        mix.write(QJsonDocument(engine).toJson(QJsonDocument::Compact));
        mix.close();
        const QJsonObject floor =
            m_driver.runChild(QStringList{"floor", "--mix", mixFile} + timing);
        if (BenchDriver::failed(floor))
            return false;
        const double engineUs = engine.value("cpuPerRequestUs").toDouble();
        const double floorUs = floor.value("cpuPerRequestUs").toDouble();
        table.add(bench, "engine requests/s", engine.value("requestsPerSecond").toDouble());
        table.add(bench, "engine CPU per request (µs)", engineUs);
        table.add(bench, "engine share of one core (%)",
                  engine.value("coreSharePercent").toDouble(), 2);
        table.add(bench, "engine reply latency p50 (ms)", engine.value("latencyP50Ms").toDouble(),
                  2);
        table.add(bench, "engine reply latency p99 (ms)", engine.value("latencyP99Ms").toDouble(),
                  2);
        table.add(bench, "engine resident memory at start (MiB)",
                  engine.value("rssStartKiB").toDouble() / 1024, 1);
        table.add(bench, "engine resident memory at end (MiB)",
                  engine.value("rssEndKiB").toDouble() / 1024, 1);
        table.add(bench, "engine failed requests", engine.value("errors").toDouble(), 0);
        table.add(bench, "floor requests/s", floor.value("requestsPerSecond").toDouble());
        table.add(bench, "floor CPU per request (µs)", floorUs);
        table.add(bench, "floor share of one core (%)", floor.value("coreSharePercent").toDouble(),
                  2);
        table.add(bench, "floor reply latency p50 (ms)", floor.value("latencyP50Ms").toDouble(), 2);
        table.add(bench, "floor reply latency p99 (ms)", floor.value("latencyP99Ms").toDouble(), 2);
        table.add(bench, ratio, engineUs / floorUs, 2);
        if (awake == BenchDriver::unitCount)
            runWrk(addresses, engine);
    }
    m_driver.noteLoad(QStringLiteral("after load run %1").arg(m_driver.runIndex() + 1));
    return true;
}

void LoadBenches::runWrk(const QStringList &addresses, const QJsonObject &engineResult)
{
    const QString wrk = QStandardPaths::findExecutable(QStringLiteral("wrk"));
    if (wrk.isEmpty())
        return;
    if (m_wrkScript.isEmpty()) {
        m_wrkScript = QDir::temp().filePath(
            QStringLiteral("octo-bench-mix-%1.lua").arg(QCoreApplication::applicationPid()));
        QFile script(m_wrkScript);
        script.open(QIODevice::WriteOnly);
        script.write(wrkScriptText(requestCycle(engineResult.value("sent").toObject())).toUtf8());
    }
    static const QRegularExpression total(QStringLiteral("(\\d+) requests in"));
    qint64 requests = 0;
    const double cpuAtStart = ProcessUsage::waitedChildrenCpuSeconds();
    for (const QString &address : addresses) {
        QProcess child;
        child.start(wrk, {"-t1", "-c1", QStringLiteral("-d%1s").arg(wrkSecondsPerUnit), "-s",
                          m_wrkScript, QStringLiteral("http://%1/").arg(address)});
        child.waitForFinished(wrkSecondsPerUnit * 1000 + BenchDriver::childGraceMs);
        const QRegularExpressionMatch match =
            total.match(QString::fromUtf8(child.readAllStandardOutput()));
        requests += match.hasMatch() ? match.captured(1).toLongLong() : 0;
    }
    const double cpu = ProcessUsage::waitedChildrenCpuSeconds() - cpuAtStart;
    if (requests > 0) {
        m_driver.table().add("1-2 twelve awake", "wrk CPU per request (µs)", cpu / requests * 1e6);
        m_driver.table().add("1-2 twelve awake", "wrk requests/s (one connection, saturated)",
                             requests / double(wrkSecondsPerUnit * addresses.size()), 0);
    }
}

void LoadBenches::judgeBudgets()
{
    const auto withinRatio = [](double value) {
        return value <= ratioBudget;
    };
    m_driver.table().judge("1-2 twelve awake", ratio, "≤ 1.3", withinRatio);
    m_driver.table().judge("3 normal load", ratio, "≤ 1.3", withinRatio);
}
