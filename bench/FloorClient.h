#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class TrafficRecorder;

// The least any client built on the toolkit's HTTP class pays for a request mix: one timer per
// address and command issues a GET at the given interval, and each reply's body is read and
// thrown away. No parsing, no models: what the controller costs on top of this is its own.
//
// Ownership: the request manager and the timers are children of this object; the recorder
// belongs to the caller and must outlive it.
class FloorClient : public QObject
{
    Q_OBJECT

public:
    struct Poll
    {
        QString address;
        QString command;
        double intervalMs;
    };

    FloorClient(const QList<Poll> &polls, TrafficRecorder *recorder, QObject *parent = nullptr);

    void start();
    void stop();
    // Requests whose replies have not finished yet.
    int pending() const { return m_pending; }

private:
    void send(const Poll &poll);
    void finish(QNetworkReply *reply, const Poll &poll);

    QList<Poll> m_polls;
    QList<QTimer *> m_timers;
    QNetworkAccessManager *m_manager;
    TrafficRecorder *m_recorder;
    int m_pending = 0;
};
