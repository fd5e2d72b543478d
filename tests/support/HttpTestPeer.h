#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

// A small HTTP server on a loopback address for the transport suites. It records the command
// text of every request in the order requests arrive and answers each as the test says, the
// body sent in the way the test chooses: so what the controller does with a body that comes in
// one burst, in chunks, without end or a byte at a time, or with a request that is never
// answered, does not depend on timing or on how the kernel happens to split data. It can also
// work as a slow unit does, on one request at a time, each taking a service time.
//
// Runs in the test's thread: requests are taken and answered while the test spins the event
// loop (QTRY_*, QSignalSpy::wait). Ownership: the server and its sockets are children.
class HttpTestPeer : public QObject
{
    Q_OBJECT

public:
    enum class Delivery
    {
        WithLength,    // Content-Length and the body in one write; the connection stays open
        Burst,         // no length: headers and body in one write, then the connection closes
        Chunked,       // chunked encoding, 64 KiB a chunk, each written once the last is out
        Endless,       // chunked encoding, chunks written until the client hangs up
        AnnouncedOnly, // Content-Length of the body, and then the body never comes
        Trickle,       // Content-Length of the body, then one byte of it every trickleMs
    };
    struct Answer
    {
        int status = 200;
        QByteArray body;
        Delivery delivery = Delivery::WithLength;
        int trickleMs = 400;
    };
    using Answering = std::function<Answer(const QString &command)>;

    explicit HttpTestPeer(QObject *parent = nullptr);

    // Listens on host with a free port.
    bool listen(const QString &host);
    // "host:port", as the controller addresses a unit.
    QString address() const;

    // How requests are answered; by default defaultAnswer(), with its length.
    void setAnswering(Answering answering) { m_answering = std::move(answering); }
    // While holding, requests are recorded but not answered until released.
    void setHolding(bool holding);
    int held() const { return m_held.size(); }
    // Answers the oldest held request whose command is command (any, when empty).
    bool release(const QString &command = QString());
    // Answers the held request with this command with an HTTP status and no body.
    bool fail(const QString &command, int status);
    // While not holding: requests are answered one at a time over all connections, in arrival
    // order, each serviceMs after its turn began (0: each at once).
    void setServiceMs(int serviceMs) { m_serviceMs = serviceMs; }
    // The next request received with this command is never answered; it takes no turn.
    void silenceNext(const QString &command) { m_silenced << command; }

    QStringList received() const { return m_received; }

    // A JSON document of exactly size bytes that the transport sorts as a meter report.
    static QByteArray meterDocumentOfSize(qint64 size);
    // What a request gets by default: a status, meter or channel document that fits it.
    static Answer defaultAnswer(const QString &command);

private:
    struct Held
    {
        QPointer<QTcpSocket> socket; // null once the client has hung up
        QString command;
    };

    void readRequests(QTcpSocket *socket);
    void serveNext();
    void answer(QTcpSocket *socket, const Answer &answer);
    void writeChunks(QTcpSocket *socket, QByteArray body, bool endless);
    void writeTrickle(QTcpSocket *socket, const QByteArray &body, int everyMs);

    QTcpServer *m_server;
    Answering m_answering = &HttpTestPeer::defaultAnswer;
    bool m_holding = false;
    QList<Held> m_held;
    QStringList m_received;
    int m_serviceMs = 0;
    QStringList m_silenced;
    QList<Held> m_waiting; // for their turn
    QTimer *m_turn;
};

Q_DECLARE_METATYPE(HttpTestPeer::Delivery)
