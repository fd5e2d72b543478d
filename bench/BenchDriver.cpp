#include "BenchDriver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>

#include "CommandLatency.h"
#include "LoadRuns.h"
#include "ProcessUsage.h"
#include "RecallRun.h"
#include "SoakRun.h"
#include "support/SimulatorProcess.h"

namespace {

constexpr int unitCount = 12;
constexpr int normalAwake = 2;
constexpr double ratioBudget = 1.3;
constexpr double interfaceShareBudget = 15;
// The interface with 12 units in use costs at most this much more than with 2 (hidden units cost
// almost nothing), and the program with two pages shown at most this many times the bare scene
// of its sixteen meters.
constexpr double interfaceRatio12to2Budget = 1.1;
constexpr double interfaceFloorBudget = 1.5;
const QString interfaceFloorBench =
    QStringLiteral("4 interface beside its floor (a bare scene of its 16 meters at their rate)");
const QString interfaceRatio12to2 =
    QStringLiteral("ratio program with 12 units in use / with 2 (share of one core)");
const QString interfaceRatioFloor =
    QStringLiteral("ratio program with 2 units in use / floor (share of one core)");
const QString interfaceRatioFloorLessEngine =
    QStringLiteral("ratio program less engine alone, 2 units / floor (share of one core)");
// The program, and the floor, run offscreen with the software renderer.
const QStringList interfaceEnvironment{"QT_QPA_PLATFORM=offscreen", "QT_QUICK_BACKEND=software",
                                       "QT_QPA_PLATFORMTHEME="};
// The show log in a clip storm: the share of a core rises by at most this many points, and one
// channel's over entries are at least this far apart.
constexpr double stormRiseBudget = 2;
constexpr double overEntrySpacingSeconds = 10;
const QString stormBench = QStringLiteral("8 show log, clip storm on 96 channels, 12 units in use");
constexpr double soakGrowthBudgetKiB = 1024;
constexpr double rateTolerance = 0.05;
constexpr int wrkSecondsPerUnit = 1;
// A child gets this long beyond its own run time before it is taken for hung.
constexpr int childGraceMs = 120000;
// The polling loads and the interface run against units on 127.0.40.x, the commands to slow
// units against units on 127.0.47.x (the soak has 127.0.41.x).
constexpr int pollingSubnet = 40;
constexpr int slowSubnet = 47;
// Service times of the serial profile: none (one request at a time only), a typical unit's, and
// a slow one's, at which a command must still come back within the latency budget.
constexpr int latencyServiceMs[] = {0, 20, 60};
constexpr int latencyBudgetServiceMs = 60;
constexpr double latencyBudgetMs = 150;
constexpr int recallServiceMs[] = {0, 20};
constexpr int resumedRecallServiceMs = 20;
constexpr double recallOverheadBudgetMs = 500;
// The preview of a recall to twelve units must come up without a noticeable wait.
constexpr double previewBudgetMs = 50;
const QString previewBuilt =
    QStringLiteral("recall preview of the same file built and listed (ms)");
const QString previewAllBuilt =
    QStringLiteral("recall preview listing every setting, at units not heard from (ms)");

QStringList listenAddresses(int subnet)
{
    QStringList addresses;
    for (int unit = 1; unit <= unitCount; ++unit)
        addresses << QStringLiteral("127.0.%1.%2:0").arg(subnet).arg(unit);
    return addresses;
}

const QString pooledP50 = QStringLiteral("command latency p50, all runs' commands pooled (ms)");
const QString pooledP99 = QStringLiteral("command latency p99, all runs' commands pooled (ms)");

QString latencyBench(int serviceMs)
{
    return QStringLiteral("6 command latency, one unit polled, service %1 ms").arg(serviceMs);
}

QString recallBench(int serviceMs, bool resumePolling)
{
    return QStringLiteral("7 recall to 12 units, service %1 ms%2")
        .arg(serviceMs)
        .arg(resumePolling ? QStringLiteral(", polling resumed at once (unit view shown)")
                           : QString());
}

// Switches the unit to the serial profile at this service time and zeroes its counters; false
// when the unit does not report the profile back.
bool serialProfile(SimulatorProcess &simulator, int unit, int serviceMs)
{
    const QJsonObject profile = simulator.send(unit, QStringLiteral("SIM_SERL=%1").arg(serviceMs))
                                    .value("sim")
                                    .toObject()
                                    .value("profile")
                                    .toObject();
    if (!profile.value("serial").toBool() || profile.value("serviceMs").toInt() != serviceMs) {
        qWarning().noquote() << "unit" << simulator.address(unit)
                             << "did not take the serial profile at" << serviceMs << "ms";
        return false;
    }
    return !simulator.send(unit, QStringLiteral("SIM_STAT=RESET")).isEmpty();
}

QJsonObject unitStatistics(SimulatorProcess &simulator, int unit)
{
    return simulator.send(unit, QStringLiteral("SIM_STAT")).value("sim").toObject();
}

// Requests the unit counted that were not polls.
int commandsCounted(const QJsonObject &statistics)
{
    int commands = 0;
    const QJsonObject codes = statistics.value("codes").toObject();
    for (auto code = codes.begin(); code != codes.end(); ++code) {
        if (code.key() != QLatin1String("CMD_PSTS") && code.key() != QLatin1String("CMD_METR"))
            commands += code.value().toInt();
    }
    return commands;
}

int mostOpenConnections(const QJsonObject &statistics)
{
    return statistics.value("connections").toObject().value("mostOpen").toInt();
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

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

BenchDriver::BenchDriver(const Options &options) : m_options(options) {}

int BenchDriver::run(QTextStream &out)
{
    noteLoad(QStringLiteral("start"));
    const bool load = m_options.parts.contains(QLatin1String("load"));
    const bool commands = m_options.parts.contains(QLatin1String("commands"));
    const bool interface = m_options.parts.contains(QLatin1String("interface"));
    const bool storm = m_options.parts.contains(QLatin1String("showlog"));
    SimulatorProcess pollingUnits;
    if ((load || interface || storm) && !pollingUnits.start(listenAddresses(pollingSubnet))) {
        out << "cannot start the simulated units: " << pollingUnits.errorString() << "\n";
        return 1;
    }
    // The loads and the commands to slow units take turns run by run, so both see the machine
    // as it was during the same minutes.
    SimulatorProcess slowUnits;
    if (commands && !slowUnits.start(listenAddresses(slowSubnet))) {
        out << "cannot start the simulated units: " << slowUnits.errorString() << "\n";
        return 1;
    }
    bool loadsOk = load;
    bool commandsOk = commands;
    for (m_run = 0; m_run < m_options.runs && (loadsOk || commandsOk); ++m_run) {
        if (loadsOk)
            loadsOk = runLoadsOnce(pollingUnits.addresses());
        if (commandsOk)
            commandsOk = runCommandsOnce(slowUnits);
    }
    m_failed = m_failed || loadsOk != load || commandsOk != commands;
    addPooledLatencies();
    slowUnits.stop();
    if (interface && !runInterface(pollingUnits.addresses()))
        m_failed = true;
    if (storm && !runClipStorm(pollingUnits.addresses()))
        m_failed = true;
    pollingUnits.stop();
    if (m_options.parts.contains(QLatin1String("soak")) && !runSoak())
        m_failed = true;
    noteLoad(QStringLiteral("end"));
    judgeBudgets();
    printMachine(out);
    printTable(out);
    return m_failed ? 1 : 0;
}

QJsonObject BenchDriver::runChild(const QStringList &arguments, const QStringList &environment)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    child.setProcessEnvironment(env);
    if (!m_options.logFile.isEmpty())
        child.setStandardErrorFile(m_options.logFile, QIODevice::Append);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    const int budgetMs = std::max({m_options.seconds, m_options.stormSeconds,
                                   m_options.soakWindows * m_options.soakWindowSeconds}) *
                             1000 +
                         childGraceMs;
    if (!child.waitForFinished(budgetMs)) {
        child.kill();
        child.waitForFinished();
        return QJsonObject{{"error", "the benchmark process did not end: " + arguments.join(' ')}};
    }
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->startsWith('{'))
            return QJsonDocument::fromJson(*line).object();
    }
    return QJsonObject{{"error", QStringLiteral("no result from: %1 (exit code %2)")
                                     .arg(arguments.join(' '))
                                     .arg(child.exitCode())}};
}

bool BenchDriver::runLoadsOnce(const QStringList &addresses)
{
    const QStringList timing{"--seconds", QString::number(m_options.seconds), "--warmup",
                             QString::number(m_options.warmupSeconds)};
    const QString units = addresses.join(QLatin1Char(','));
    QTemporaryDir scratch;
    for (const int awake : {unitCount, normalAwake}) {
        const QString bench = awake == unitCount ? QStringLiteral("1-2 twelve awake")
                                                 : QStringLiteral("3 normal load");
        const QJsonObject engine = runChild(
            QStringList{"engine", "--units", units, "--awake", QString::number(awake)} + timing);
        if (engine.contains("error")) {
            qWarning().noquote() << engine.value("error").toString();
            return false;
        }
        const QString mixFile = scratch.filePath(QStringLiteral("mix-%1.json").arg(awake));
        QFile mix(mixFile);
        mix.open(QIODevice::WriteOnly);
        mix.write(QJsonDocument(engine).toJson(QJsonDocument::Compact));
        mix.close();
        const QJsonObject floor = runChild(QStringList{"floor", "--mix", mixFile} + timing);
        if (floor.contains("error")) {
            qWarning().noquote() << floor.value("error").toString();
            return false;
        }
        const double engineUs = engine.value("cpuPerRequestUs").toDouble();
        const double floorUs = floor.value("cpuPerRequestUs").toDouble();
        add(bench, "engine requests/s", engine.value("requestsPerSecond").toDouble());
        add(bench, "engine CPU per request (µs)", engineUs);
        add(bench, "engine share of one core (%)", engine.value("coreSharePercent").toDouble(), 2);
        add(bench, "engine reply latency p50 (ms)", engine.value("latencyP50Ms").toDouble(), 2);
        add(bench, "engine reply latency p99 (ms)", engine.value("latencyP99Ms").toDouble(), 2);
        add(bench, "engine resident memory at start (MiB)",
            engine.value("rssStartKiB").toDouble() / 1024, 1);
        add(bench, "engine resident memory at end (MiB)",
            engine.value("rssEndKiB").toDouble() / 1024, 1);
        add(bench, "engine failed requests", engine.value("errors").toDouble(), 0);
        add(bench, "floor requests/s", floor.value("requestsPerSecond").toDouble());
        add(bench, "floor CPU per request (µs)", floorUs);
        add(bench, "floor share of one core (%)", floor.value("coreSharePercent").toDouble(), 2);
        add(bench, "floor reply latency p50 (ms)", floor.value("latencyP50Ms").toDouble(), 2);
        add(bench, "floor reply latency p99 (ms)", floor.value("latencyP99Ms").toDouble(), 2);
        add(bench, "ratio engine / floor (CPU per request)", engineUs / floorUs, 2);
        if (awake == unitCount)
            runWrk(addresses, engine);
    }
    noteLoad(QStringLiteral("after load run %1").arg(m_run + 1));
    return true;
}

bool BenchDriver::runCommandsOnce(SimulatorProcess &simulator)
{
    for (const int serviceMs : latencyServiceMs) {
        if (!runLatencyOnce(simulator, serviceMs))
            return false;
    }
    for (const int serviceMs : recallServiceMs) {
        if (!runRecallOnce(simulator, serviceMs, false))
            return false;
    }
    if (!runRecallOnce(simulator, resumedRecallServiceMs, true))
        return false;
    noteLoad(QStringLiteral("after commands run %1").arg(m_run + 1));
    return true;
}

bool BenchDriver::runLatencyOnce(SimulatorProcess &simulator, int serviceMs)
{
    constexpr int unit = 0;
    if (!serialProfile(simulator, unit, serviceMs))
        return false;
    const QJsonObject result = runChild({"latency", "--units", simulator.address(unit), "--seconds",
                                         QString::number(m_options.seconds), "--warmup",
                                         QString::number(m_options.warmupSeconds), "--seed",
                                         QString::number((m_run + 1) * 1000 + serviceMs)});
    if (result.contains("error")) {
        qWarning().noquote() << result.value("error").toString();
        return false;
    }
    const QJsonObject statistics = unitStatistics(simulator, unit);
    const QString bench = latencyBench(serviceMs);
    const int issued = result.value("commands").toInt();
    add(bench, "command latency p50 (ms)", result.value("latencyP50Ms").toDouble());
    add(bench, "command latency p99 (ms)", result.value("latencyP99Ms").toDouble());
    // Their place in the table is here; addPooledLatencies() fills them after the last run.
    figure(bench, pooledP50);
    figure(bench, pooledP99);
    add(bench, "command latency max (ms)", result.value("latencyMaxMs").toDouble());
    add(bench, "commands issued", issued, 0);
    add(bench, "commands unanswered", issued - result.value("answered").toInt(), 0);
    add(bench, "commands issued while an earlier one was unanswered",
        result.value("queuedBehindCommand").toDouble(), 0);
    add(bench, "command latency p99, commands issued with none unanswered (ms)",
        result.value("aloneP99Ms").toDouble());
    add(bench, "meter reports per second (its timer asks 16.7)",
        result.value("meterReportsPerSecond").toDouble());
    add(bench, "status reports per second (its timer asks 2.0)",
        result.value("statusReportsPerSecond").toDouble(), 2);
    add(bench, "failed requests", result.value("errors").toDouble(), 0);
    add(bench, "name commands the unit counted (SIM_STAT) less those issued",
        statistics.value("codes").toObject().value("CMD_NMCH").toInt() - issued, 0);
    add(bench, "most connections open at the unit (the bench's own included)",
        mostOpenConnections(statistics), 0);
    for (const QJsonValue &sample : result.value("latenciesMs").toArray())
        m_latencySamples[serviceMs].append(sample.toDouble());
    return true;
}

bool BenchDriver::runRecallOnce(SimulatorProcess &simulator, int serviceMs, bool resumePolling)
{
    const QStringList addresses = simulator.addresses();
    for (int unit = 0; unit < addresses.size(); ++unit) {
        if (!serialProfile(simulator, unit, serviceMs))
            return false;
    }
    QStringList arguments{"recall", "--units", addresses.join(QLatin1Char(','))};
    if (resumePolling)
        arguments << "--resume-polling";
    const QJsonObject result = runChild(arguments);
    if (result.contains("error")) {
        qWarning().noquote() << result.value("error").toString();
        return false;
    }
    int fewestCounted = RecallRun::commandsPerUnit;
    int mostCounted = 0;
    int mostOpen = 0;
    for (int unit = 0; unit < addresses.size(); ++unit) {
        const QJsonObject statistics = unitStatistics(simulator, unit);
        fewestCounted = std::min(fewestCounted, commandsCounted(statistics));
        mostCounted = std::max(mostCounted, commandsCounted(statistics));
        mostOpen = std::max(mostOpen, mostOpenConnections(statistics));
    }
    const QString bench = recallBench(serviceMs, resumePolling);
    add(bench, "recall time, until every unit's 45th answer (ms)",
        result.value("recallMs").toDouble(), 0);
    add(bench, "first unit done (ms)", result.value("fastestUnitMs").toDouble(), 0);
    add(bench,
        "the load request itself: file read, undo snapshot written, 540 commands issued (ms)",
        result.value("loadCallMs").toDouble());
    const QJsonObject preview = result.value("preview").toObject();
    const QJsonObject previewAll = result.value("previewAll").toObject();
    add(bench, "the undo snapshot of the setup alone, written before the recall (ms)",
        result.value("snapshotMs").toDouble());
    add(bench, previewBuilt, preview.value("ms").toDouble());
    add(bench, "changes the preview listed (of 540 settings)", preview.value("changes").toDouble(),
        0);
    add(bench, previewAllBuilt, previewAll.value("ms").toDouble());
    add(bench, "changes listed at units not heard from (540 settings and 12 addresses)",
        previewAll.value("changes").toDouble(), 0);
    add(bench, "units done (of 12)", result.value("unitsDone").toDouble(), 0);
    add(bench, "answers from the unit with fewest (of 45)",
        result.value("fewestAnswers").toDouble(), 0);
    add(bench, "channel answers carrying the preset's names (of 480)",
        result.value("presetNamesEchoed").toDouble(), 0);
    add(bench, "meter reports before the last unit was done (all units)",
        result.value("meterReports").toDouble(), 0);
    add(bench, "failed requests", result.value("errors").toDouble(), 0);
    add(bench, "commands the units counted (SIM_STAT), fewest of one unit", fewestCounted, 0);
    add(bench, "commands the units counted (SIM_STAT), most of one unit", mostCounted, 0);
    add(bench, "most connections open at one unit (the bench's own included)", mostOpen, 0);
    return true;
}

// Each run's p99 of some 90 commands is close to its largest; over all runs' commands together
// the percentile rests on several samples.
void BenchDriver::addPooledLatencies()
{
    for (const int serviceMs : latencyServiceMs) {
        const QVector<double> samples = m_latencySamples.value(serviceMs);
        if (samples.isEmpty())
            continue;
        const QString bench = latencyBench(serviceMs);
        for (const auto &[p, name] : {std::pair{0.50, pooledP50}, std::pair{0.99, pooledP99}}) {
            add(bench, name, CommandLatency::percentile(samples, p));
            figure(bench, name).samples = int(samples.size());
        }
    }
}

void BenchDriver::runWrk(const QStringList &addresses, const QJsonObject &engineResult)
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
        child.waitForFinished(wrkSecondsPerUnit * 1000 + childGraceMs);
        const QRegularExpressionMatch match =
            total.match(QString::fromUtf8(child.readAllStandardOutput()));
        requests += match.hasMatch() ? match.captured(1).toLongLong() : 0;
    }
    const double cpu = ProcessUsage::waitedChildrenCpuSeconds() - cpuAtStart;
    if (requests > 0) {
        add("1-2 twelve awake", "wrk CPU per request (µs)", cpu / requests * 1e6);
        add("1-2 twelve awake", "wrk requests/s (one connection, saturated)",
            requests / double(wrkSecondsPerUnit * addresses.size()), 0);
    }
}

// Per run, one right after the other: the bare scene of sixteen meters (the floor), the engine
// alone polling two units at full rate, the program with 2 and with 12 units in use, and the
// what-if; the ratios are taken per run, against measurements on the machine as it was then.
bool BenchDriver::runInterface(const QStringList &addresses)
{
    const QStringList timing{"--seconds", QString::number(m_options.seconds), "--warmup",
                             QString::number(m_options.warmupSeconds)};
    for (int run = 0; run < m_options.runs; ++run) {
        const QJsonObject floor =
            runChild(QStringList{"meterfloor"} + timing, interfaceEnvironment);
        const QJsonObject engine =
            runChild(QStringList{"engine", "--units", addresses.mid(0, normalAwake).join(','),
                                 "--awake", QString::number(normalAwake)} +
                     timing);
        QHash<int, double> shares;
        for (const int units : {normalAwake, unitCount}) {
            const QJsonObject result = runInterfaceOnce(addresses.mid(0, units), false);
            if (result.isEmpty())
                return false;
            shares.insert(units, result.value("coreSharePercent").toDouble());
        }
        if (runInterfaceOnce(addresses, true).isEmpty())
            return false;
        for (const QJsonObject &result : {floor, engine}) {
            if (result.contains("error")) {
                qWarning().noquote() << result.value("error").toString();
                return false;
            }
        }
        const double floorShare = floor.value("coreSharePercent").toDouble();
        const double engineShare = engine.value("coreSharePercent").toDouble();
        add(interfaceFloorBench, "floor: share of one core (%)", floorShare);
        add(interfaceFloorBench, "floor: frames rendered per second",
            floor.value("framesPerSecond").toDouble());
        add(interfaceFloorBench, "engine alone, 2 units at full rate: share of one core (%)",
            engineShare);
        add(interfaceFloorBench, interfaceRatio12to2,
            shares.value(unitCount) / shares.value(normalAwake), 2);
        add(interfaceFloorBench, interfaceRatioFloor, shares.value(normalAwake) / floorShare, 2);
        add(interfaceFloorBench, interfaceRatioFloorLessEngine,
            (shares.value(normalAwake) - engineShare) / floorShare, 2);
        noteLoad(QStringLiteral("after interface run %1").arg(run + 1));
    }
    return true;
}

QJsonObject BenchDriver::runInterfaceOnce(const QStringList &addresses, bool unloadHiddenStrips)
{
    QStringList arguments{"interface",
                          "--units",
                          addresses.join(QLatin1Char(',')),
                          "--seconds",
                          QString::number(m_options.seconds),
                          "--warmup",
                          QString::number(m_options.warmupSeconds)};
    if (unloadHiddenStrips)
        arguments << "--unload-hidden-strips";
    const QJsonObject result = runChild(arguments, interfaceEnvironment);
    if (result.contains("error")) {
        qWarning().noquote() << result.value("error").toString();
        return {};
    }
    const QString bench =
        QStringLiteral("4 interface, %1 units in use%2")
            .arg(addresses.size())
            .arg(unloadHiddenStrips ? QStringLiteral(" (what-if: hidden pages unload their strips)")
                                    : QString());
    add(bench, "share of one core (%)", result.value("coreSharePercent").toDouble());
    add(bench, "frames rendered per second", result.value("framesPerSecond").toDouble());
    add(bench, "meter reports per second (two shown units)",
        result.value("meterReportsPerSecond").toDouble());
    add(bench, "meter updates dropped (replaced before a frame)",
        result.value("droppedUpdates").toDouble(), 0);
    add(bench, "meters moving (of 16)", result.value("metersMoving").toDouble(), 0);
    add(bench, "pages shown", result.value("pagesShown").toDouble(), 0);
    add(bench, "units polled at full rate", result.value("unitsAtFullRate").toDouble(), 0);
    add(bench, "resident memory at end (MiB)", result.value("rssEndKiB").toDouble() / 1024);
    return result;
}

// Per run: without the storm, in the storm, and in the storm with the log's panel open, one
// right after the other, so each rise is taken against a run on the machine as it was then.
bool BenchDriver::runClipStorm(const QStringList &addresses)
{
    for (int run = 0; run < m_options.runs; ++run) {
        const QJsonObject calm = runClipStormOnce(addresses, false, false);
        const QJsonObject storm = runClipStormOnce(addresses, true, false);
        const QJsonObject watched = runClipStormOnce(addresses, true, true);
        if (calm.isEmpty() || storm.isEmpty() || watched.isEmpty())
            return false;
        const double calmShare = calm.value("coreSharePercent").toDouble();
        add(stormBench, "share of one core without the storm (%)", calmShare);
        add(stormBench, "share of one core in the storm (%)",
            storm.value("coreSharePercent").toDouble());
        add(stormBench, "share of one core in the storm, log panel open (%)",
            watched.value("coreSharePercent").toDouble());
        add(stormBench, "rise with the storm (points of a core)",
            storm.value("coreSharePercent").toDouble() - calmShare, 2);
        add(stormBench, "rise with the storm, log panel open (points of a core)",
            watched.value("coreSharePercent").toDouble() - calmShare, 2);
        add(stormBench, "frames rendered per second in the storm",
            storm.value("framesPerSecond").toDouble());
        for (const QJsonObject &result : {storm, watched}) {
            add(stormBench, "over entries recorded in the storm",
                result.value("overEntries").toDouble(), 0);
            add(stormBench, "channels with over entries (of 96)",
                result.value("channelsWithOverEntries").toDouble(), 0);
            add(stormBench, "most over entries of one channel",
                result.value("mostOverEntriesOfAChannel").toDouble(), 0);
            add(stormBench, "shortest time between two entries of one channel (s)",
                result.value("shortestGapBetweenEntriesOfAChannelMs").toDouble() / 1000);
        }
        add(stormBench, "over entries recorded without the storm",
            calm.value("overEntries").toDouble(), 0);
        noteLoad(QStringLiteral("after clip storm run %1").arg(run + 1));
    }
    return true;
}

QJsonObject BenchDriver::runClipStormOnce(const QStringList &addresses, bool storm, bool logOpen)
{
    QStringList arguments{"clipstorm",
                          "--units",
                          addresses.join(QLatin1Char(',')),
                          "--seconds",
                          QString::number(m_options.stormSeconds),
                          "--warmup",
                          QString::number(m_options.warmupSeconds)};
    if (storm)
        arguments << "--storm";
    if (logOpen)
        arguments << "--log-open";
    const QJsonObject result = runChild(arguments, interfaceEnvironment);
    if (result.contains("error") || !result.value("unitsCleared").toBool()) {
        qWarning().noquote() << "clip storm:"
                             << result.value("error").toString(QStringLiteral("units not cleared"));
        return QJsonObject();
    }
    return result;
}

bool BenchDriver::runSoak()
{
    const QJsonObject result =
        runChild({"soak", "--soak-windows", QString::number(m_options.soakWindows),
                  "--soak-window-seconds", QString::number(m_options.soakWindowSeconds),
                  "--soak-silence-seconds", QString::number(m_options.soakSilenceSeconds)});
    if (result.contains("error")) {
        qWarning().noquote() << result.value("error").toString();
        return false;
    }
    const QString bench = QStringLiteral("5 soak");
    const QJsonArray windows = result.value("windows").toArray();
    for (const QJsonValue &value : windows) {
        const QJsonObject window = value.toObject();
        add(bench, "resident memory per window (MiB)", window.value("rssKiB").toDouble() / 1024);
        add(bench, "most requests outstanding to the silent unit",
            window.value("silentMaxPending").toDouble(), 0);
        add(bench, "most requests outstanding to any other unit",
            window.value("othersMaxPending").toDouble(), 0);
        add(bench, "other units' reply rate, slowest (of nominal)",
            window.value("slowestOtherRate").toDouble(), 3);
        add(bench, "other units' reply rate, fastest (of nominal)",
            window.value("fastestOtherRate").toDouble(), 3);
    }
    add(bench, "resident memory growth after the first window (KiB)",
        result.value("rssGrowthKiB").toDouble(), 0);
    add(bench, "outstanding bound: polls a unit can hold + one ended reply",
        result.value("pendingBound").toDouble(), 0);
    add(bench, "requests left outstanding after stopping",
        result.value("pendingAfterStop").toDouble() +
            result.value("unansweredAfterStop").toDouble(),
        0);
    noteLoad(QStringLiteral("after soak"));
    return true;
}

BenchDriver::Figure &BenchDriver::figure(const QString &bench, const QString &name, int decimals)
{
    for (Figure &existing : m_figures) {
        if (existing.bench == bench && existing.name == name)
            return existing;
    }
    m_figures.append(Figure{bench, name, {}, decimals, {}, -1, 0});
    return m_figures.last();
}

void BenchDriver::add(const QString &bench, const QString &name, double value, int decimals)
{
    figure(bench, name, decimals).values.append(value);
}

void BenchDriver::judge(const QString &bench, const QString &name, const QString &budget,
                        const std::function<bool(double)> &holds)
{
    for (Figure &existing : m_figures) {
        if (existing.bench == bench && existing.name == name && !existing.values.isEmpty()) {
            existing.budget = budget;
            existing.met = holds(median(existing.values)) ? 1 : 0;
        }
    }
}

void BenchDriver::judgeBudgets()
{
    const QString ratio = QStringLiteral("ratio engine / floor (CPU per request)");
    const auto withinRatio = [](double value) {
        return value <= ratioBudget;
    };
    judge("1-2 twelve awake", ratio, "≤ 1.3", withinRatio);
    judge("3 normal load", ratio, "≤ 1.3", withinRatio);
    for (const int units : {normalAwake, unitCount}) {
        const QString bench = QStringLiteral("4 interface, %1 units in use").arg(units);
        judge(bench, "share of one core (%)", "≤ 15",
              [](double value) { return value <= interfaceShareBudget; });
        judge(bench, "meter updates dropped (replaced before a frame)", "0",
              [](double value) { return value == 0; });
        double meterRate = 0;
        for (const Figure &existing : qAsConst(m_figures)) {
            if (existing.bench == bench &&
                existing.name.startsWith(QLatin1String("meter reports per second")))
                meterRate = median(existing.values) / 2;
        }
        judge(bench, "frames rendered per second",
              QStringLiteral("≥ %1 (one shown unit's meter rate)").arg(meterRate, 0, 'f', 1),
              [meterRate](double value) { return value >= meterRate; });
    }
    judge(interfaceFloorBench, interfaceRatio12to2, QStringLiteral("≤ 1.1"),
          [](double value) { return value <= interfaceRatio12to2Budget; });
    judge(interfaceFloorBench, interfaceRatioFloor, QStringLiteral("≤ 1.5"),
          [](double value) { return value <= interfaceFloorBudget; });
    for (const QString &name : {QStringLiteral("command latency p99 (ms)"), pooledP99}) {
        judge(latencyBench(latencyBudgetServiceMs), name, QStringLiteral("≤ 150"),
              [](double value) { return value <= latencyBudgetMs; });
    }
    for (const int serviceMs : recallServiceMs) {
        const double budgetMs = RecallRun::commandsPerUnit * serviceMs + recallOverheadBudgetMs;
        judge(recallBench(serviceMs, false), "recall time, until every unit's 45th answer (ms)",
              QStringLiteral("≤ %1 (45 × %2 + 500)").arg(budgetMs).arg(serviceMs),
              [budgetMs](double value) { return value >= 0 && value <= budgetMs; });
    }
    for (const int serviceMs : recallServiceMs) {
        for (const QString &name : {previewBuilt, previewAllBuilt})
            judge(recallBench(serviceMs, false), name, QStringLiteral("≤ %1").arg(previewBudgetMs),
                  [](double value) { return value <= previewBudgetMs; });
    }
    // The same bound beside the recall the unit view makes, where polls share the units; not
    // judged, as the target is set for a recall without polls.
    const double resumedBoundMs =
        RecallRun::commandsPerUnit * resumedRecallServiceMs + recallOverheadBudgetMs;
    for (Figure &existing : m_figures) {
        if (existing.bench == recallBench(resumedRecallServiceMs, true) &&
            existing.name.startsWith(QLatin1String("recall time")))
            existing.budget =
                QStringLiteral("(≤ %1 is the bound without polls)").arg(resumedBoundMs);
    }
    for (const QString &name :
         {QStringLiteral("rise with the storm (points of a core)"),
          QStringLiteral("rise with the storm, log panel open (points of a core)")})
        judge(stormBench, name, QStringLiteral("≤ 2"),
              [](double value) { return value <= stormRiseBudget; });
    judge(stormBench, "shortest time between two entries of one channel (s)", "≥ 10",
          [](double value) { return value >= overEntrySpacingSeconds; });
    judge("5 soak", "resident memory growth after the first window (KiB)", "< 1024",
          [](double value) { return value < soakGrowthBudgetKiB; });
    double bound = 0;
    for (const Figure &existing : qAsConst(m_figures)) {
        if (existing.name.startsWith(QLatin1String("outstanding bound")))
            bound = median(existing.values);
    }
    // The worst window decides the backlog, not the median one.
    for (Figure &existing : m_figures) {
        if (existing.name == QLatin1String("most requests outstanding to the silent unit") &&
            !existing.values.isEmpty()) {
            existing.budget = QStringLiteral("max ≤ %1").arg(bound);
            existing.met =
                *std::max_element(existing.values.begin(), existing.values.end()) <= bound ? 1 : 0;
        }
        if (existing.name.startsWith(QLatin1String("other units' reply rate")) &&
            !existing.values.isEmpty()) {
            const auto [low, high] =
                std::minmax_element(existing.values.begin(), existing.values.end());
            existing.budget = QStringLiteral("all windows 0.95 … 1.05");
            existing.met = *low >= 1 - rateTolerance && *high <= 1 + rateTolerance ? 1 : 0;
        }
    }
}

void BenchDriver::noteLoad(const QString &when)
{
    m_loadNotes << QStringLiteral("%1: %2").arg(when, ProcessUsage::loadAverage());
}

void BenchDriver::printMachine(QTextStream &out) const
{
    out << "Date: " << QDateTime::currentDateTime().toString(Qt::ISODate) << "\n";
    out << "CPU: " << ProcessUsage::cpuModel() << ", " << ProcessUsage::onlineCores()
        << " cores; kernel " << ProcessUsage::kernelRelease() << "; Qt " << qVersion() << "\n";
    out << QStringLiteral("Runs: %1 × %2 s (after %3 s warm-up) for benchmarks 1-4 and 6, %1 "
                          "recalls for 7; soak %4 windows × %5 s, %6 s of silence per window\n")
               .arg(m_options.runs)
               .arg(m_options.seconds)
               .arg(m_options.warmupSeconds)
               .arg(m_options.soakWindows)
               .arg(m_options.soakWindowSeconds)
               .arg(m_options.soakSilenceSeconds);
    out << "Load average (1, 5, 15 min): " << m_loadNotes.join(QStringLiteral("; ")) << "\n\n";
}

void BenchDriver::printTable(QTextStream &out) const
{
    out << "| benchmark | figure | median | min | max | n | budget | met |\n";
    out << "|---|---|---:|---:|---:|---:|---|---|\n";
    for (const Figure &row : m_figures) {
        // A row reserved for figures that a failed part never produced.
        if (row.values.isEmpty())
            continue;
        const auto [low, high] = std::minmax_element(row.values.begin(), row.values.end());
        const auto number = [&row](double value) {
            return QString::number(value, 'f', row.decimals);
        };
        out << "| " << row.bench << " | " << row.name << " | " << number(median(row.values))
            << " | " << number(*low) << " | " << number(*high) << " | "
            << (row.samples > 0 ? row.samples : row.values.size()) << " | " << row.budget << " | "
            << (row.met < 0 ? QString()
                : row.met   ? QStringLiteral("yes")
                            : QStringLiteral("NO"))
            << " |\n";
    }
    out.flush();
}
