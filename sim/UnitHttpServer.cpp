#include "sim/UnitHttpServer.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

#include "sim/SimulatedUnit.h"

namespace {

// Each open connection takes a thread. Enough for every request a silent unit holds at once, the
// controller's six parallel connections and the harness's control requests, and for the serial
// profile's largest connection limit with threads to spare, so that the connection after the
// last one allowed finds a thread and is refused at once instead of waiting for one.
constexpr size_t maxConnectionThreads = size_t(SimulatedUnit::maxConnectionLimit) + 8;
// The controller polls meters every 60 ms; one connection should carry that for a long time.
constexpr size_t keepAliveMaxCount = 1000000;
constexpr time_t keepAliveTimeoutSeconds = 10;

// httplib's own pool starts all its threads up front, and twelve units would start hundreds that
// mostly sleep. This one starts a thread when a connection finds none idle, up to maxThreads,
// and keeps it for later connections; beyond maxThreads, connections wait for a thread.
class ConnectionThreads : public httplib::TaskQueue
{
public:
    explicit ConnectionThreads(size_t maxThreads) : m_maxThreads(maxThreads) {}

    void enqueue(std::function<void()> task) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
        if (m_tasks.size() > m_idle && m_threads.size() < m_maxThreads)
            m_threads.emplace_back([this] { work(); });
        else
            m_wake.notify_one();
    }

    // httplib calls this once its accept loop has ended: what is queued still runs.
    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_shutdown = true;
        }
        m_wake.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_wake.wait(lock, [this] { return !m_tasks.empty() || m_shutdown; });
            --m_idle;
            if (m_tasks.empty())
                return;
            const std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

    const size_t m_maxThreads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::vector<std::thread> m_threads;
    size_t m_idle = 0;
    bool m_shutdown = false;
};

// The connection the calling thread serves.
thread_local socket_t servedConnection = INVALID_SOCKET;

// httplib answers 400 to a request whose target holds a second "?", before any handler runs,
// though a query may hold "?" as it is and the controller's URLs do ("CMD_NMCH=1,why? not").
// This stream hands httplib the request line with every "?" after the first escaped as "%3F",
// which decoding the whole query turns back into "?".
class QueryEscapingStream : public httplib::Stream
{
public:
    explicit QueryEscapingStream(httplib::Stream &socket) : m_socket(socket) {}

    bool is_readable() const override { return m_offset < m_line.size() || m_socket.is_readable(); }
    bool is_writable() const override { return m_socket.is_writable(); }
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override { return m_socket.write(ptr, size); }
    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        m_socket.get_remote_ip_and_port(ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        m_socket.get_local_ip_and_port(ip, port);
    }
    socket_t socket() const override { return m_socket.socket(); }

private:
    void readRequestLine();

    httplib::Stream &m_socket;
    std::string m_line;
    size_t m_offset = 0;
    bool m_lineRead = false;
};

ssize_t QueryEscapingStream::read(char *ptr, size_t size)
{
    if (!m_lineRead)
        readRequestLine();
    if (m_offset >= m_line.size())
        return m_socket.read(ptr, size);
    const size_t count = std::min(size, m_line.size() - m_offset);
    std::memcpy(ptr, m_line.data() + m_offset, count);
    m_offset += count;
    return ssize_t(count);
}

void QueryEscapingStream::readRequestLine()
{
    m_lineRead = true;
    char c = 0;
    while (m_line.size() < CPPHTTPLIB_REQUEST_URI_MAX_LENGTH && m_socket.read(&c, 1) == 1) {
        m_line += c;
        if (c == '\n')
            break;
    }
    const size_t query = m_line.find('?');
    if (query == std::string::npos)
        return;
    size_t targetEnd = std::min(m_line.find(' ', query), m_line.size());
    for (size_t at = m_line.find('?', query + 1); at < targetEnd; at = m_line.find('?', at)) {
        m_line.replace(at, 1, "%3F");
        targetEnd += 2;
    }
}

} // namespace

UnitHttpServer::UnitHttpServer(SimulatedUnit &unit) : m_unit(unit)
{
    new_task_queue = [] {
        return new ConnectionThreads(maxConnectionThreads);
    };
    // httplib's default options add SO_REUSEPORT, with which a second simulator could bind the
    // same address and quietly take over part of its connections.
    set_socket_options([](socket_t sock) {
        const int on = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    // With Nagle's algorithm every small reply waits for the client's delayed ACK (~40 ms).
    set_tcp_nodelay(true);
    set_keep_alive_max_count(keepAliveMaxCount);
    set_keep_alive_timeout(keepAliveTimeoutSeconds);
}

void UnitHttpServer::closeConnections(socket_t keep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (socket_t sock : m_open) {
        if (sock != keep)
            ::shutdown(sock, SHUT_RDWR);
    }
}

socket_t UnitHttpServer::currentConnection()
{
    return servedConnection;
}

bool UnitHttpServer::process_and_close_socket(socket_t sock)
{
    if (!m_unit.openConnection()) {
        // Closed unread with a zero linger, the connection is reset: the client learns at once
        // that the unit had no socket for it.
        const linger reset{1, 0};
        ::setsockopt(sock, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        httplib::detail::close_socket(sock);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.insert(sock);
    }
    servedConnection = sock;
    bool ok = true;
    bool closed = false;
    // The listener is checked after the socket is known, so a stop() that comes later ends it.
    for (size_t left = keep_alive_max_count_;
         ok && !closed && left > 0 && svr_sock_ != INVALID_SOCKET && waitForRequest(sock); --left)
        ok = serveRequest(sock, left == 1, closed);
    servedConnection = INVALID_SOCKET;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.erase(sock);
    }
    // Counted closed before it closes, so a client that reconnects the moment it sees the close
    // is not refused for the connection it just lost.
    m_unit.closeConnection();
    ::shutdown(sock, SHUT_RDWR);
    httplib::detail::close_socket(sock);
    return ok;
}

bool UnitHttpServer::serveRequest(socket_t sock, bool last, bool &closed)
{
    const auto serve = [&](httplib::Stream &socket) {
        QueryEscapingStream escaping(socket);
        return process_request(escaping, last, closed, nullptr);
    };
    return httplib::detail::process_client_socket(sock, read_timeout_sec_, read_timeout_usec_,
                                                  write_timeout_sec_, write_timeout_usec_, serve);
}

bool UnitHttpServer::waitForRequest(socket_t sock) const
{
    pollfd readable{sock, POLLIN, 0};
    return ::poll(&readable, 1, int(keep_alive_timeout_sec_ * 1000)) > 0;
}
