#include "SoakRun.h"

#include <QJsonArray>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "EngineLoad.h"
#include "EventLoopWait.h"
#include "LoadRuns.h"
#include "ProcessUsage.h"
#include "TrafficRecorder.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/SimulatorProcess.h"

namespace {

constexpr int unitCount = 12;
constexpr int onlineTimeoutMs = 10000;

QStringList listenAddresses()
{
    QStringList addresses;
    for (int unit = 1; unit <= unitCount; ++unit)
        addresses << QStringLiteral("127.0.41.%1:0").arg(unit);
    return addresses;
}

struct WindowFigures
{
    qint64 rssKiB = 0;
    int silentUnit = 0;
    int silentMaxPending = 0;
    int othersMaxPending = 0;
    double slowestOtherRate = 0; // relative to nominal
    double fastestOtherRate = 0;
    int errors = 0;
};

WindowFigures figuresOf(const TrafficRecorder &recorder, const QStringList &addresses, int silent)
{
    WindowFigures figures;
    figures.silentUnit = silent + 1;
    figures.rssKiB = ProcessUsage::residentKiB();
    figures.errors = int(recorder.errors());
    figures.slowestOtherRate = 1e9;
    for (int unit = 0; unit < addresses.size(); ++unit) {
        const QString &address = addresses.at(unit);
        if (unit == silent) {
            figures.silentMaxPending = recorder.maxPending(address);
            continue;
        }
        figures.othersMaxPending = std::max(figures.othersMaxPending, recorder.maxPending(address));
        const double rate =
            recorder.completedBy(address) / recorder.windowSeconds() / SoakRun::nominalRate();
        figures.slowestOtherRate = std::min(figures.slowestOtherRate, rate);
        figures.fastestOtherRate = std::max(figures.fastestOtherRate, rate);
    }
    return figures;
}

QJsonObject toJson(const WindowFigures &figures)
{
    return QJsonObject{{"rssKiB", double(figures.rssKiB)},
                       {"silentUnit", figures.silentUnit},
                       {"silentMaxPending", figures.silentMaxPending},
                       {"othersMaxPending", figures.othersMaxPending},
                       {"slowestOtherRate", figures.slowestOtherRate},
                       {"fastestOtherRate", figures.fastestOtherRate},
                       {"errors", figures.errors}};
}

} // namespace

namespace SoakRun {

int pendingBound()
{
    // A reply that has just ended waits for its deferred deletion while the next poll is
    // already on its way.
    return RequestQueue::maxPollsOutstanding + 1;
}

double nominalRate()
{
    return 1000.0 / PreampModel::meterIntervalMs + 1000.0 / PreampModel::awakeStatusIntervalMs;
}

QJsonObject run(const Plan &plan)
{
    SimulatorProcess simulator;
    if (!simulator.start(listenAddresses()))
        return QJsonObject{{"error", simulator.errorString()}};
    const QStringList addresses = simulator.addresses();
    TrafficRecorder recorder(false);
    EngineLoad load(addresses, &recorder);
    if (!load.start(unitCount, onlineTimeoutMs))
        return QJsonObject{{"error", "not every simulated unit came online"}};

    QJsonArray windows;
    for (int window = 0; window < plan.windows; ++window) {
        recorder.restartWindow();
        const int silent = window % unitCount;
        simulator.send(silent, QStringLiteral("SIM_SLNT=%1").arg(plan.silenceMs));
        EventLoopWait::forMs(plan.windowMs);
        windows.append(toJson(figuresOf(recorder, addresses, silent)));
    }
    load.stop();
    EventLoopWait::until([&] { return load.transport()->pendingRequests() == 0; },
                         LoadRuns::drainMs);

    const double warmRss = windows.first().toObject().value("rssKiB").toDouble();
    const double endRss = windows.last().toObject().value("rssKiB").toDouble();
    return QJsonObject{{"mode", "soak"},
                       {"units", unitCount},
                       {"windowSeconds", plan.windowMs / 1000.0},
                       {"silenceSeconds", plan.silenceMs / 1000.0},
                       {"pendingBound", pendingBound()},
                       {"rssGrowthKiB", endRss - warmRss},
                       {"pendingAfterStop", load.transport()->pendingRequests()},
                       {"unansweredAfterStop", recorder.openRequests()},
                       {"windows", windows}};
}

} // namespace SoakRun
