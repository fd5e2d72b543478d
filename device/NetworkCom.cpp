#include "device/NetworkCom.h"

#include <QDebug>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include "device/ReplyDocument.h"
#include "device/UnitAddress.h"
#include "device/Logging.h"

namespace {

// The error text of a reply the transport itself has ended.
const char abortedProperty[] = "octoAborted";

QString oversizedErrorText()
{
    return QStringLiteral("Reply larger than %1 bytes aborted").arg(NetworkCom::maxReplyBytes);
}

QString deadlineErrorText()
{
    return QStringLiteral("Request timed out: not finished %1 ms after it was sent, aborted")
        .arg(NetworkCom::requestDeadlineMs);
}

QString queueFullErrorText()
{
    return QStringLiteral("More than %1 commands waiting, command dropped")
        .arg(RequestQueue::maxWaitingCommands);
}

// A slot without a unit: the unset address, and an empty address, which a saved state with fewer
// address lines than units in use leaves behind.
bool isUnsetAddress(const QString &ip)
{
    return UnitAddress::isUnset(ip);
}

QString abortedError(const QNetworkReply *reply)
{
    return reply->property(abortedProperty).toString();
}

// What the toolkit may read from a unit's socket before the controller takes it.
constexpr qint64 readAheadBytes = 64 * 1024;

// Appends what the reply holds to body, never more than one byte over the cap; false when the
// body has gone over it.
bool readCapped(QNetworkReply *reply, QByteArray &body)
{
    // Only what has arrived: asking for the whole room at once would set aside a buffer of the
    // cap for every reply, a few hundred bytes long as most are.
    const qint64 room = NetworkCom::maxReplyBytes + 1 - body.size();
    const qint64 available = qMin(reply->bytesAvailable(), room);
    if (available > 0)
        body += reply->read(available);
    return body.size() <= NetworkCom::maxReplyBytes;
}

} // namespace

NetworkCom::NetworkCom(QObject *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager), m_deadline(new QTimer(this))
{
    connect(m_manager, SIGNAL(finished(QNetworkReply *)), this,
            SLOT(dataReceived(QNetworkReply *)));
    connect(this, SIGNAL(replyError(QString, QString)), this,
            SLOT(errorReceived(QString, QString)));
    m_clock.start();
    m_deadline->setSingleShot(true);
    m_deadline->setTimerType(Qt::PreciseTimer);
    connect(m_deadline, &QTimer::timeout, this, &NetworkCom::abortLateRequests);
}

NetworkCom::~NetworkCom()
{
    delete m_manager;
}

QUrl NetworkCom::requestUrl(const QString &ip, const QString &cmd)
{
    return QUrl(QStringLiteral("http://") + ip + QStringLiteral("/?") + cmd, QUrl::TolerantMode);
}

QString NetworkCom::replyAddress(const QUrl &url)
{
    const QString host = url.host(QUrl::FullyDecoded);
    return url.port() < 0 ? host : host + QLatin1Char(':') + QString::number(url.port());
}

void NetworkCom::command(const QString &ip, const QString &cmd)
{
    m_currentAddress = ip;
    if (isUnsetAddress(m_currentAddress)) {
        qCDebug(lcTransport) << "Invalid IP Address";
        return;
    }
    switch (m_units[ip].add(cmd)) {
    case RequestQueue::Admission::Queued:
        dispatch(ip);
        break;
    case RequestQueue::Admission::Merged:
        ++m_mergedPolls;
        break;
    case RequestQueue::Admission::Replaced:
        ++m_mergedCommands;
        break;
    case RequestQueue::Admission::Full: {
        const QString host = replyAddress(requestUrl(ip, cmd));
        qCDebug(lcTransport).noquote()
            << queueFullErrorText() + QLatin1Char(':') << cmd << "for" << host;
        emit commandDropped(cmd, host);
        break;
    }
    }
}

void NetworkCom::dispatch(const QString &ip)
{
    const auto unit = m_units.find(ip);
    if (unit == m_units.end())
        return;
    while (const auto next = unit->takeNext())
        send(ip, *next);
    if (unit->isIdle())
        m_units.erase(unit);
}

void NetworkCom::send(const QString &ip, const RequestQueue::Request &request)
{
    QNetworkRequest httpRequest(requestUrl(ip, request.command));
    httpRequest.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = m_manager->get(httpRequest);
    // The body is taken out of the reply as it arrives and counted, so the cap holds however it
    // comes: in one piece, in chunks, or without end (which would keep resetting the transfer
    // timeout). The toolkit reads ahead at most readAheadBytes, so an endless body never piles
    // up in its buffers either.
    reply->setReadBufferSize(readAheadBytes);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxReplyBytes)
            abortReply(reply, oversizedErrorText());
    });
    connect(reply, &QIODevice::readyRead, this, [this, reply] {
        const auto sent = m_sent.find(reply);
        if (sent == m_sent.end() || !readCapped(reply, sent->body))
            abortReply(reply, oversizedErrorText());
    });
    const qint64 deadline = m_clock.elapsed() + requestDeadlineMs;
    m_sent.insert(reply, Sent{ip, request.lane, deadline, QByteArray()});
    // Every later request's deadline is later: the timer only ever waits for the oldest one.
    if (!m_deadline->isActive())
        m_deadline->start(requestDeadlineMs);
    ++m_pending[ip];
    connect(reply, &QObject::destroyed, this, [this, ip] { releasePending(ip); });
}

int NetworkCom::pendingRequests(const QString &ip) const
{
    const auto unit = m_units.constFind(ip);
    return m_pending.value(ip) + (unit == m_units.cend() ? 0 : unit->waiting());
}

int NetworkCom::pendingRequests() const
{
    int total = 0;
    for (int count : m_pending)
        total += count;
    for (const RequestQueue &unit : m_units)
        total += unit.waiting();
    return total;
}

void NetworkCom::releasePending(const QString &ip)
{
    const auto entry = m_pending.find(ip);
    if (entry != m_pending.end() && --entry.value() <= 0)
        m_pending.erase(entry);
}

// The transfer timeout counts only silence: an answer that trickles in keeps resetting it. So
// the requests past their deadline are ended here, and the timer waits for the next deadline.
void NetworkCom::abortLateRequests()
{
    const qint64 now = m_clock.elapsed();
    QList<QNetworkReply *> late;
    qint64 next = -1;
    for (auto sent = m_sent.cbegin(); sent != m_sent.cend(); ++sent) {
        if (sent->deadline <= now)
            late << sent.key();
        else if (next < 0 || sent->deadline < next)
            next = sent->deadline;
    }
    // Collected first: aborting finishes a reply at once, which takes it out of m_sent.
    for (QNetworkReply *reply : qAsConst(late))
        abortReply(reply, deadlineErrorText());
    if (next >= 0)
        m_deadline->start(int(next - now));
}

void NetworkCom::abortReply(QNetworkReply *reply, const QString &error)
{
    if (!abortedError(reply).isEmpty() || reply->isFinished())
        return;
    reply->setProperty(abortedProperty, error);
    reply->abort(); // finishes the reply, which reports it as an error
}

void NetworkCom::dataReceived(QNetworkReply *reply)
{
    const QString host = replyAddress(reply->url());
    const auto sent = m_sent.find(reply);
    const bool tracked = sent != m_sent.end();
    Sent request = tracked ? *sent : Sent{};
    if (tracked)
        m_sent.erase(sent);
    // The rest of the body is read under the same cap: a body that came in one piece together
    // with the end of the reply has not been counted on its way.
    const QString aborted = abortedError(reply);
    const bool failed = reply->error() != QNetworkReply::NoError || !aborted.isEmpty() ||
                        !readCapped(reply, request.body);
    QJsonObject document;
    if (!failed)
        document = QJsonDocument::fromJson(request.body).object();

    // The lane is free again before any signal, as the receivers may issue commands to the same
    // unit.
    if (tracked) {
        m_units[request.ip].release(request.lane);
        dispatch(request.ip);
    }

    if (failed) {
        qCDebug(lcTransport) << "Error Occurred on IP:" << host;
        const QString error = !aborted.isEmpty()                         ? aborted
                              : reply->error() == QNetworkReply::NoError ? oversizedErrorText()
                                                                         : reply->errorString();
        emit replyError(error, host);
    } else {
        emitDocument(document, host);
    }
    if (tracked)
        emit requestEnded(request.ip);
    reply->deleteLater();
}

void NetworkCom::emitDocument(const QJsonObject &document, const QString &ip)
{
    switch (ReplyDocument::classify(document)) {
    case ReplyDocument::Kind::Meter:
        emit meterUpdate(document, ip);
        break;
    case ReplyDocument::Kind::Status:
        emit statusUpdate(document, ip);
        break;
    case ReplyDocument::Kind::Converter:
        emit adcUpdate(document, ip);
        break;
    case ReplyDocument::Kind::Mixer:
        emit mixerUpdate(document, ip);
        break;
    case ReplyDocument::Kind::Channel:
        emit channelUpdate(document, ip);
        break;
    case ReplyDocument::Kind::Unknown:
        break;
    }
}

void NetworkCom::errorReceived(const QString &error, const QString &ip)
{
    qCDebug(lcTransport) << error << "on" << ip;
}
