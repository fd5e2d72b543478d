#include "ClipStormRun.h"

#include <QDateTime>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QQuickItem>
#include <QQuickWindow>

#include <algorithm>

#include "EventLoopWait.h"
#include "InterfaceRun.h"
#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "support/ControllerGraph.h"
#include "support/WindowItems.h"
#include "system/ShowLog.h"
#include "system/ShowLogModel.h"
#include "system/SystemManager.h"

namespace {

constexpr int answerTimeoutMs = 5000;

// GET http://<address>/?<command> for every unit, with a client of the run's own; true once every
// unit has answered.
bool tellUnits(QNetworkAccessManager &network, const QStringList &addresses,
               const QStringList &commands)
{
    for (const QString &address : addresses) {
        for (const QString &command : commands) {
            QNetworkReply *reply =
                network.get(QNetworkRequest(NetworkCom::requestUrl(address, command)));
            const bool answered =
                EventLoopWait::until([reply] { return reply->isFinished(); }, answerTimeoutMs);
            const bool ok = answered && reply->error() == QNetworkReply::NoError;
            reply->abort();
            delete reply;
            if (!ok)
                return false;
        }
    }
    return true;
}

// The over entries from the storm's start, by channel (slot * 8 + channel): their times.
QHash<int, QList<qint64>> overEntries(ControllerGraph &graph, qint64 since)
{
    QHash<int, QList<qint64>> byChannel;
    const ShowLogModel *entries = graph.manager()->findChild<ShowLog *>()->model();
    for (int row = entries->rowCount() - 1; row >= 0; --row) {
        const ShowLogEntry &entry = entries->at(row);
        if (entry.event == ShowLogEntry::Event::Over && entry.timeMs >= since)
            byChannel[entry.slot * Commands::channelCount + entry.channel] << entry.timeMs;
    }
    return byChannel;
}

} // namespace

namespace ClipStormRun {

QJsonObject run(const QStringList &addresses, const Plan &plan)
{
    QNetworkAccessManager network;
    qint64 stormStart = 0;
    InterfaceRun::Hooks hooks;
    hooks.beforeWarmup = [&](ControllerGraph &, QQuickWindow *window) {
        stormStart = QDateTime::currentMSecsSinceEpoch();
        if (plan.storm && !tellUnits(network, addresses, {QStringLiteral("SIM_CLIP=ALL")}))
            return false;
        if (!plan.logOpen)
            return true;
        WindowItems::click(window, WindowItems::find(window, QStringLiteral("logButton")));
        return EventLoopWait::until(
            [window] {
                QQuickItem *list = WindowItems::find(window, QStringLiteral("logEntries"));
                return list && list->isVisible();
            },
            answerTimeoutMs);
    };
    hooks.afterWindow = [&](ControllerGraph &graph, QJsonObject &result) {
        const QHash<int, QList<qint64>> byChannel = overEntries(graph, stormStart);
        int entries = 0;
        int most = 0;
        qint64 shortestGapMs = -1;
        for (const QList<qint64> &times : byChannel) {
            entries += times.size();
            most = std::max(most, int(times.size()));
            for (int i = 1; i < times.size(); ++i) {
                const qint64 gap = times.at(i) - times.at(i - 1);
                shortestGapMs = shortestGapMs < 0 ? gap : std::min(shortestGapMs, gap);
            }
        }
        result.insert("stormSeconds", (QDateTime::currentMSecsSinceEpoch() - stormStart) / 1000.0);
        result.insert("overEntries", entries);
        result.insert("channelsWithOverEntries", byChannel.size());
        result.insert("mostOverEntriesOfAChannel", most);
        result.insert("shortestGapBetweenEntriesOfAChannelMs", double(shortestGapMs));
        // The units keep clipping and their overs stay latched until told otherwise.
        QStringList clear{QStringLiteral("SIM_CLER")};
        for (int channel = 1; channel <= Commands::channelCount; ++channel)
            clear << Commands::clearOver(channel);
        result.insert("unitsCleared", tellUnits(network, addresses, clear));
    };
    QJsonObject result = InterfaceRun::run(addresses, plan.warmupMs, plan.windowMs, false, hooks);
    result.insert("mode", "clipstorm");
    result.insert("storm", plan.storm);
    result.insert("logOpen", plan.logOpen);
    return result;
}

} // namespace ClipStormRun
