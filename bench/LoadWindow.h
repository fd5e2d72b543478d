#pragma once

#include <QJsonObject>

class TrafficRecorder;

// One measuring window of a polling client: this process's CPU time and resident memory at its
// start and end, and what the recorder counted in between.
class LoadWindow
{
public:
    explicit LoadWindow(TrafficRecorder *recorder) : m_recorder(recorder) {}

    void begin();
    // requests, requestsPerSecond, errors, cpuPerRequestUs, coreSharePercent, latencyP50Ms,
    // latencyP99Ms, rssStartKiB, rssEndKiB, maxPending, sent ({address: {command: n}}).
    QJsonObject end() const;

private:
    TrafficRecorder *m_recorder;
    double m_cpuAtStart = 0;
    qint64 m_rssAtStart = 0;
};
