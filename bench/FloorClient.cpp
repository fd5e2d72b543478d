#include "FloorClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cmath>

#include "TrafficRecorder.h"

FloorClient::FloorClient(const QList<Poll> &polls, TrafficRecorder *recorder, QObject *parent)
    : QObject(parent), m_polls(polls), m_manager(new QNetworkAccessManager(this)),
      m_recorder(recorder)
{
    for (const Poll &poll : qAsConst(m_polls)) {
        auto *timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(int(std::lround(poll.intervalMs)));
        connect(timer, &QTimer::timeout, this, [this, poll] { send(poll); });
        m_timers.append(timer);
    }
}

void FloorClient::start()
{
    for (QTimer *timer : qAsConst(m_timers))
        timer->start();
}

void FloorClient::stop()
{
    for (QTimer *timer : qAsConst(m_timers))
        timer->stop();
}

void FloorClient::send(const Poll &poll)
{
    const QUrl url(QStringLiteral("http://") + poll.address + QStringLiteral("/?") + poll.command);
    QNetworkReply *reply = m_manager->get(QNetworkRequest(url));
    ++m_pending;
    m_recorder->requestSent(poll.address, poll.command);
    m_recorder->notePending(poll.address, m_pending);
    connect(reply, &QNetworkReply::finished, this, [this, reply, poll] { finish(reply, poll); });
}

void FloorClient::finish(QNetworkReply *reply, const Poll &poll)
{
    --m_pending;
    if (reply->error() == QNetworkReply::NoError) {
        reply->readAll();
        m_recorder->replyReceived(poll.address, poll.command);
    } else {
        m_recorder->errorReceived(poll.address);
    }
    reply->deleteLater();
}
