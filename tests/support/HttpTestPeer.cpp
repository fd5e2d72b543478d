#include "support/HttpTestPeer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int chunkBytes = 64 * 1024;
// The endless body writes a new chunk only while less than this waits in the socket, so it goes
// exactly as fast as the client reads.
constexpr qint64 endlessBacklogBytes = 4 * chunkBytes;

} // namespace

HttpTestPeer::HttpTestPeer(QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_turn(new QTimer(this))
{
    m_turn->setSingleShot(true);
    m_turn->setTimerType(Qt::PreciseTimer);
    connect(m_turn, &QTimer::timeout, this, &HttpTestPeer::serveNext);
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequests(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool HttpTestPeer::listen(const QString &host)
{
    return m_server->listen(QHostAddress(host), 0);
}

QString HttpTestPeer::address() const
{
    return m_server->serverAddress().toString() + QLatin1Char(':') +
           QString::number(m_server->serverPort());
}

void HttpTestPeer::setHolding(bool holding)
{
    m_holding = holding;
    while (!m_holding && release()) {
    }
}

bool HttpTestPeer::release(const QString &command)
{
    for (int i = 0; i < m_held.size(); ++i) {
        if (command.isEmpty() || m_held.at(i).command == command) {
            const Held held = m_held.takeAt(i);
            answer(held.socket, m_answering(held.command));
            return true;
        }
    }
    return false;
}

bool HttpTestPeer::fail(const QString &command, int status)
{
    for (int i = 0; i < m_held.size(); ++i) {
        if (m_held.at(i).command == command) {
            answer(m_held.takeAt(i).socket, Answer{status, QByteArray(), Delivery::WithLength});
            return true;
        }
    }
    return false;
}

void HttpTestPeer::readRequests(QTcpSocket *socket)
{
    // Requests on one connection come one after the other: the client sends the next only
    // after the answer to the last, so each read holds whole request heads.
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    int end;
    while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QByteArray target = head.split('\n').value(0).split(' ').value(1);
        const int query = target.indexOf('?');
        const QString command =
            query < 0 ? QString()
                      : QString::fromUtf8(QByteArray::fromPercentEncoding(target.mid(query + 1)));
        m_received << command;
        if (m_silenced.removeOne(command))
            continue;
        if (m_holding)
            m_held << Held{socket, command};
        else if (m_serviceMs > 0)
            m_waiting << Held{socket, command};
        else
            answer(socket, m_answering(command));
    }
    socket->setProperty("buffer", buffer);
    if (!m_waiting.isEmpty() && !m_turn->isActive())
        m_turn->start(m_serviceMs);
}

void HttpTestPeer::serveNext()
{
    const Held next = m_waiting.takeFirst();
    answer(next.socket, m_answering(next.command));
    if (!m_waiting.isEmpty())
        m_turn->start(m_serviceMs);
}

void HttpTestPeer::answer(QTcpSocket *socket, const Answer &answer)
{
    if (!socket)
        return; // the client gave up on the request
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                      (answer.status == 200 ? "OK" : "Error") +
                      "\r\nContent-Type: application/json\r\n";
    switch (answer.delivery) {
    case Delivery::WithLength:
        socket->write(head + "Content-Length: " + QByteArray::number(answer.body.size()) +
                      "\r\n\r\n" + answer.body);
        break;
    case Delivery::Burst:
        socket->write(head + "Connection: close\r\n\r\n" + answer.body);
        socket->disconnectFromHost();
        break;
    case Delivery::AnnouncedOnly:
        socket->write(head + "Content-Length: " + QByteArray::number(answer.body.size()) +
                      "\r\n\r\n" + answer.body.left(16));
        break;
    case Delivery::Trickle:
        socket->write(head + "Content-Length: " + QByteArray::number(answer.body.size()) +
                      "\r\n\r\n");
        writeTrickle(socket, answer.body, answer.trickleMs);
        break;
    case Delivery::Chunked:
    case Delivery::Endless:
        socket->write(head + "Transfer-Encoding: chunked\r\n\r\n");
        writeChunks(socket, answer.body, answer.delivery == Delivery::Endless);
        break;
    }
}

void HttpTestPeer::writeChunks(QTcpSocket *socket, QByteArray body, bool endless)
{
    // Each chunk goes out once the one before has been written, so the client receives the body
    // in many pieces whatever the speed of the machine.
    QPointer<QTcpSocket> guarded(socket);
    auto *writer = new QObject(socket);
    auto writeNext = [guarded, writer, body, endless]() mutable {
        if (!guarded || guarded->bytesToWrite() > (endless ? endlessBacklogBytes : 0))
            return;
        if (body.isEmpty() && !endless) {
            guarded->write("0\r\n\r\n");
            delete writer;
            return;
        }
        const QByteArray piece = endless ? QByteArray(chunkBytes, ' ') : body.left(chunkBytes);
        if (!endless)
            body.remove(0, piece.size());
        guarded->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
    };
    connect(socket, &QTcpSocket::bytesWritten, writer, writeNext);
    writeNext();
}

void HttpTestPeer::writeTrickle(QTcpSocket *socket, const QByteArray &body, int everyMs)
{
    auto *timer = new QTimer(socket); // ends with the connection
    connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent = 0]() mutable {
        socket->write(body.mid(sent++, 1));
        if (sent >= body.size())
            delete timer;
    });
    timer->start(everyMs);
}

HttpTestPeer::Answer HttpTestPeer::defaultAnswer(const QString &command)
{
    if (command == QLatin1String("CMD_PSTS"))
        return {200, R"({"sys":{"id":7,"name":"Peer"},"adc":{},"channels":[]})"};
    if (command == QLatin1String("CMD_METR"))
        return {200, R"({"meter":{"1":3}})"};
    return {200, R"({"channels":[{"no":1}]})"};
}

QByteArray HttpTestPeer::meterDocumentOfSize(qint64 size)
{
    const QByteArray open = R"({"meter":{"1":3},"pad":")";
    const QByteArray close = R"("})";
    return open + QByteArray(int(size - open.size() - close.size()), 'x') + close;
}
