#include "CommandBenches.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <utility>

#include "BenchDriver.h"
#include "CommandLatency.h"
#include "FigureTable.h"
#include "HeldControls.h"
#include "RecallRun.h"
#include "model/PreampModel.h"
#include "support/SimulatorProcess.h"

namespace {

// Service times of the serial profile: none (one request at a time only), a typical unit's, and
// a slow one's, at which a command must still come back within the latency budget.
constexpr int latencyServiceMs[] = {0, 20, 60};
constexpr int latencyBudgetServiceMs = 60;
constexpr double latencyBudgetMs = 150;
// The held gain button: one channel at a slow unit's service time, eight grouped channels at a
// typical one's; members 0 is one channel outside any group.
constexpr std::pair<int, int> heldRuns[] = {{0, 300}, {8, 60}};
constexpr int heldGroupSteps = 20;
constexpr int recallServiceMs[] = {0, 20};
constexpr int resumedRecallServiceMs = 20;
constexpr double recallOverheadBudgetMs = 500;
// The preview of a recall to twelve units must come up without a noticeable wait.
constexpr double previewBudgetMs = 50;
const QString previewBuilt =
    QStringLiteral("recall preview of the same file built and listed (ms)");
const QString previewAllBuilt =
    QStringLiteral("recall preview listing every setting, at units not heard from (ms)");

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

} // namespace

bool CommandBenches::runOnce(SimulatorProcess &simulator)
{
    for (const int serviceMs : latencyServiceMs) {
        if (!runLatencyOnce(simulator, serviceMs))
            return false;
    }
    for (const auto &[members, serviceMs] : heldRuns) {
        if (!runHeldOnce(simulator, members, serviceMs))
            return false;
    }
    for (const int serviceMs : recallServiceMs) {
        if (!runRecallOnce(simulator, serviceMs, false))
            return false;
    }
    if (!runRecallOnce(simulator, resumedRecallServiceMs, true))
        return false;
    m_driver.noteLoad(QStringLiteral("after commands run %1").arg(m_driver.runIndex() + 1));
    return true;
}

bool CommandBenches::runLatencyOnce(SimulatorProcess &simulator, int serviceMs)
{
    FigureTable &table = m_driver.table();
    constexpr int unit = 0;
    if (!serialProfile(simulator, unit, serviceMs))
        return false;
    const QJsonObject result = m_driver.runChild(
        QStringList{"latency", "--units", simulator.address(unit), "--seed",
                    QString::number((m_driver.runIndex() + 1) * 1000 + serviceMs)} +
        m_driver.timed(m_driver.options().seconds));
    if (BenchDriver::failed(result))
        return false;
    const QJsonObject statistics = unitStatistics(simulator, unit);
    const QString bench = latencyBench(serviceMs);
    const int issued = result.value("commands").toInt();
    table.add(bench, "command latency p50 (ms)", result.value("latencyP50Ms").toDouble());
    table.add(bench, "command latency p99 (ms)", result.value("latencyP99Ms").toDouble());
    // Their place in the table is here; addPooledLatencies() fills them after the last run.
    table.figure(bench, pooledP50);
    table.figure(bench, pooledP99);
    table.add(bench, "command latency max (ms)", result.value("latencyMaxMs").toDouble());
    table.add(bench, "commands issued", issued, 0);
    table.add(bench, "commands unanswered", issued - result.value("answered").toInt(), 0);
    table.add(bench, "commands issued while an earlier one was unanswered",
              result.value("queuedBehindCommand").toDouble(), 0);
    table.add(bench, "command latency p99, commands issued with none unanswered (ms)",
              result.value("aloneP99Ms").toDouble());
    table.add(bench, "meter reports per second (its timer asks 16.7)",
              result.value("meterReportsPerSecond").toDouble());
    table.add(bench, "status reports per second (its timer asks 2.0)",
              result.value("statusReportsPerSecond").toDouble(), 2);
    table.add(bench, "failed requests", result.value("errors").toDouble(), 0);
    table.add(bench, "commands replaced by a newer one for the same setting",
              result.value("mergedCommands").toDouble(), 0);
    table.add(bench, "name commands the unit counted (SIM_STAT) less those issued",
              statistics.value("codes").toObject().value("CMD_NMCH").toInt() - issued, 0);
    table.add(bench, "most connections open at the unit (the bench's own included)",
              mostOpenConnections(statistics), 0);
    for (const QJsonValue &sample : result.value("latenciesMs").toArray())
        m_latencySamples[serviceMs].append(sample.toDouble());
    return true;
}

bool CommandBenches::runHeldOnce(SimulatorProcess &simulator, int members, int serviceMs)
{
    FigureTable &table = m_driver.table();
    constexpr int unit = 1;
    if (!serialProfile(simulator, unit, serviceMs))
        return false;
    // Each run's steps fall at another point of the status poll's interval.
    const int leadMs = m_driver.runIndex() * PreampModel::awakeStatusIntervalMs /
                       std::max(1, m_driver.options().runs);
    QStringList arguments{"held",
                          "--units",
                          simulator.address(unit),
                          "--members",
                          QString::number(members),
                          "--lead-ms",
                          QString::number(leadMs)};
    if (members > 0)
        arguments << "--steps" << QString::number(heldGroupSteps);
    const QJsonObject result = m_driver.runChild(arguments);
    if (BenchDriver::failed(result))
        return false;
    const QString bench = HeldControls::benchName(members, serviceMs);
    for (const HeldControls::Figure &held : HeldControls::figures(result))
        table.add(bench, held.name, held.value, held.decimals);
    // The unit's own word, asked once the program has let go of it.
    table.add(
        bench, HeldControls::channelsAtFinalFigure,
        HeldControls::channelsAtFinal(result, simulator.send(unit, QStringLiteral("CMD_PSTS"))), 0);
    table.add(bench, "commands the unit counted (SIM_STAT), setting the start gains included",
              commandsCounted(unitStatistics(simulator, unit)), 0);
    return true;
}

bool CommandBenches::runRecallOnce(SimulatorProcess &simulator, int serviceMs, bool resumePolling)
{
    FigureTable &table = m_driver.table();
    const QStringList addresses = simulator.addresses();
    for (int unit = 0; unit < addresses.size(); ++unit) {
        if (!serialProfile(simulator, unit, serviceMs))
            return false;
    }
    QStringList arguments{"recall", "--units", addresses.join(QLatin1Char(','))};
    if (resumePolling)
        arguments << "--resume-polling";
    const QJsonObject result = m_driver.runChild(arguments);
    if (BenchDriver::failed(result))
        return false;
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
    table.add(bench, "recall time, until every unit's 45th answer (ms)",
              result.value("recallMs").toDouble(), 0);
    table.add(bench, "first unit done (ms)", result.value("fastestUnitMs").toDouble(), 0);
    table.add(bench,
              "the load request itself: file read, undo snapshot written, 540 commands issued (ms)",
              result.value("loadCallMs").toDouble());
    const QJsonObject preview = result.value("preview").toObject();
    const QJsonObject previewAll = result.value("previewAll").toObject();
    table.add(bench, "the undo snapshot of the setup alone, written before the recall (ms)",
              result.value("snapshotMs").toDouble());
    table.add(bench, previewBuilt, preview.value("ms").toDouble());
    table.add(bench, "changes the preview listed (of 540 settings)",
              preview.value("changes").toDouble(), 0);
    table.add(bench, previewAllBuilt, previewAll.value("ms").toDouble());
    table.add(bench, "changes listed at units not heard from (540 settings and 12 addresses)",
              previewAll.value("changes").toDouble(), 0);
    table.add(bench, "units done (of 12)", result.value("unitsDone").toDouble(), 0);
    table.add(bench, "answers from the unit with fewest (of 45)",
              result.value("fewestAnswers").toDouble(), 0);
    table.add(bench, "channel answers carrying the preset's names (of 480)",
              result.value("presetNamesEchoed").toDouble(), 0);
    table.add(bench, "meter reports before the last unit was done (all units)",
              result.value("meterReports").toDouble(), 0);
    table.add(bench, "failed requests", result.value("errors").toDouble(), 0);
    table.add(bench, "commands the units counted (SIM_STAT), fewest of one unit", fewestCounted, 0);
    table.add(bench, "commands the units counted (SIM_STAT), most of one unit", mostCounted, 0);
    table.add(bench, "most connections open at one unit (the bench's own included)", mostOpen, 0);
    return true;
}

// Each run's p99 of some 90 commands is close to its largest; over all runs' commands together
// the percentile rests on several samples.
void CommandBenches::addPooledLatencies()
{
    for (const int serviceMs : latencyServiceMs) {
        const QVector<double> samples = m_latencySamples.value(serviceMs);
        if (samples.isEmpty())
            continue;
        const QString bench = latencyBench(serviceMs);
        for (const auto &[p, name] : {std::pair{0.50, pooledP50}, std::pair{0.99, pooledP99}}) {
            m_driver.table().add(bench, name, CommandLatency::percentile(samples, p));
            m_driver.table().figure(bench, name).samples = int(samples.size());
        }
    }
}

void CommandBenches::judgeBudgets()
{
    FigureTable &table = m_driver.table();
    for (const QString &name : {QStringLiteral("command latency p99 (ms)"), pooledP99}) {
        table.judge(latencyBench(latencyBudgetServiceMs), name, QStringLiteral("≤ 150"),
                    [](double value) { return value <= latencyBudgetMs; });
    }
    for (const auto &[members, serviceMs] : heldRuns) {
        for (const HeldControls::Budget &held : HeldControls::budgets(members, serviceMs))
            table.judge(HeldControls::benchName(members, serviceMs), held.figure, held.text,
                        held.holds, held.everyRun);
    }
    for (const int serviceMs : recallServiceMs) {
        const double budgetMs = RecallRun::commandsPerUnit * serviceMs + recallOverheadBudgetMs;
        table.judge(recallBench(serviceMs, false),
                    "recall time, until every unit's 45th answer (ms)",
                    QStringLiteral("≤ %1 (45 × %2 + 500)").arg(budgetMs).arg(serviceMs),
                    [budgetMs](double value) { return value >= 0 && value <= budgetMs; });
    }
    for (const int serviceMs : recallServiceMs) {
        for (const QString &name : {previewBuilt, previewAllBuilt})
            table.judge(recallBench(serviceMs, false), name,
                        QStringLiteral("≤ %1").arg(previewBudgetMs),
                        [](double value) { return value <= previewBudgetMs; });
    }
    // The same bound beside the recall the unit view makes, where polls share the units; not
    // judged, as the target is set for a recall without polls.
    const double resumedBoundMs =
        RecallRun::commandsPerUnit * resumedRecallServiceMs + recallOverheadBudgetMs;
    for (FigureTable::Figure &existing : table.figures()) {
        if (existing.bench == recallBench(resumedRecallServiceMs, true) &&
            existing.name.startsWith(QLatin1String("recall time")))
            existing.budget =
                QStringLiteral("(≤ %1 is the bound without polls)").arg(resumedBoundMs);
    }
}
