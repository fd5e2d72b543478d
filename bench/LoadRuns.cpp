#include "LoadRuns.h"

#include "EngineLoad.h"
#include "EventLoopWait.h"
#include "LoadWindow.h"
#include "TrafficRecorder.h"
#include "device/NetworkCom.h"

namespace {

constexpr int onlineTimeoutMs = 10000;

void measure(LoadWindow &window, const LoadRuns::Timing &timing)
{
    EventLoopWait::forMs(timing.warmupMs);
    window.begin();
    EventLoopWait::forMs(timing.windowMs);
}

} // namespace

namespace LoadRuns {

QJsonObject engine(const QStringList &addresses, int awake, const Timing &timing)
{
    TrafficRecorder recorder(true);
    EngineLoad load(addresses, &recorder);
    if (!load.start(awake, onlineTimeoutMs))
        return QJsonObject{{"error", "not every simulated unit came online"}};
    LoadWindow window(&recorder);
    measure(window, timing);
    QJsonObject result = window.end();
    load.stop();
    EventLoopWait::until([&] { return load.transport()->pendingRequests() == 0; }, drainMs);
    result.insert("mode", "engine");
    result.insert("units", load.unitCount());
    result.insert("awake", awake);
    result.insert("pendingAfterStop", load.transport()->pendingRequests());
    result.insert("unansweredAfterStop", recorder.openRequests());
    return result;
}

QList<FloorClient::Poll> mixOf(const QJsonObject &engineResult)
{
    const double windowMs = engineResult.value("seconds").toDouble() * 1000;
    const QJsonObject sent = engineResult.value("sent").toObject();
    QList<FloorClient::Poll> polls;
    for (auto unit = sent.begin(); unit != sent.end(); ++unit) {
        const QJsonObject commands = unit.value().toObject();
        for (auto command = commands.begin(); command != commands.end(); ++command) {
            const double count = command.value().toDouble();
            if (count > 0)
                polls.append({unit.key(), command.key(), windowMs / count});
        }
    }
    return polls;
}

QJsonObject floor(const QList<FloorClient::Poll> &polls, const Timing &timing)
{
    TrafficRecorder recorder(true);
    FloorClient client(polls, &recorder);
    client.start();
    LoadWindow window(&recorder);
    measure(window, timing);
    QJsonObject result = window.end();
    client.stop();
    EventLoopWait::until([&] { return client.pending() == 0; }, drainMs);
    result.insert("mode", "floor");
    result.insert("polls", int(polls.size()));
    result.insert("unansweredAfterStop", recorder.openRequests());
    return result;
}

} // namespace LoadRuns
