#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <deque>

// Counts what a client sends and gets back per unit address within a measuring window, the
// time from each request to its reply, and the largest number of requests seen outstanding
// towards one address.
//
// A reply is paired with the oldest open request of the same address and command, the order in
// which one connection finishes them; across parallel connections two replies of one kind may
// swap, which leaves the percentiles unchanged. A failed request closes the oldest open request
// of its address.
class TrafficRecorder
{
public:
    // Latency samples are kept only when asked for: a long run would otherwise grow this
    // process's own memory, which is being measured too.
    explicit TrafficRecorder(bool keepLatencies);

    void requestSent(const QString &address, const QString &command);
    void replyReceived(const QString &address, const QString &command);
    void errorReceived(const QString &address);
    void notePending(const QString &address, int pending);

    // Starts a new window: counts, samples and maxima so far are dropped; open requests stay.
    void restartWindow();
    double windowSeconds() const { return m_window.nsecsElapsed() / 1e9; }

    qint64 completed() const { return m_completed; }
    qint64 errors() const { return m_errors; }
    int completedBy(const QString &address) const { return m_completedBy.value(address); }
    // {address: {command: requests sent}} within the window.
    QJsonObject sentCommands() const;
    // p in 0..1; 0 without samples.
    double latencyMs(double p) const;
    int maxPending(const QString &address) const { return m_maxPending.value(address); }
    int maxPending() const;
    // Requests sent (in any window) that have neither a reply nor an error yet.
    int openRequests() const;

private:
    using OpenRequests = QHash<QString, std::deque<qint64>>; // command -> send times

    bool m_keepLatencies;
    QElapsedTimer m_clock;
    QElapsedTimer m_window;
    QHash<QString, OpenRequests> m_open;
    QHash<QString, QHash<QString, int>> m_sent;
    QHash<QString, int> m_completedBy;
    QHash<QString, int> m_maxPending;
    QVector<float> m_latenciesMs;
    qint64 m_completed = 0;
    qint64 m_errors = 0;
};
