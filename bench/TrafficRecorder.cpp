#include "TrafficRecorder.h"

#include <algorithm>
#include <cmath>

TrafficRecorder::TrafficRecorder(bool keepLatencies) : m_keepLatencies(keepLatencies)
{
    m_clock.start();
    m_window.start();
}

void TrafficRecorder::requestSent(const QString &address, const QString &command)
{
    m_open[address][command].push_back(m_clock.nsecsElapsed());
    ++m_sent[address][command];
}

void TrafficRecorder::replyReceived(const QString &address, const QString &command)
{
    ++m_completed;
    ++m_completedBy[address];
    std::deque<qint64> &open = m_open[address][command];
    if (open.empty())
        return;
    if (m_keepLatencies)
        m_latenciesMs.append(float((m_clock.nsecsElapsed() - open.front()) / 1e6));
    open.pop_front();
}

void TrafficRecorder::errorReceived(const QString &address)
{
    ++m_completed;
    ++m_errors;
    std::deque<qint64> *oldest = nullptr;
    for (std::deque<qint64> &open : m_open[address]) {
        if (!open.empty() && (!oldest || open.front() < oldest->front()))
            oldest = &open;
    }
    if (oldest)
        oldest->pop_front();
}

void TrafficRecorder::notePending(const QString &address, int pending)
{
    int &largest = m_maxPending[address];
    largest = std::max(largest, pending);
}

void TrafficRecorder::restartWindow()
{
    m_sent.clear();
    m_completedBy.clear();
    m_maxPending.clear();
    m_latenciesMs.clear();
    m_completed = 0;
    m_errors = 0;
    m_window.restart();
}

QJsonObject TrafficRecorder::sentCommands() const
{
    QJsonObject byAddress;
    for (auto unit = m_sent.cbegin(); unit != m_sent.cend(); ++unit) {
        QJsonObject counts;
        for (auto command = unit->cbegin(); command != unit->cend(); ++command)
            counts.insert(command.key(), command.value());
        byAddress.insert(unit.key(), counts);
    }
    return byAddress;
}

double TrafficRecorder::latencyMs(double p) const
{
    if (m_latenciesMs.isEmpty())
        return 0;
    QVector<float> sorted = m_latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    const int rank = int(std::ceil(p * sorted.size())) - 1;
    return sorted.at(std::clamp(rank, 0, int(sorted.size()) - 1));
}

int TrafficRecorder::maxPending() const
{
    int largest = 0;
    for (int pending : m_maxPending)
        largest = std::max(largest, pending);
    return largest;
}

int TrafficRecorder::openRequests() const
{
    int open = 0;
    for (const OpenRequests &unit : m_open) {
        for (const std::deque<qint64> &requests : unit)
            open += int(requests.size());
    }
    return open;
}
