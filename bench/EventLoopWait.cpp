#include "EventLoopWait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "ProcessUsage.h"

namespace EventLoopWait {

void forMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

Spent measuredForMs(int ms)
{
    const double cpuAtStart = ProcessUsage::cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    forMs(ms);
    return {wall.nsecsElapsed() / 1e9, ProcessUsage::cpuSeconds() - cpuAtStart};
}

bool until(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

} // namespace EventLoopWait
