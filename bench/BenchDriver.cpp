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
#include <utility>

#include "CommandBenches.h"
#include "LoadBenches.h"
#include "ProcessUsage.h"
#include "support/SimulatorProcess.h"

namespace {

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
const QString stormBench = QStringLiteral("9 show log, clip storm on 96 channels, 12 units in use");
constexpr double soakGrowthBudgetKiB = 1024;
constexpr double rateTolerance = 0.05;
// The polling loads and the interface run against units on 127.0.40.x, the commands to slow
// units against units on 127.0.47.x (the soak has 127.0.41.x).
constexpr int pollingSubnet = 40;
constexpr int slowSubnet = 47;

QStringList listenAddresses(int subnet)
{
    QStringList addresses;
    for (int unit = 1; unit <= BenchDriver::unitCount; ++unit)
        addresses << QStringLiteral("127.0.%1.%2:0").arg(subnet).arg(unit);
    return addresses;
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
    LoadBenches loads(*this);
    CommandBenches commandBenches(*this);
    bool loadsOk = load;
    bool commandsOk = commands;
    for (m_run = 0; m_run < m_options.runs && (loadsOk || commandsOk); ++m_run) {
        if (loadsOk)
            loadsOk = loads.runOnce(pollingUnits.addresses());
        if (commandsOk)
            commandsOk = commandBenches.runOnce(slowUnits);
    }
    m_failed = m_failed || loadsOk != load || commandsOk != commands;
    commandBenches.addPooledLatencies();
    slowUnits.stop();
    if (interface && !runInterface(pollingUnits.addresses()))
        m_failed = true;
    if (storm && !runClipStorm(pollingUnits.addresses()))
        m_failed = true;
    pollingUnits.stop();
    if (m_options.parts.contains(QLatin1String("soak")) && !runSoak())
        m_failed = true;
    noteLoad(QStringLiteral("end"));
    loads.judgeBudgets();
    commandBenches.judgeBudgets();
    judgeBudgets();
    printMachine(out);
    m_table.print(out);
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

QStringList BenchDriver::timed(int seconds) const
{
    return {"--seconds", QString::number(seconds), "--warmup",
            QString::number(m_options.warmupSeconds)};
}

bool BenchDriver::failed(const QJsonObject &result)
{
    if (!result.contains("error"))
        return false;
    qWarning().noquote() << result.value("error").toString();
    return true;
}

// Per run, one right after the other: the bare scene of sixteen meters (the floor), the engine
// alone polling two units at full rate, the program with 2 and with 12 units in use, and the
// what-if; the ratios are taken per run, against measurements on the machine as it was then.
bool BenchDriver::runInterface(const QStringList &addresses)
{
    const QStringList timing = timed(m_options.seconds);
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
            if (failed(result))
                return false;
        }
        const double floorShare = floor.value("coreSharePercent").toDouble();
        const double engineShare = engine.value("coreSharePercent").toDouble();
        m_table.add(interfaceFloorBench, "floor: share of one core (%)", floorShare);
        m_table.add(interfaceFloorBench, "floor: frames rendered per second",
                    floor.value("framesPerSecond").toDouble());
        m_table.add(interfaceFloorBench,
                    "engine alone, 2 units at full rate: share of one core (%)", engineShare);
        m_table.add(interfaceFloorBench, interfaceRatio12to2,
                    shares.value(unitCount) / shares.value(normalAwake), 2);
        m_table.add(interfaceFloorBench, interfaceRatioFloor,
                    shares.value(normalAwake) / floorShare, 2);
        m_table.add(interfaceFloorBench, interfaceRatioFloorLessEngine,
                    (shares.value(normalAwake) - engineShare) / floorShare, 2);
        noteLoad(QStringLiteral("after interface run %1").arg(run + 1));
    }
    return true;
}

QJsonObject BenchDriver::runInterfaceOnce(const QStringList &addresses, bool unloadHiddenStrips)
{
    QStringList arguments = QStringList{"interface", "--units", addresses.join(QLatin1Char(','))} +
                            timed(m_options.seconds);
    if (unloadHiddenStrips)
        arguments << "--unload-hidden-strips";
    const QJsonObject result = runChild(arguments, interfaceEnvironment);
    if (failed(result))
        return {};
    const QString bench =
        QStringLiteral("4 interface, %1 units in use%2")
            .arg(addresses.size())
            .arg(unloadHiddenStrips ? QStringLiteral(" (what-if: hidden pages unload their strips)")
                                    : QString());
    m_table.add(bench, "share of one core (%)", result.value("coreSharePercent").toDouble());
    m_table.add(bench, "frames rendered per second", result.value("framesPerSecond").toDouble());
    m_table.add(bench, "meter reports per second (two shown units)",
                result.value("meterReportsPerSecond").toDouble());
    m_table.add(bench, "meter updates dropped (replaced before a frame)",
                result.value("droppedUpdates").toDouble(), 0);
    m_table.add(bench, "meters moving (of 16)", result.value("metersMoving").toDouble(), 0);
    m_table.add(bench, "pages shown", result.value("pagesShown").toDouble(), 0);
    m_table.add(bench, "units polled at full rate", result.value("unitsAtFullRate").toDouble(), 0);
    m_table.add(bench, "resident memory at end (MiB)", result.value("rssEndKiB").toDouble() / 1024);
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
        m_table.add(stormBench, "share of one core without the storm (%)", calmShare);
        m_table.add(stormBench, "share of one core in the storm (%)",
                    storm.value("coreSharePercent").toDouble());
        m_table.add(stormBench, "share of one core in the storm, log panel open (%)",
                    watched.value("coreSharePercent").toDouble());
        m_table.add(stormBench, "rise with the storm (points of a core)",
                    storm.value("coreSharePercent").toDouble() - calmShare, 2);
        m_table.add(stormBench, "rise with the storm, log panel open (points of a core)",
                    watched.value("coreSharePercent").toDouble() - calmShare, 2);
        m_table.add(stormBench, "frames rendered per second in the storm",
                    storm.value("framesPerSecond").toDouble());
        for (const QJsonObject &result : {storm, watched}) {
            m_table.add(stormBench, "over entries recorded in the storm",
                        result.value("overEntries").toDouble(), 0);
            m_table.add(stormBench, "channels with over entries (of 96)",
                        result.value("channelsWithOverEntries").toDouble(), 0);
            m_table.add(stormBench, "most over entries of one channel",
                        result.value("mostOverEntriesOfAChannel").toDouble(), 0);
            m_table.add(stormBench, "shortest time between two entries of one channel (s)",
                        result.value("shortestGapBetweenEntriesOfAChannelMs").toDouble() / 1000);
        }
        m_table.add(stormBench, "over entries recorded without the storm",
                    calm.value("overEntries").toDouble(), 0);
        noteLoad(QStringLiteral("after clip storm run %1").arg(run + 1));
    }
    return true;
}

QJsonObject BenchDriver::runClipStormOnce(const QStringList &addresses, bool storm, bool logOpen)
{
    QStringList arguments = QStringList{"clipstorm", "--units", addresses.join(QLatin1Char(','))} +
                            timed(m_options.stormSeconds);
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
    if (failed(result))
        return false;
    const QString bench = QStringLiteral("5 soak");
    const QJsonArray windows = result.value("windows").toArray();
    for (const QJsonValue &value : windows) {
        const QJsonObject window = value.toObject();
        m_table.add(bench, "resident memory per window (MiB)",
                    window.value("rssKiB").toDouble() / 1024);
        m_table.add(bench, "most requests outstanding to the silent unit",
                    window.value("silentMaxPending").toDouble(), 0);
        m_table.add(bench, "most requests outstanding to any other unit",
                    window.value("othersMaxPending").toDouble(), 0);
        m_table.add(bench, "other units' reply rate, slowest (of nominal)",
                    window.value("slowestOtherRate").toDouble(), 3);
        m_table.add(bench, "other units' reply rate, fastest (of nominal)",
                    window.value("fastestOtherRate").toDouble(), 3);
    }
    m_table.add(bench, "resident memory growth after the first window (KiB)",
                result.value("rssGrowthKiB").toDouble(), 0);
    m_table.add(bench, "outstanding bound: polls a unit can hold + one ended reply",
                result.value("pendingBound").toDouble(), 0);
    m_table.add(bench, "requests left outstanding after stopping",
                result.value("pendingAfterStop").toDouble() +
                    result.value("unansweredAfterStop").toDouble(),
                0);
    noteLoad(QStringLiteral("after soak"));
    return true;
}

void BenchDriver::judgeBudgets()
{
    for (const int units : {normalAwake, unitCount}) {
        const QString bench = QStringLiteral("4 interface, %1 units in use").arg(units);
        m_table.judge(bench, "share of one core (%)", "≤ 15",
                      [](double value) { return value <= interfaceShareBudget; });
        m_table.judge(bench, "meter updates dropped (replaced before a frame)", "0",
                      [](double value) { return value == 0; });
        double meterRate = 0;
        for (const FigureTable::Figure &existing : qAsConst(m_table.figures())) {
            if (existing.bench == bench &&
                existing.name.startsWith(QLatin1String("meter reports per second")))
                meterRate = FigureTable::median(existing.values) / 2;
        }
        m_table.judge(
            bench, "frames rendered per second",
            QStringLiteral("≥ %1 (one shown unit's meter rate)").arg(meterRate, 0, 'f', 1),
            [meterRate](double value) { return value >= meterRate; });
    }
    m_table.judge(interfaceFloorBench, interfaceRatio12to2, QStringLiteral("≤ 1.1"),
                  [](double value) { return value <= interfaceRatio12to2Budget; });
    m_table.judge(interfaceFloorBench, interfaceRatioFloor, QStringLiteral("≤ 1.5"),
                  [](double value) { return value <= interfaceFloorBudget; });
    for (const QString &name :
         {QStringLiteral("rise with the storm (points of a core)"),
          QStringLiteral("rise with the storm, log panel open (points of a core)")})
        m_table.judge(stormBench, name, QStringLiteral("≤ 2"),
                      [](double value) { return value <= stormRiseBudget; });
    m_table.judge(stormBench, "shortest time between two entries of one channel (s)", "≥ 10",
                  [](double value) { return value >= overEntrySpacingSeconds; });
    m_table.judge("5 soak", "resident memory growth after the first window (KiB)", "< 1024",
                  [](double value) { return value < soakGrowthBudgetKiB; });
    double bound = 0;
    for (const FigureTable::Figure &existing : qAsConst(m_table.figures())) {
        if (existing.name.startsWith(QLatin1String("outstanding bound")))
            bound = FigureTable::median(existing.values);
    }
    // The worst window decides the backlog, not the median one.
    for (FigureTable::Figure &existing : m_table.figures()) {
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
                          "holds for 8 and recalls for 7; soak %4 windows × %5 s, %6 s of silence "
                          "per window\n")
               .arg(m_options.runs)
               .arg(m_options.seconds)
               .arg(m_options.warmupSeconds)
               .arg(m_options.soakWindows)
               .arg(m_options.soakWindowSeconds)
               .arg(m_options.soakSilenceSeconds);
    out << "Load average (1, 5, 15 min): " << m_loadNotes.join(QStringLiteral("; ")) << "\n\n";
}
