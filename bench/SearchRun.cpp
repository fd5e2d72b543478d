#include "SearchRun.h"

#include <QElapsedTimer>
#include <QJsonArray>

#include <algorithm>

#include "EventLoopWait.h"
#include "support/SimulatorProcess.h"
#include "system/UnitScanner.h"

namespace {

const QString network = QStringLiteral("127.0.52.");
// Every address of a search is asked on one port, so the units listen on a fixed one.
const QString port = QStringLiteral(":18052");
constexpr int searchTimeoutMs = 60000;

} // namespace

namespace SearchRun {

QJsonObject run(int runs)
{
    SimulatorProcess sim;
    if (!sim.start({network + "10" + port, network + "100" + port, network + "200" + port}))
        return QJsonObject{{"error", sim.errorString()}};

    QJsonArray times;
    QList<double> sorted;
    UnitScanner scanner;
    for (int k = 0; k < runs; ++k) {
        QElapsedTimer clock;
        clock.start();
        const QString refused = scanner.start(network + "0/24" + port, {});
        if (!refused.isEmpty())
            return QJsonObject{{"error", refused}};
        if (!EventLoopWait::until([&] { return !scanner.isRunning(); }, searchTimeoutMs))
            return QJsonObject{{"error", "the search did not end"}};
        const double ms = clock.nsecsElapsed() / 1e6;
        times.append(ms);
        sorted << ms;
        // The transport of the search ends with the next turn of the event loop.
        EventLoopWait::forMs(100);
    }
    std::sort(sorted.begin(), sorted.end());
    const int n = sorted.size();
    const double median = n % 2 ? sorted.at(n / 2) : (sorted.at(n / 2 - 1) + sorted.at(n / 2)) / 2;
    return QJsonObject{{"mode", "search"},         {"runs", runs},
                       {"searchMs", times},        {"medianMs", median},
                       {"minMs", sorted.first()},  {"maxMs", sorted.last()},
                       {"found", scanner.found()}, {"tried", scanner.tried()}};
}

} // namespace SearchRun
