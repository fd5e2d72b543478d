#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include "device/RequestQueue.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QUrl;

// The one transport between the twelve unit models and their units. command() turns
// (address, command text) into an HTTP GET; every finished reply becomes exactly one of
// replyError or a document signal chosen by the reply's top-level keys, carrying the address of
// the unit that answered. Replies are not paired with requests: the address is how a report
// finds its model, so every model receives every signal and keeps its own.
//
// Requests leave per unit through a RequestQueue: commands one at a time in the order issued,
// a newer absolute setting replacing a waiting one for the same setting; polls on a lane of
// their own and merged while one of their kind waits, the status poll leaving at its interval
// whatever the commands do. A request's transfer timeout therefore runs only while the unit has
// it, and a slow unit that works on one request at a time still receives every command of a
// full sync.
//
// Two limits end a request the unit has: transferTimeoutMs of silence, and requestDeadlineMs
// from sending however the answer trickles in, so no unit holds its lane for longer. Both end
// it as a failure (replyError).
//
// A command refused because too many wait for the unit is not a failure of the unit: it is
// logged and reported with commandDropped, and the unit's polls and link state go on as before.
//
// Every request that leaves ends with requestEnded, after that one signal (or none: a document
// of no known kind has no signal of its own), carrying the address as command() was given it.
// So a caller that needs to know when its requests are over, as a search for units does, need
// not recognise every kind of answer.
//
// Ownership: the request manager is created by the constructor and deleted by the destructor;
// the deadline timer is a child.
// Reply objects are not stored beyond their flight; each is handed back for deferred deletion
// after its signal. Their number per address is kept, so a backlog towards a unit that stops
// answering, or a reply that is never released, can be seen from outside.
class NetworkCom : public QObject
{
    Q_OBJECT

public:
    // How long a unit may stay silent on one request, counted from the moment it is sent and
    // again from every piece of the answer.
    static constexpr int transferTimeoutMs = 1500;
    // How long one request may take as a whole, counted from the moment it is sent.
    static constexpr int requestDeadlineMs = 5000;
    // The controller never delivers a larger reply, nor buffers much more than this for one.
    static constexpr qint64 maxReplyBytes = 1024 * 1024;

    explicit NetworkCom(QObject *parent = nullptr);
    ~NetworkCom() override;

    // "http://" + address + "/?" + command, parsed leniently; a "#" ends the query.
    static QUrl requestUrl(const QString &ip, const QString &cmd);
    // The address a reply is reported under: the URL's host, followed by ":port" when the URL
    // names a port, so a unit addressed as host:port recognises its own answers.
    static QString replyAddress(const QUrl &url);

    // Requests for this address (as passed to command()) that wait in the controller or whose
    // reply objects still exist: on the wire, or finished and waiting for deferred deletion.
    int pendingRequests(const QString &ip) const;
    // The same over all addresses.
    int pendingRequests() const;
    // Polls so far merged into a waiting poll of the same kind: issued, but never sent on their
    // own, and answered by the reply to the one they joined.
    quint64 mergedPolls() const { return m_mergedPolls; }
    // Waiting commands so far dropped for a newer one setting the same thing.
    quint64 mergedCommands() const { return m_mergedCommands; }

signals:
    void replyError(const QString &error, const QString &ip);
    void channelUpdate(const QJsonObject &doc, const QString &ip);
    void meterUpdate(const QJsonObject &doc, const QString &ip);
    void statusUpdate(const QJsonObject &doc, const QString &ip);
    void mixerUpdate(const QJsonObject &doc, const QString &ip);
    void adcUpdate(const QJsonObject &doc, const QString &ip);
    void requestEnded(const QString &ip);
    // The command was not taken: RequestQueue::maxWaitingCommands wait for the unit already.
    // ip is the unit's address as its replies carry it.
    void commandDropped(const QString &command, const QString &ip);

public slots:
    void errorReceived(const QString &error, const QString &ip);
    void dataReceived(QNetworkReply *reply);
    void command(const QString &ip, const QString &cmd);

private:
    // A request on the wire, and the part of its body received so far.
    struct Sent
    {
        QString ip;
        RequestQueue::Lane lane = RequestQueue::Lane::Poll;
        qint64 deadline = 0; // on m_clock
        QByteArray body;
    };

    void dispatch(const QString &ip);
    void send(const QString &ip, const RequestQueue::Request &request);
    void abortLateRequests();
    // Ends a reply still running as a failure, reported with this error text.
    void abortReply(QNetworkReply *reply, const QString &error);
    void emitDocument(const QJsonObject &document, const QString &ip);
    void releasePending(const QString &ip);

    QNetworkAccessManager *m_manager;
    QElapsedTimer m_clock;
    QTimer *m_deadline; // the oldest request's deadline
    QString m_currentAddress;
    QHash<QString, RequestQueue> m_units; // only units with requests waiting or on the wire
    QHash<QNetworkReply *, Sent> m_sent;
    QHash<QString, int> m_pending; // reply objects that still exist, per address
    quint64 m_mergedPolls = 0;
    quint64 m_mergedCommands = 0;
};
