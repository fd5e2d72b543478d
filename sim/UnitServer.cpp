#include "sim/UnitServer.h"

#include <QByteArray>
#include <QDebug>

#include <algorithm>
#include <csignal>

#include <poll.h>
#include <sys/socket.h>

#include "sim/UnitHttpServer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How often a held or delayed request looks whether it may answer or has to give up.
constexpr auto pollInterval = 10ms;
// A request held by a silent unit is dropped after this long, so held requests cannot exhaust
// the thread pool. A dropped request's client receives a response head announcing a body that
// never comes, then the connection closes: every HTTP client reports that as an error (httplib:
// Error::Read; Qt: RemoteHostClosedError).
constexpr auto maxHold = 4s;
constexpr auto reopenRetryInterval = 100ms;

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
    refuse(std::chrono::milliseconds(result->refuseMs), UnitHttpServer::currentConnection());
    response.set_content(result->body.constData(), size_t(result->body.size()),
                         result->contentType.toStdString());
}

// The unit's answer once silence and delay are over; nothing when the request is dropped
// because it was held too long or the listener closed meanwhile.
std::optional<SimulatedUnit::Result> UnitServer::answerFor(const QString &command, int generation)
{
    SimulatedUnit::Result result = m_unit->handle(command);
    const auto giveUpAt = Clock::now() + maxHold;
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
    const auto giveUpAt = Clock::now() + maxHold;
    const socket_t connection = UnitHttpServer::currentConnection();
    while (Clock::now() < giveUpAt && m_generation == generation) {
        pollfd readable{connection, POLLIN, 0};
        if (::poll(&readable, 1, int(pollInterval.count())) <= 0)
            continue;
        char byte = 0;
        if (::recv(connection, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0)
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
