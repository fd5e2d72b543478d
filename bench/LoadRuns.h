#pragma once

#include <QJsonObject>
#include <QList>
#include <QStringList>

#include "FloorClient.h"

// The two polling loads measured side by side: the program's own engine, and the bare toolkit
// client issuing the request mix the engine sent. Each returns the figures of one window (see
// LoadWindow) after a warm-up, plus what was left outstanding once polling stopped.
namespace LoadRuns {

struct Timing
{
    int warmupMs = 2000;
    int windowMs = 30000;
};

// How long a stopped client is given to see every outstanding request end: more than the
// transport's transfer timeout.
constexpr int drainMs = 4000;

// Twelve real models on the addresses (fewer when fewer are given), every unit started with
// init(), all but the first `awake` then put to sleep. Adds mode, units, awake,
// pendingAfterStop (reply objects the transport still holds after the drain) and
// unansweredAfterStop (requests that got neither a reply nor an error).
QJsonObject engine(const QStringList &addresses, int awake, const Timing &timing);

// One poll per address and command of an engine result's "sent", at the rate it was sent.
QList<FloorClient::Poll> mixOf(const QJsonObject &engineResult);

QJsonObject floor(const QList<FloorClient::Poll> &polls, const Timing &timing);

} // namespace LoadRuns
