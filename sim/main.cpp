// corvane-unit-sim: serves 1 to 12 simulated units on loopback addresses until SIGINT or
// SIGTERM. Exit codes: 0 after a stop signal, 1 when a unit cannot listen, 2 for bad arguments.

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>
#include <unistd.h>

#include "sim/Scenario.h"
#include "sim/SimulatedUnit.h"
#include "sim/SimulatorOptions.h"
#include "sim/UnitServer.h"

namespace {

constexpr int listenFailure = 1;
constexpr int usageFailure = 2;

int fail(int exitCode, const QString &message)
{
    std::fprintf(stderr, "corvane-unit-sim: %s\n", qPrintable(message));
    return exitCode;
}

// Applies each step of a scenario at its time after start, until the steps run out or *stopping
// is set (under mutex, with wake notified).
void playScenario(const std::vector<Scenario::Step> &steps,
                  const std::vector<std::unique_ptr<UnitServer>> &servers,
                  std::chrono::steady_clock::time_point start, std::mutex &mutex,
                  std::condition_variable &wake, const bool &stopping)
{
    for (const Scenario::Step &step : steps) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            const auto at = start + std::chrono::milliseconds(step.atMs);
            if (wake.wait_until(lock, at, [&stopping] { return stopping; }))
                return;
        }
        UnitServer &server = *servers[size_t(step.unit)];
        const auto result = server.unit().handle(step.command);
        if (result.refuseMs > 0)
            server.refuseConnections(std::chrono::milliseconds(result.refuseMs));
    }
}

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before any thread starts, so every server thread inherits the mask and the stop
    // signals reach only the sigwait() below.
    const sigset_t stopSet = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-unit-sim"));
    QString error;
    const auto options = SimulatorOptions::parse(QCoreApplication::arguments(), &error);
    if (!options)
        return fail(usageFailure, error);

    std::vector<std::unique_ptr<UnitServer>> servers;
    for (size_t k = 0; k < options->addresses.size(); ++k) {
        const SimulatorOptions::ListenAddress &address = options->addresses[k];
        auto unit =
            std::make_unique<SimulatedUnit>(options->baseId + int(k), options->seed + quint32(k));
        servers.push_back(
            std::make_unique<UnitServer>(std::move(unit), address.host, address.port));
    }

    // The profile and the faults go in before the units listen, so no client ever sees a fast
    // or healthy unit first; a --fault UNIT:SERL comes later and wins for its unit.
    for (const auto &server : servers) {
        if (!options->profileCommand.isEmpty())
            server->unit().handle(options->profileCommand);
    }
    std::vector<int> refusalMs(servers.size(), 0);
    for (const SimulatorOptions::StartupFault &fault : options->faults) {
        const auto result = servers[fault.unit]->unit().handle(QStringLiteral("SIM_") + fault.text);
        if (result.status != 200)
            return fail(usageFailure, QStringLiteral("bad fault \"%1\" for unit %2: %3")
                                          .arg(fault.text)
                                          .arg(fault.unit + 1)
                                          .arg(QString::fromUtf8(result.body.trimmed())));
        refusalMs[fault.unit] = std::max(refusalMs[fault.unit], result.refuseMs);
    }

    for (size_t k = 0; k < servers.size(); ++k) {
        if (!servers[k]->start())
            return fail(listenFailure,
                        QStringLiteral("unit %1 %2: the port may be in use, or a port below 1024 "
                                       "needs root (give host:port to choose another port)")
                            .arg(k + 1)
                            .arg(servers[k]->errorString()));
        if (refusalMs[k] > 0)
            servers[k]->refuseConnections(std::chrono::milliseconds(refusalMs[k]));
    }

    for (size_t k = 0; k < servers.size(); ++k)
        std::printf("unit %d id %d listening on %s:%u\n", int(k + 1), servers[k]->unit().id(),
                    qPrintable(servers[k]->host()), unsigned(servers[k]->port()));
    std::printf("ready\n");
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    std::mutex playerMutex;
    std::condition_variable playerWake;
    bool playerStopping = false;
    std::thread player(playScenario, std::cref(options->scenario), std::cref(servers), start,
                       std::ref(playerMutex), std::ref(playerWake), std::cref(playerStopping));

    if (options->stopWithStdin) {
        // End of input is turned into the same stop signal that sigwait() below waits for.
        std::thread([] {
            char buffer[256];
            while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
            }
            kill(getpid(), SIGTERM);
        }).detach();
    }

    int received = 0;
    sigwait(&stopSet, &received);
    {
        std::lock_guard<std::mutex> lock(playerMutex);
        playerStopping = true;
    }
    playerWake.notify_all();
    player.join();
    servers.clear();
    return 0;
}
