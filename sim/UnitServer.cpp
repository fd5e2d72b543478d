#include "sim/UnitServer.h"

#include <QByteArray>
#include <QDebug>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <deque>
#include <functional>
#include <set>
#include <vector>

#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Each open connection takes a thread. Enough for every request a silent unit holds at once, the
// controller's six parallel connections and the harness's control requests, and for the serial
// profile's largest connection limit with threads to spare, so that the connection after the
// last one allowed finds a thread and is refused at once instead of waiting for one.
constexpr size_t maxConnectionThreads = size_t(SimulatedUnit::maxConnectionLimit) + 8;
// The controller polls meters every 60 ms; one connection should carry that for a long time.
constexpr size_t keepAliveMaxCount = 1000000;
constexpr time_t keepAliveTimeoutSeconds = 10;
// How often a held or delayed request looks whether it may answer or has to give up.
constexpr auto pollInterval = 10ms;
constexpr auto reopenRetryInterval = 100ms;

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

// The connection the calling thread serves, so a request can tell which one is its own.
thread_local socket_t currentConnection = INVALID_SOCKET;

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

// An httplib::Server that runs its connections itself, through the one hook httplib offers
// for that (its TLS server uses it too): it escapes the request line as above, and it knows
// its open connections, so closing the listener can end them at once. httplib's own loop would
// serve an idle kept-alive connection one more request after stop(), or keep it until its
// keep-alive timeout. It also asks the unit before serving a new connection, which is where the
// serial profile's connection limit bites.
class UnitHttpServer : public httplib::Server
{
public:
    explicit UnitHttpServer(SimulatedUnit &unit) : m_unit(unit) {}

    // Ends every open connection but keep's: shuts its socket down, which wakes its thread.
    void closeConnections(socket_t keep)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (socket_t sock : m_open) {
            if (sock != keep)
                ::shutdown(sock, SHUT_RDWR);
        }
    }

private:
    bool process_and_close_socket(socket_t sock) override;
    bool waitForRequest(socket_t sock) const;
    bool serveRequest(socket_t sock, bool last, bool &closed);

    SimulatedUnit &m_unit;
    std::mutex m_mutex;
    // A socket leaves this set before it is closed, so its number is never reused while here.
    std::set<socket_t> m_open;
};

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
    currentConnection = sock;
    bool ok = true;
    bool closed = false;
    // The listener is checked after the socket is known, so a stop() that comes later ends it.
    for (size_t left = keep_alive_max_count_;
         ok && !closed && left > 0 && svr_sock_ != INVALID_SOCKET && waitForRequest(sock); --left)
        ok = serveRequest(sock, left == 1, closed);
    currentConnection = INVALID_SOCKET;
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

// Everything after the first "?", decoded in one piece; "+" stays "+".
QString commandText(const std::string &target)
{
    const size_t question = target.find('?');
    if (question == std::string::npos)
        return QString();
    const QByteArray query = QByteArray::fromStdString(target.substr(question + 1));
    return QString::fromUtf8(QByteArray::fromPercentEncoding(query));
}

// A unit's web server never compresses, and an oversized reply has to be oversized on the wire.
// httplib gzips bodies given with set_content for clients that accept it (Qt's do), but sends a
// body it streams with a known length as it is.
void sendUncompressed(httplib::Response &response, const QByteArray &body,
                      const QByteArray &contentType)
{
    response.set_content_provider(size_t(body.size()), contentType.toStdString(),
                                  [body](size_t offset, size_t length, httplib::DataSink &sink) {
                                      return sink.write(body.constData() + offset, length);
                                  });
}

// A dropped request gets a head that promises one byte of body, and the connection closes
// instead of sending it: every client reports an error at once. A connection closed without any
// answer would make Qt send the request again, into the same silence.
void sendBrokenResponse(httplib::Response &response)
{
    response.status = 200;
    response.set_content_provider(1, "application/json",
                                  [](size_t, size_t, httplib::DataSink &) { return false; });
}

} // namespace

struct UnitServer::Listener
{
    explicit Listener(SimulatedUnit &unit) : server(unit) {}

    UnitHttpServer server;
    std::thread thread;
    std::atomic<bool> finished{false};
};

UnitServer::UnitServer(std::unique_ptr<SimulatedUnit> unit, const QString &host, quint16 port)
    : m_unit(std::move(unit)), m_host(host), m_hostBytes(host.toStdString()), m_port(port)
{
    std::signal(SIGPIPE, SIG_IGN);
}

UnitServer::~UnitServer()
{
    stop();
}

bool UnitServer::start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_supervisor.joinable())
        return true;
    if (m_stopping) {
        m_error = QStringLiteral("a stopped server does not start again");
        return false;
    }
    m_listener = openListener();
    if (!m_listener) {
        m_error = QStringLiteral("cannot listen on %1:%2").arg(m_host).arg(m_port);
        return false;
    }
    m_supervisor = std::thread([this] { supervise(); });
    return true;
}

void UnitServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        if (m_listener)
            closeListener(INVALID_SOCKET);
    }
    m_wake.notify_all();
    if (m_supervisor.joinable())
        m_supervisor.join();
}

void UnitServer::refuse(std::chrono::milliseconds duration, int keepOpen)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reopenAt = std::max(m_reopenAt, Clock::now() + duration);
        if (m_listener)
            closeListener(keepOpen);
    }
    m_wake.notify_all();
}

void UnitServer::serve(const httplib::Request &request, httplib::Response &response)
{
    const QString command = commandText(request.target);
    const bool inTurn = !SimulatedUnit::isSimCommand(command) && m_unit->profile().serial;
    const auto result =
        inTurn ? answerInTurn(command, m_generation) : answerFor(command, m_generation);
    if (!result) {
        sendBrokenResponse(response);
        return;
    }
    if (result->drop) {
        holdUntilHangUp(m_generation);
        sendBrokenResponse(response);
        return;
    }
    response.status = result->status;
    if (result->trickleMs > 0) {
        sendTrickle(response, *result, m_generation);
        return;
    }
    if (result->refuseMs <= 0) {
        sendUncompressed(response, result->body, result->contentType);
        return;
    }
    // httplib stops streaming bodies once its listener is closed, so the answer that closes it
    // goes out whole, on the one connection left open for it.
    refuse(std::chrono::milliseconds(result->refuseMs), currentConnection);
    response.set_content(result->body.constData(), size_t(result->body.size()),
                         result->contentType.toStdString());
}

// The unit's answer once silence and delay are over; nothing when the request is dropped
// because it was held too long or the listener closed meanwhile.
std::optional<SimulatedUnit::Result> UnitServer::answerFor(const QString &command, int generation)
{
    SimulatedUnit::Result result = m_unit->handle(command);
    const auto giveUpAt = Clock::now() + std::chrono::milliseconds(m_maxHoldMs);
    while (result.hold) {
        if (Clock::now() >= giveUpAt || m_generation != generation)
            return std::nullopt;
        std::this_thread::sleep_for(pollInterval);
        result = m_unit->handle(command);
    }
    if (!sleepUnlessClosed(std::chrono::milliseconds(result.delayMs), generation))
        return std::nullopt;
    return result;
}

// Under the serial profile: the answer once every request that arrived earlier has had its turn
// and this one its service time; nothing when the listener closes meanwhile.
std::optional<SimulatedUnit::Result> UnitServer::answerInTurn(const QString &command,
                                                              int generation)
{
    std::unique_lock<std::mutex> lock(m_turnMutex);
    const quint64 ticket = m_nextTicket++;
    m_turns.push_back(ticket);
    // Polled as well as woken: closing the listener only bumps the generation.
    while (m_turns.front() != ticket && m_generation == generation)
        m_turnChanged.wait_for(lock, pollInterval);
    lock.unlock();

    std::optional<SimulatedUnit::Result> result;
    const std::chrono::milliseconds service(m_unit->nextServiceMs());
    if (m_generation == generation && sleepUnlessClosed(service, generation))
        result = answerFor(command, generation);

    lock.lock();
    m_turns.erase(std::find(m_turns.begin(), m_turns.end(), ticket));
    lock.unlock();
    m_turnChanged.notify_all();
    return result;
}

// A lost answer's connection stays silent, as a unit's whose answer went astray, until the
// client hangs up, the listener closes or the longest hold has passed. The unit itself has done
// its work and its turn is over.
void UnitServer::holdUntilHangUp(int generation) const
{
    const auto giveUpAt = Clock::now() + std::chrono::milliseconds(m_maxHoldMs);
    while (Clock::now() < giveUpAt && m_generation == generation) {
        pollfd readable{currentConnection, POLLIN, 0};
        if (::poll(&readable, 1, int(pollInterval.count())) <= 0)
            continue;
        char byte = 0;
        if (::recv(currentConnection, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0)
            return; // closed by the client
        std::this_thread::sleep_for(pollInterval);
    }
}

// The head announces the whole body; then one byte goes every trickleMs, until the body is out,
// the client hangs up or the listener closes.
void UnitServer::sendTrickle(httplib::Response &response, const SimulatedUnit::Result &result,
                             int generation)
{
    const QByteArray body = result.body;
    const std::chrono::milliseconds every(result.trickleMs);
    response.set_content_provider(
        size_t(body.size()), result.contentType.toStdString(),
        [this, body, every, generation](size_t offset, size_t, httplib::DataSink &sink) {
            return sleepUnlessClosed(every, generation) && sink.write(body.constData() + offset, 1);
        });
}

bool UnitServer::sleepUnlessClosed(std::chrono::milliseconds duration, int generation) const
{
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        if (m_generation != generation)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pollInterval, end - Clock::now()));
    }
    return m_generation == generation;
}

std::unique_ptr<UnitServer::Listener> UnitServer::openListener()
{
    auto listener = std::make_unique<Listener>(*m_unit);
    httplib::Server &server = listener->server;
    server.new_task_queue = [] {
        return new ConnectionThreads(maxConnectionThreads);
    };
    // httplib's default options add SO_REUSEPORT, with which a second simulator could bind the
    // same address and quietly take over part of its connections.
    server.set_socket_options([](socket_t sock) {
        const int on = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    // With Nagle's algorithm every small reply waits for the client's delayed ACK (~40 ms).
    server.set_tcp_nodelay(true);
    server.set_keep_alive_max_count(keepAliveMaxCount);
    server.set_keep_alive_timeout(keepAliveTimeoutSeconds);
    server.Get("/", [this](const httplib::Request &request, httplib::Response &response) {
        serve(request, response);
    });

    if (m_port == 0) {
        const int bound = server.bind_to_any_port(m_hostBytes);
        if (bound <= 0)
            return nullptr;
        m_port = quint16(bound);
    } else if (!server.bind_to_port(m_hostBytes, m_port)) {
        return nullptr;
    }
    Listener *const opened = listener.get();
    listener->thread = std::thread([opened] {
        opened->server.listen_after_bind();
        opened->finished = true;
    });
    // httplib's stop() does nothing before the accept loop runs, and a refusal may follow at
    // once (a start-up fault), so the listener only counts as open once the loop runs.
    while (!server.is_running() && !listener->finished)
        std::this_thread::sleep_for(1ms);
    return listener;
}

void UnitServer::closeListener(int keepOpen)
{
    m_listener->server.stop();
    ++m_generation;
    m_listener->server.closeConnections(keepOpen);
    m_retired = std::move(m_listener);
}

void UnitServer::supervise()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    bool warned = false;
    for (;;) {
        if (m_retired) {
            // Joined unlocked: the listener's connections may still be answering requests,
            // and an answer can start another refusal, which takes the mutex.
            std::unique_ptr<Listener> retired = std::move(m_retired);
            lock.unlock();
            retired->thread.join();
            retired.reset();
            lock.lock();
        } else if (m_stopping) {
            return;
        } else if (m_listener) {
            m_wake.wait(lock);
        } else if (Clock::now() < m_reopenAt) {
            m_wake.wait_until(lock, m_reopenAt);
        } else if ((m_listener = openListener())) {
            warned = false;
        } else {
            if (!warned)
                qWarning().noquote()
                    << "cannot listen again on" << m_host << "port" << m_port << "- retrying";
            warned = true;
            m_wake.wait_for(lock, reopenRetryInterval);
        }
    }
}
