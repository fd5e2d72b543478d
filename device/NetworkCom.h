#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

// The one transport between the twelve unit models and their units. command() turns
// (address, command text) into an HTTP GET; every finished reply becomes exactly one of
// replyError or a document signal chosen by the reply's top-level keys, carrying the address of
// the unit that answered. Replies are not paired with requests: the address is how a report
// finds its model, so every model receives every signal and keeps its own.
//
// Ownership: the request manager is created by the constructor and deleted by the destructor.
// Reply objects are not stored; each is handed back for deferred deletion after its signal.
// Only their number per address is kept, so a backlog towards a unit that stops answering, or a
// reply that is never released, can be seen from outside.
class NetworkCom : public QObject
{
    Q_OBJECT

public:
    // A unit that stops answering must not make requests pile up without bound.
    static constexpr int transferTimeoutMs = 1500;
    // The controller never buffers more than this for one reply.
    static constexpr qint64 maxReplyBytes = 1024 * 1024;

    explicit NetworkCom(QObject *parent = nullptr);
    ~NetworkCom() override;

    // "http://" + address + "/?" + command, parsed leniently; a "#" ends the query.
    static QUrl requestUrl(const QString &ip, const QString &cmd);
    // The address a reply is reported under: the URL's host, followed by ":port" when the URL
    // names a port, so a unit addressed as host:port recognises its own answers.
    static QString replyAddress(const QUrl &url);

    // Requests sent to this address (as passed to command()) whose reply objects still exist:
    // queued, on the wire, or finished and waiting for their deferred deletion.
    int pendingRequests(const QString &ip) const { return m_pending.value(ip); }
    // The same over all addresses.
    int pendingRequests() const;

signals:
    void replyError(const QString &error, const QString &ip);
    void channelUpdate(const QJsonObject &doc, const QString &ip);
    void meterUpdate(const QJsonObject &doc, const QString &ip);
    void statusUpdate(const QJsonObject &doc, const QString &ip);
    void mixerUpdate(const QJsonObject &doc, const QString &ip);
    void adcUpdate(const QJsonObject &doc, const QString &ip);

public slots:
    void errorReceived(const QString &error, const QString &ip);
    void dataReceived(QNetworkReply *reply);
    void command(const QString &ip, const QString &cmd);

private:
    void abortIfOversized(QNetworkReply *reply, qint64 received, qint64 total);
    void emitDocument(const QJsonObject &document, const QString &ip);
    void releasePending(const QString &ip);

    QNetworkAccessManager *m_manager;
    QString m_currentAddress;
    QHash<QString, int> m_pending;
};
