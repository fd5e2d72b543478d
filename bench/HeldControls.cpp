#include "HeldControls.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTimer>

#include <algorithm>
#include <limits>

#include "EngineLoad.h"
#include "EventLoopWait.h"
#include "LoadRuns.h"
#include "TrafficRecorder.h"
#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "device/ReplyDocument.h"
#include "model/PreampModel.h"

namespace {

constexpr int onlineTimeoutMs = 10000;
constexpr int setUpTimeoutMs = 10000;
constexpr int groupNumber = 0;
// The budgets: status reports keep coming at three quarters of the poll rate at least, and the
// unit holds the final gains soon after the button is let go.
constexpr double leastStatusPerSecond = 1.5;
constexpr int oneChannelSlackMs = 500;
constexpr int groupBudgetMs = 1000;

const QString lowestFigure = QStringLiteral("lowest link state during the hold (2 online)");
const QString refusedFigure = QStringLiteral("steps refused");
const QString statusFigure = QStringLiteral("status reports per second during the hold");
const QString releaseFigure =
    QStringLiteral("time from release until the unit reports the final gains (ms)");

} // namespace

namespace HeldControls {

const QString channelsAtFinalFigure =
    QStringLiteral("held channels the unit reports at the final gain afterwards (own CMD_PSTS)");

QJsonObject run(const QString &address, const Plan &plan)
{
    TrafficRecorder recorder(false);
    EngineLoad load({address}, &recorder);
    if (!load.start(1, onlineTimeoutMs))
        return QJsonObject{{"error", "the simulated unit did not come online"}};
    PreampModel *unit = load.model(0);
    NetworkCom *transport = load.transport();
    const int held = std::max(plan.members, 1);

    // The gain each channel last reported, and when every held channel reached its target.
    QVector<int> reported(PreampModel::channelCount, std::numeric_limits<int>::min());
    QVector<int> targets(held);
    QElapsedTimer clock;
    clock.start();
    qint64 reachedNs = -1;
    const auto reached = [&] {
        for (int row = 0; row < held; ++row) {
            if (reported.at(row) != targets.at(row))
                return false;
        }
        return true;
    };
    QObject context;
    const auto take = [&](const QJsonObject &document, const QString &ip) {
        if (ip != address)
            return;
        for (const QJsonValue &value : document.value(ReplyDocument::channelsKey).toArray()) {
            const QJsonObject entry = value.toObject();
            const int row = ReplyDocument::readInt(entry.value(ReplyDocument::channelNoKey)) - 1;
            if (row >= 0 && row < reported.size())
                reported[row] = ReplyDocument::readInt(entry.value(ReplyDocument::gainKey));
        }
        if (reachedNs < 0 && reached())
            reachedNs = clock.nsecsElapsed();
    };
    QObject::connect(transport, &NetworkCom::channelUpdate, &context, take);
    QObject::connect(transport, &NetworkCom::statusUpdate, &context, take);

    for (int row = 0; row < held; ++row) {
        targets[row] = firstGain + row;
        unit->setProperty(row, QStringLiteral("gainRole"), targets.at(row));
    }
    if (!EventLoopWait::until(reached, setUpTimeoutMs))
        return QJsonObject{{"error", "the unit did not take the starting gains"}};
    // Joining copies the reported gain into the group gain.
    for (int row = 0; row < plan.members; ++row) {
        unit->setProperty(row, QStringLiteral("groupNameRole"), groupNumber);
        unit->setProperty(row, QStringLiteral("groupRole"), true);
    }
    EventLoopWait::forMs(plan.warmupMs + plan.leadMs);

    for (int row = 0; row < held; ++row)
        targets[row] = std::min(targets.at(row) + plan.steps, Commands::maxGain);
    reachedNs = -1;
    int lowest = unit->online();
    QObject::connect(unit, &PreampModel::dataChanged, &context,
                     [&] { lowest = std::min(lowest, unit->online()); });
    bool holding = true;
    int statusReports = 0;
    QObject::connect(transport, &NetworkCom::statusUpdate, &context,
                     [&](const QJsonObject &, const QString &ip) {
                         statusReports += holding && ip == address ? 1 : 0;
                     });
    const quint64 mergedAtStart = transport->mergedCommands();
    int issued = 0;
    int refused = 0;
    qint64 pressNs = 0;
    qint64 releaseNs = 0;
    const auto step = [&] {
        refused += unit->propertyChange(0, QStringLiteral("gainUpRole")) ? 0 : 1;
        releaseNs = clock.nsecsElapsed();
        holding = ++issued < plan.steps;
    };
    QTimer repeat;
    repeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&repeat, &QTimer::timeout, &context, [&] {
        if (holding)
            step();
    });
    pressNs = clock.nsecsElapsed();
    step();
    repeat.start(plan.repeatMs);
    EventLoopWait::until([&] { return !holding; }, plan.steps * plan.repeatMs * 2);
    repeat.stop();
    const double holdSeconds = (releaseNs - pressNs) / 1e9;
    EventLoopWait::until([&] { return reachedNs >= 0; }, plan.settleTimeoutMs);
    const quint64 merged = transport->mergedCommands() - mergedAtStart;

    load.stop();
    EventLoopWait::until([&] { return transport->pendingRequests() == 0; }, LoadRuns::drainMs);
    QJsonArray finalGains;
    for (int target : qAsConst(targets))
        finalGains.append(target);
    return QJsonObject{
        {"mode", "held"},
        {"address", address},
        {"members", plan.members},
        {"steps", plan.steps},
        {"issued", issued},
        {"refused", refused},
        {"lowestLinkState", lowest},
        {"holdSeconds", holdSeconds},
        {"statusReportsPerSecond", holdSeconds > 0 ? statusReports / holdSeconds : 0},
        {"mergedCommands", double(merged)},
        {"releaseToFinalMs", reachedNs >= 0 ? (reachedNs - releaseNs) / 1e6 : -1.0},
        {"finalGains", finalGains}};
}

int channelsAtFinal(const QJsonObject &result, const QJsonObject &status)
{
    const QJsonArray channels = status.value(ReplyDocument::channelsKey).toArray();
    const QJsonArray finals = result.value("finalGains").toArray();
    int atFinal = 0;
    for (int row = 0; row < finals.size(); ++row) {
        const QJsonValue gain = channels.at(row).toObject().value(ReplyDocument::gainKey);
        atFinal += gain == finals.at(row) ? 1 : 0;
    }
    return atFinal;
}

QString benchName(int members, int serviceMs)
{
    return QStringLiteral("8 held gain button, %1, service %2 ms")
        .arg(members > 0 ? QStringLiteral("%1 grouped channels").arg(members)
                         : QStringLiteral("one channel"))
        .arg(serviceMs);
}

QList<Figure> figures(const QJsonObject &result)
{
    return {
        {QStringLiteral("steps issued"), result.value("issued").toDouble(), 0},
        {lowestFigure, result.value("lowestLinkState").toDouble(), 0},
        {refusedFigure, result.value("refused").toDouble(), 0},
        {statusFigure, result.value("statusReportsPerSecond").toDouble(), 2},
        {QStringLiteral("commands merged (a waiting gain replaced by a newer one)"),
         result.value("mergedCommands").toDouble(), 0},
        {releaseFigure, result.value("releaseToFinalMs").toDouble(), 0},
    };
}

QList<Budget> budgets(int members, int serviceMs)
{
    const int held = std::max(members, 1);
    const int releaseBudgetMs = members > 0 ? groupBudgetMs : 2 * serviceMs + oneChannelSlackMs;
    const QString releaseText = members > 0 ? QStringLiteral("≤ %1").arg(releaseBudgetMs)
                                            : QStringLiteral("≤ %1 (2 × %2 + %3)")
                                                  .arg(releaseBudgetMs)
                                                  .arg(serviceMs)
                                                  .arg(oneChannelSlackMs);
    return {
        {lowestFigure, QStringLiteral("2 in every run"), [](double value) { return value == 2; },
         true},
        {refusedFigure, QStringLiteral("0 in every run"), [](double value) { return value == 0; },
         true},
        {statusFigure, QStringLiteral("≥ 1.5"),
         [](double value) {
             return value >= leastStatusPerSecond;
         }},
        {releaseFigure, releaseText,
         [releaseBudgetMs](double value) {
             return value >= 0 && value <= releaseBudgetMs;
         }},
        {channelsAtFinalFigure, QStringLiteral("%1 in every run").arg(held),
         [held](double value) { return value == held; }, true},
    };
}

} // namespace HeldControls
