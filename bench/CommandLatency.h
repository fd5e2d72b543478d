#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>

// How long an operator's command takes to come back from one unit that the program polls at full
// rate (status every 500 ms, meters every 60 ms, its model started with init() as the unit view
// starts it). Whatever the unit's service time is, it is set on the simulator before this runs.
//
// Commands are channel-name commands for channels 1 to 8 in turn, each with a name of its own,
// issued through the transport as a model issues them, at random moments (exponential gaps, a
// few a second). Taking the channels in turn keeps a command from replacing a waiting one for
// the same channel, which the transport would do with a newer name.
// The unit answers a name command with the channel's document, which carries the name, so each
// answer is paired with exactly its command. Latency: from issuing the command to its answer
// arriving at the controller; it includes the unit's service time and any wait behind an
// earlier command, which the transport sends only once the one before has been answered.
namespace CommandLatency {

struct Plan
{
    int warmupMs = 2000;
    int windowMs = 30000;
    double commandsPerSecond = 3;
    quint32 seed = 1;
};

// Nearest-rank percentile, p in 0..1; 0 without values.
double percentile(QVector<double> values, double p);

// Adds mode, commands, answered, errors, latencyP50Ms, latencyP99Ms, latencyMaxMs, latenciesMs
// (every sample, so runs can be pooled), queuedBehindCommand (commands issued while an earlier
// one was unanswered), aloneP99Ms (the others' p99), meterReportsPerSecond,
// statusReportsPerSecond, mergedPolls and mergedCommands, all within the window.
QJsonObject run(const QString &address, const Plan &plan);

} // namespace CommandLatency
