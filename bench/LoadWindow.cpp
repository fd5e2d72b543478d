#include "LoadWindow.h"

#include "ProcessUsage.h"
#include "TrafficRecorder.h"

void LoadWindow::begin()
{
    m_recorder->restartWindow();
    m_rssAtStart = ProcessUsage::residentKiB();
    m_cpuAtStart = ProcessUsage::cpuSeconds();
}

QJsonObject LoadWindow::end() const
{
    const double cpu = ProcessUsage::cpuSeconds() - m_cpuAtStart;
    const double seconds = m_recorder->windowSeconds();
    const qint64 requests = m_recorder->completed();
    return QJsonObject{
        {"seconds", seconds},
        {"requests", double(requests)},
        {"requestsPerSecond", requests / seconds},
        {"errors", double(m_recorder->errors())},
        {"cpuPerRequestUs", requests > 0 ? cpu / requests * 1e6 : 0.0},
        {"coreSharePercent", cpu / seconds * 100},
        {"latencyP50Ms", m_recorder->latencyMs(0.50)},
        {"latencyP99Ms", m_recorder->latencyMs(0.99)},
        {"rssStartKiB", double(m_rssAtStart)},
        {"rssEndKiB", double(ProcessUsage::residentKiB())},
        {"maxPending", m_recorder->maxPending()},
        {"sent", m_recorder->sentCommands()},
    };
}
