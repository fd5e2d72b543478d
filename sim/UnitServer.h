#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "sim/SimulatedUnit.h"

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// Serves one SimulatedUnit over HTTP on one address: "GET /?<command>", where the command is the
// whole raw query, percent-decoded in one piece (a name may hold "&", "=", "+" or "?", which a
// key=value query parser would take apart).
//
// Ownership and threads: the server owns its unit and every thread it starts. An open listener
// is one UnitHttpServer whose accept loop runs on its own thread; httplib serves each connection
// on a thread of that listener's pool for as long as the connection lives (threads start as
// connections need them). A supervisor thread joins listeners that were closed for a refusal
// (SIM_RFSE, SIM_BOOT=ms) and opens a new one on the same address when the refusal ends. stop()
// and the destructor close everything and join.
//
// Closing the listener also closes the open connections, as a unit that goes away would; only
// the connection that asked for a refusal gets its answer first. Requests still held by a silent
// or delayed unit are dropped then, and a silent unit drops each request after 4 s at the most,
// so held requests cannot exhaust the thread pool.
//
// A lost answer (SIM_DROP) leaves its connection silent until the client hangs up; a trickled
// one (SIM_TRKL) goes a byte at a time. Both happen after the unit's turn: the unit has done its
// work, only the answer is lost or slow on its way.
//
// The unit's serial profile (SimulatedUnit::Profile) is carried out here. Each connection asks
// the unit whether it may open; one the unit has no socket for is reset at once, unread, as a
// small embedded server does. Each request, once read, takes its place in one queue over all
// connections and waits for its turn; holding the turn it takes its service time, then whatever
// silence or delay a fault adds, so a hung unit holds up every request behind it. A request
// stops waiting when the listener closes or the server stops. SIM_ commands never queue: a
// harness can always reach the unit, but their connections count against the limit like any.
//
// Constructing a UnitServer makes the process ignore SIGPIPE: the httplib build in use writes
// to sockets without MSG_NOSIGNAL, and a client that hangs up must not end the process.
class UnitServer
{
public:
    // host is an IP address; port 0 picks a free port when the server starts.
    UnitServer(std::unique_ptr<SimulatedUnit> unit, const QString &host, quint16 port);
    ~UnitServer();
    UnitServer(const UnitServer &) = delete;
    UnitServer &operator=(const UnitServer &) = delete;

    // Binds and starts listening. Returns false (see errorString()) when the address cannot be
    // bound, for instance because the port is in use or needs privileges.
    bool start();
    void stop();

    SimulatedUnit &unit() const { return *m_unit; }
    QString host() const { return m_host; }
    // The bound port once started (the chosen one when constructed with port 0).
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

    // Closes the listener and the open connections; listens again on the same address after
    // duration. A refusal that starts while one is running ends at the later of both ends.
    void refuseConnections(std::chrono::milliseconds duration) { refuse(duration, -1); }

private:
    struct Listener;

    void serve(const httplib::Request &request, httplib::Response &response);
    std::optional<SimulatedUnit::Result> answerFor(const QString &command, int generation);
    std::optional<SimulatedUnit::Result> answerInTurn(const QString &command, int generation);
    bool sleepUnlessClosed(std::chrono::milliseconds duration, int generation) const;
    void holdUntilHangUp(int generation) const;
    void sendTrickle(httplib::Response &response, const SimulatedUnit::Result &result,
                     int generation);
    // keepOpen: the socket of the connection whose request started the refusal, or -1; it
    // stays open until its answer is out.
    void refuse(std::chrono::milliseconds duration, int keepOpen);
    // The caller holds m_mutex.
    std::unique_ptr<Listener> openListener();
    void closeListener(int keepOpen);
    void supervise();

    const std::unique_ptr<SimulatedUnit> m_unit;
    const QString m_host;
    const std::string m_hostBytes;
    std::atomic<quint16> m_port;
    // Bumped whenever the listener closes: a held or delayed request that began under an older
    // listener gives up instead of answering on a connection that is going away.
    std::atomic<int> m_generation{0};
    QString m_error;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::unique_ptr<Listener> m_listener; // null while refusing or stopped
    std::unique_ptr<Listener> m_retired;  // closed, waiting for the supervisor to join it
    std::chrono::steady_clock::time_point m_reopenAt;
    bool m_stopping = false;
    std::thread m_supervisor;

    // The serial queue: tickets of the requests waiting, in arrival order; the first one holds
    // the turn. A request that gives up takes its ticket out wherever it stands.
    std::mutex m_turnMutex;
    std::condition_variable m_turnChanged;
    std::deque<quint64> m_turns;
    quint64 m_nextTicket = 0;
};
