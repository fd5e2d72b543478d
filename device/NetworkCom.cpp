#include "device/NetworkCom.h"

#include <QDebug>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include "device/ReplyDocument.h"

namespace {

const QString unsetAddress = QStringLiteral("0.0.0.0");
const char oversizedProperty[] = "octoOversized";

QString oversizedErrorText()
{
    return QStringLiteral("Reply larger than %1 bytes aborted").arg(NetworkCom::maxReplyBytes);
}

} // namespace

NetworkCom::NetworkCom(QObject *parent) : QObject(parent), m_manager(new QNetworkAccessManager)
{
    connect(m_manager, SIGNAL(finished(QNetworkReply *)), this,
            SLOT(dataReceived(QNetworkReply *)));
    connect(this, SIGNAL(replyError(QString, QString)), this,
            SLOT(errorReceived(QString, QString)));
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
    const QUrl url = requestUrl(m_currentAddress, cmd);
    if (m_currentAddress == unsetAddress) {
        qDebug() << "Invalid IP Address";
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = m_manager->get(request);
    connect(
        reply, &QNetworkReply::downloadProgress, this,
        [this, reply](qint64 received, qint64 total) { abortIfOversized(reply, received, total); });
    ++m_pending[ip];
    connect(reply, &QObject::destroyed, this, [this, ip] { releasePending(ip); });
}

int NetworkCom::pendingRequests() const
{
    int total = 0;
    for (int count : m_pending)
        total += count;
    return total;
}

void NetworkCom::releasePending(const QString &ip)
{
    const auto entry = m_pending.find(ip);
    if (entry != m_pending.end() && --entry.value() <= 0)
        m_pending.erase(entry);
}

void NetworkCom::abortIfOversized(QNetworkReply *reply, qint64 received, qint64 total)
{
    if (received <= maxReplyBytes && total <= maxReplyBytes)
        return;
    if (reply->property(oversizedProperty).toBool() || reply->isFinished())
        return;
    reply->setProperty(oversizedProperty, true);
    reply->abort(); // finishes the reply, which reports it as an error
}

void NetworkCom::dataReceived(QNetworkReply *reply)
{
    const QString host = replyAddress(reply->url());
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << "Error Occurred on IP:" << host;
        const bool oversized = reply->property(oversizedProperty).toBool();
        emit replyError(oversized ? oversizedErrorText() : reply->errorString(), host);
    } else {
        const QJsonObject document = QJsonDocument::fromJson(reply->readAll()).object();
        emitDocument(document, host);
    }
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
    qDebug() << error << "on" << ip;
}
