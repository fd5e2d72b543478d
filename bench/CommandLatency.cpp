#include "CommandLatency.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <random>

#include "EngineLoad.h"
#include "EventLoopWait.h"
#include "LoadRuns.h"
#include "TrafficRecorder.h"
#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "device/ReplyDocument.h"

namespace {

constexpr int onlineTimeoutMs = 10000;
// Channels the name commands go to in turn: a name command waiting behind another for the same
// channel would be replaced by it (the transport sends only the latest setting), and its answer
// never come.
constexpr int namedChannels = 8;

struct OpenCommand
{
    qint64 issuedNs = 0;
    bool behindCommand = false; // an earlier command was still unanswered when it was issued
};

} // namespace

namespace CommandLatency {

double percentile(QVector<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int rank = int(std::ceil(p * values.size())) - 1;
    return values.at(std::clamp(rank, 0, int(values.size()) - 1));
}

QJsonObject run(const QString &address, const Plan &plan)
{
    TrafficRecorder recorder(false);
    EngineLoad load({address}, &recorder);
    if (!load.start(1, onlineTimeoutMs))
        return QJsonObject{{"error", "the simulated unit did not come online"}};
    NetworkCom *transport = load.transport();

    QElapsedTimer clock;
    clock.start();
    bool inWindow = false;
    QHash<QString, OpenCommand> open; // by the name the command sets
    QVector<double> latencies;
    QVector<double> aloneLatencies;
    int queuedBehindCommand = 0;
    int meterReports = 0;
    int statusReports = 0;
    int errors = 0;

    QObject context;
    QObject::connect(transport, &NetworkCom::channelUpdate, &context,
                     [&](const QJsonObject &document, const QString &) {
                         const QJsonArray entries =
                             document.value(ReplyDocument::channelsKey).toArray();
                         for (const QJsonValue &entry : entries) {
                             const auto command = open.find(
                                 entry.toObject().value(ReplyDocument::channelNameKey).toString());
                             if (command == open.end())
                                 continue;
                             const double ms = (clock.nsecsElapsed() - command->issuedNs) / 1e6;
                             latencies.append(ms);
                             if (!command->behindCommand)
                                 aloneLatencies.append(ms);
                             open.erase(command);
                         }
                     });
    QObject::connect(transport, &NetworkCom::meterUpdate, &context,
                     [&] { meterReports += inWindow; });
    QObject::connect(transport, &NetworkCom::statusUpdate, &context,
                     [&] { statusReports += inWindow; });
    QObject::connect(transport, &NetworkCom::replyError, &context, [&] { errors += inWindow; });

    EventLoopWait::forMs(plan.warmupMs);

    // Exponential gaps: the moments are independent of each other and of the poll timers.
    std::mt19937 random(plan.seed);
    std::exponential_distribution<double> gapSeconds(plan.commandsPerSecond);
    QTimer next;
    next.setSingleShot(true);
    next.setTimerType(Qt::PreciseTimer);
    int issued = 0;
    const qint64 windowEndNs = clock.nsecsElapsed() + qint64(plan.windowMs) * 1000000;
    const auto scheduleNext = [&] {
        next.start(int(std::lround(gapSeconds(random) * 1000)));
    };
    QObject::connect(&next, &QTimer::timeout, &context, [&] {
        if (clock.nsecsElapsed() >= windowEndNs)
            return;
        const QString name = QStringLiteral("lat%1").arg(++issued);
        const bool behind = !open.isEmpty();
        queuedBehindCommand += behind;
        open.insert(name, OpenCommand{clock.nsecsElapsed(), behind});
        transport->command(address,
                           Commands::setChannelName(1 + (issued - 1) % namedChannels, name));
        scheduleNext();
    });

    const quint64 mergedAtStart = transport->mergedPolls();
    const quint64 replacedAtStart = transport->mergedCommands();
    const qint64 windowStartNs = clock.nsecsElapsed();
    inWindow = true;
    scheduleNext();
    EventLoopWait::forMs(plan.windowMs);
    inWindow = false;
    const double seconds = (clock.nsecsElapsed() - windowStartNs) / 1e9;
    const quint64 merged = transport->mergedPolls() - mergedAtStart;
    const quint64 replaced = transport->mergedCommands() - replacedAtStart;
    // The last commands' answers still count: they were issued within the window.
    EventLoopWait::until([&] { return open.isEmpty(); }, LoadRuns::drainMs);
    load.stop();
    EventLoopWait::until([&] { return transport->pendingRequests() == 0; }, LoadRuns::drainMs);

    QJsonArray samples;
    for (double ms : qAsConst(latencies))
        samples.append(std::round(ms * 1000) / 1000);
    return QJsonObject{{"mode", "latency"},
                       {"address", address},
                       {"seconds", seconds},
                       {"commandsPerSecond", plan.commandsPerSecond},
                       {"commands", issued},
                       {"answered", int(latencies.size())},
                       {"errors", errors},
                       {"latencyP50Ms", percentile(latencies, 0.50)},
                       {"latencyP99Ms", percentile(latencies, 0.99)},
                       {"latencyMaxMs", percentile(latencies, 1.0)},
                       {"queuedBehindCommand", queuedBehindCommand},
                       {"aloneP99Ms", percentile(aloneLatencies, 0.99)},
                       {"meterReportsPerSecond", meterReports / seconds},
                       {"statusReportsPerSecond", statusReports / seconds},
                       {"mergedPolls", double(merged)},
                       {"mergedCommands", double(replaced)},
                       {"latenciesMs", samples}};
}

} // namespace CommandLatency
