#pragma once

#include <mutex>
#include <set>

#include <httplib.h>

class SimulatedUnit;

// The web server of one simulated unit: an httplib::Server set up as a unit's small server is
// (threads started as connections need them, keep-alive for the controller's meter polls, no
// Nagle delay, no SO_REUSEPORT), which runs its connections itself through the one hook httplib
// offers for that (its TLS server uses it too).
//
// - It hands httplib each request line with every "?" after the first escaped as "%3F": httplib
//   answers 400 to a target with a second "?", before any handler runs, though a query may hold
//   "?" as it is and the controller's URLs do ("CMD_NMCH=1,why? not"). Decoding the whole query
//   turns it back into "?".
// - It knows its open connections, so closing the listener can end them at once. httplib's own
//   loop would serve an idle kept-alive connection one more request after stop(), or keep it
//   until its keep-alive timeout.
// - It asks the unit before serving a new connection, which is where the serial profile's
//   connection limit bites: a connection the unit has no socket for is reset at once, unread.
//
// What the server answers is up to the handlers UnitServer registers; this class only moves
// connections and bytes. The unit outlives the server.
class UnitHttpServer : public httplib::Server
{
public:
    explicit UnitHttpServer(SimulatedUnit &unit);

    // Ends every open connection but keep's: shuts its socket down, which wakes its thread.
    void closeConnections(socket_t keep);

    // The connection the calling thread serves, so a handler can tell which one is its own;
    // INVALID_SOCKET outside a connection's thread.
    static socket_t currentConnection();

private:
    bool process_and_close_socket(socket_t sock) override;
    bool waitForRequest(socket_t sock) const;
    bool serveRequest(socket_t sock, bool last, bool &closed);

    SimulatedUnit &m_unit;
    std::mutex m_mutex;
    // A socket leaves this set before it is closed, so its number is never reused while here.
    std::set<socket_t> m_open;
};
