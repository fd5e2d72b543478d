#pragma once

#include <QList>
#include <QString>

#include <optional>

// The requests for one unit that wait in the controller, and the choice of which may leave now.
//
// A unit has two lanes, each carrying one request at a time:
// - Commands (every request but the status and meter polls) leave one after the other, each
//   only once the one before it has been answered or has failed. A unit therefore receives them
//   in the order they were issued, also when it serves several connections in parallel.
// - Polls travel on a lane of their own. The status poll is the unit's heartbeat: it leaves as
//   soon as the lane is free, whatever the commands do, so a unit that answers keeps reporting
//   at its interval however much the operator sends it. Meter polls give way to commands: none
//   leaves while a command is on its way or waiting, so at a unit that works on one request at
//   a time a command waits behind at most one poll. While a poll of one kind waits, a further
//   one of the same kind merges into it: its one answer serves both.
//
// Commands that set a value outright (Commands::settingKey) replace a waiting one that sets the
// same thing: the older one is dropped and the newer goes to the end of the queue. As it
// overrides everything before it for its setting, the unit ends in the state it would reach
// had every command been sent; a slow unit that an operator outruns therefore catches up with
// the operator's last value instead of working through stale ones. Steps, toggles and
// everything else are never merged. Commands wait up to maxWaitingCommands; beyond that a new
// one is refused, which only hundreds of steps or toggles waiting for a slow unit can cause.
//
// So at most two requests are on the wire to one unit, and whatever the poll timers do, a unit
// that stops answering collects at most two waiting polls.
//
// Requests wait here, not in the toolkit's own queue of six connections per host, because the
// transfer timeout starts when a request is handed to the toolkit: it must count only while the
// unit has the request.
class RequestQueue
{
public:
    enum class Lane
    {
        Command,
        Poll
    };
    enum class Admission
    {
        Queued,
        Merged,   // a poll of the same kind already waits
        Replaced, // queued at the end, a waiting command setting the same thing dropped
        Full      // maxWaitingCommands commands wait already; the command was not taken
    };
    struct Request
    {
        QString command;
        Lane lane;
    };

    // More than a full sync of every setting (45 commands) several times over.
    static constexpr int maxWaitingCommands = 256;
    // Requests a unit that never answers can collect from its timers: one poll on the wire and
    // one of each kind waiting.
    static constexpr int maxPollsOutstanding = 3;

    static bool isPoll(const QString &command);

    Admission add(const QString &command);
    // The next request that may leave now, its lane then counted as busy; nothing while the
    // lanes that have requests waiting are busy.
    std::optional<Request> takeNext();
    // The request on this lane has ended (answered or failed).
    void release(Lane lane);

    int waiting() const;
    int inFlight() const { return int(m_commandBusy) + int(m_pollBusy); }
    bool isIdle() const { return waiting() == 0 && inFlight() == 0; }

private:
    struct Waiting
    {
        QString command;
        QString setting; // Commands::settingKey, empty when it never merges
    };

    QList<Waiting> m_commands;
    bool m_statusWaiting = false;
    bool m_meterWaiting = false;
    bool m_commandBusy = false;
    bool m_pollBusy = false;
};
