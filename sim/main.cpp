// corvane-unit-sim: serves 1 to 12 simulated units on loopback addresses until SIGINT or
// SIGTERM. Exit codes: 0 after a stop signal, 1 when a unit cannot listen, 2 for bad arguments.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <pthread.h>
#include <unistd.h>

#include "sim/Scenario.h"
#include "sim/SimulatedUnit.h"
#include "sim/UnitServer.h"

namespace {

constexpr int maxUnits = 12;
constexpr int listenFailure = 1;
constexpr int usageFailure = 2;

const char description[] =
    "Simulated Corvane octo preamp units for the remote controller, its tests and demos.\n"
    "Each unit answers GET http://<address>/?CMD_xxxx as a unit does. An address is host or\n"
    "host:port with a loopback IPv4 host (127.x.y.z); port 0 picks a free port. Without\n"
    "addresses, --units N units listen on 127.0.0.1 to 127.0.0.N. When all listen, one line\n"
    "\"unit <k> id <ID> listening on <host>:<port>\" per unit and then \"ready\" are printed.\n"
    "Exit codes: 0 after SIGINT/SIGTERM, 1 when a unit cannot listen, 2 for bad arguments.\n"
    "\n"
    "Simulator commands, GET /?SIM_xxxx, answered {\"sim\":{...}} even during faults;\n"
    "a fault given =ms (or ,ms) ends by itself after ms milliseconds:\n"
    "  SIM_SLNT[=ms]         silent: hold requests unanswered (dropped after 4 s)\n"
    "  SIM_RFSE=ms           refuse connections for ms (open connections close)\n"
    "  SIM_HERR=status[,ms]  answer with HTTP status 400..599\n"
    "  SIM_GRBG[=ms]         answer with bytes that are not JSON\n"
    "  SIM_TRNC[=ms]         answer with the document cut in half\n"
    "  SIM_HUGE[=ms]         answer with a 2 MiB document\n"
    "  SIM_DLAY=delay[,ms]   answer after delay ms (0..10000)\n"
    "  SIM_UNLK[=ms]         report the clock unlocked\n"
    "  SIM_CLIP=channel[,ms] the channel (1..8 or ALL) reads at the top of the meter\n"
    "                        scale, an over, at every reading\n"
    "  SIM_DROP[=count]      lose the next count answers (default 1): the command is\n"
    "                        carried out, the connection stays silent\n"
    "  SIM_TRKL[=count[,ms]] trickle the next count answers (default 1): one byte\n"
    "                        every ms (1..10000, default 400)\n"
    "  SIM_BOOT[=ms]         restart with factory settings and no faults, refusing\n"
    "                        connections for ms while booting\n"
    "  SIM_CLER              clear all faults\n"
    "  SIM_STAT[=RESET]      request counters per command, the profile and the\n"
    "                        connections: open, most open at once, refused (reset the\n"
    "                        counters; most open restarts from those open now)\n"
    "  SIM_CLOG[=RESET]      the unit's commands in arrival order, polls left out,\n"
    "                        the latest 1000 (RESET empties the log after answering)\n"
    "  SIM_SERL=service[,jitter[,connections]]\n"
    "                        serial profile: one request at a time, each after service\n"
    "                        ms plus up to jitter ms (0..2000 each, jitter default 0), at\n"
    "                        most connections open connections (1..64, default 4)\n"
    "  SIM_SERL=OFF          back to the fast profile\n"
    "--fault takes the same texts without \"SIM_\": --fault 2:SLNT --fault 1:HERR=500\n"
    "--fault 3:DROP loses unit 3's first answer.\n"
    "\n"
    "By default a unit answers every request at once on any number of connections. The\n"
    "serial profile (--serial, or SIM_SERL at run time) behaves like the small embedded web\n"
    "server of a real unit: it works on one request at a time over all its connections, in\n"
    "arrival order, each taking a service time; a silent or delayed request holds up those\n"
    "behind it; a connection beyond the limit is reset at once, unread, and counted refused.\n"
    "SIM_ commands skip the queue, but their connections count against the limit.\n"
    "  corvane-unit-sim --serial --service-ms 60 127.0.0.11:8081\n"
    "\n"
    "A --scenario file holds one timed fault a line, \"AT_MS UNIT FAULT [DURATION_MS]\",\n"
    "AT_MS counted from \"ready\": \"10000 2 SLNT 10000\" silences unit 2 from 10 s to 20 s.\n"
    "Blank lines and lines starting with # are ignored. See docs/simulator.md.";

struct ListenAddress
{
    QString host;
    quint16 port = 0;
};

struct StartupFault
{
    int unit = 0; // 0-based
    QString text;
};

struct Options
{
    bool stopWithStdin = false;
    std::vector<ListenAddress> addresses;
    int baseId = 1;
    quint32 seed = 1;
    std::vector<StartupFault> faults;
    std::vector<Scenario::Step> scenario;
    // The SIM_SERL command every unit starts with; empty for the fast profile.
    QString profileCommand;
};

std::optional<ListenAddress> parseAddress(const QString &text, quint16 defaultPort)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    QHostAddress host;
    const bool loopback = host.setAddress(parts.at(0)) &&
                          host.protocol() == QAbstractSocket::IPv4Protocol && host.isLoopback();
    if (parts.size() > 2 || !loopback)
        return std::nullopt;
    bool ok = true;
    const uint port = parts.size() == 2 ? parts.at(1).toUInt(&ok) : defaultPort;
    if (!ok || port > 65535)
        return std::nullopt;
    return ListenAddress{host.toString(), quint16(port)};
}

std::optional<int> parseInt(const QString &text, int minValue, int maxValue)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= minValue && value <= maxValue ? std::optional<int>(value) : std::nullopt;
}

// The value of an integer option; nothing, with *error naming the option, when out of range.
std::optional<int> intValue(const QCommandLineParser &parser, const QCommandLineOption &option,
                            int minValue, int maxValue, QString *error)
{
    const auto value = parseInt(parser.value(option), minValue, maxValue);
    if (!value)
        *error = QStringLiteral("--%1 takes a whole number from %2 to %3")
                     .arg(option.names().constFirst())
                     .arg(minValue)
                     .arg(maxValue);
    return value;
}

std::optional<StartupFault> parseFault(const QString &text, int unitCount)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    const auto unit = parseInt(text.left(colon), 1, unitCount);
    if (colon < 0 || !unit)
        return std::nullopt;
    return StartupFault{*unit - 1, text.mid(colon + 1)};
}

// Shows the help and exits 0 itself; returns nothing with *error set for bad arguments.
std::optional<Options> parseOptions(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption units(
        QStringLiteral("units"),
        QStringLiteral("Without addresses: serve N units on 127.0.0.1 to 127.0.0.N (default 1)."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Port of addresses given without one (default 80, which needs root)."),
        QStringLiteral("P"), QStringLiteral("80"));
    const QCommandLineOption baseId(QStringLiteral("base-id"),
                                    QStringLiteral("Unit k gets the id ID+k-1 (default 1)."),
                                    QStringLiteral("ID"), QStringLiteral("1"));
    const QCommandLineOption seed(
        QStringLiteral("seed"),
        QStringLiteral("Seed of the meters' random source; unit k uses S+k-1 (default 1)."),
        QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption fault(
        QStringLiteral("fault"),
        QStringLiteral("Start unit UNIT (1-based) with FAULT, e.g. 2:SLNT. Repeatable."),
        QStringLiteral("UNIT:FAULT"));
    const QCommandLineOption stopWithStdin(
        QStringLiteral("stop-with-stdin"),
        QStringLiteral("Stop when standard input closes, so the units end with a parent "
                       "process that keeps a pipe open to them, however the parent ends."));
    const QCommandLineOption scenario(
        QStringLiteral("scenario"),
        QStringLiteral("Apply the timed faults of FILE, counted from \"ready\"."),
        QStringLiteral("FILE"));
    const QCommandLineOption serial(
        QStringLiteral("serial"),
        QStringLiteral("Serve each unit's requests one at a time, as a real unit's small web "
                       "server does, with at most a few open connections (see above)."));
    const QCommandLineOption serviceMs(
        QStringLiteral("service-ms"),
        QStringLiteral("Serial profile: each request takes MS (0 to 2000, default %1). Implies "
                       "--serial.")
            .arg(SimulatedUnit::defaultServiceMs),
        QStringLiteral("MS"), QString::number(SimulatedUnit::defaultServiceMs));
    const QCommandLineOption jitterMs(
        QStringLiteral("jitter-ms"),
        QStringLiteral("Serial profile: plus up to MS more, drawn per request (0 to 2000, "
                       "default 0). Implies --serial."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption maxConnections(
        QStringLiteral("max-connections"),
        QStringLiteral("Serial profile: at most N open connections per unit (1 to 64, default "
                       "%1); a further one is reset. Implies --serial.")
            .arg(SimulatedUnit::defaultMaxConnections),
        QStringLiteral("N"), QString::number(SimulatedUnit::defaultMaxConnections));
    parser.addOptions({units, port, baseId, seed, fault, scenario, stopWithStdin, serial, serviceMs,
                       jitterMs, maxConnections});
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("host or host:port of a unit, up to 12."),
                                 QStringLiteral("[address...]"));

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    // --help-all is listed beside --help; the toolkit's own options are of no use here, so it
    // shows the same help instead of being ignored.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);

    const auto defaultPort = intValue(parser, port, 0, 65535, error);
    const auto unitCount = intValue(parser, units, 1, maxUnits, error);
    const auto firstId = intValue(parser, baseId, 0, 1000000, error);
    const auto firstSeed = intValue(parser, seed, 0, std::numeric_limits<int>::max(), error);
    const auto service = intValue(parser, serviceMs, 0, SimulatedUnit::maxServiceMs, error);
    const auto jitter = intValue(parser, jitterMs, 0, SimulatedUnit::maxServiceMs, error);
    const auto connections =
        intValue(parser, maxConnections, 1, SimulatedUnit::maxConnectionLimit, error);
    if (!defaultPort || !unitCount || !firstId || !firstSeed || !service || !jitter || !connections)
        return std::nullopt;
    Options options;
    if (parser.isSet(serial) || parser.isSet(serviceMs) || parser.isSet(jitterMs) ||
        parser.isSet(maxConnections))
        options.profileCommand =
            QStringLiteral("SIM_SERL=%1,%2,%3").arg(*service).arg(*jitter).arg(*connections);
    options.stopWithStdin = parser.isSet(stopWithStdin);
    options.baseId = *firstId;
    options.seed = quint32(*firstSeed);

    const QStringList addresses = parser.positionalArguments();
    if (!addresses.isEmpty() && parser.isSet(units)) {
        *error = QStringLiteral("give either --units or addresses");
        return std::nullopt;
    }
    for (int k = 1; addresses.isEmpty() && k <= *unitCount; ++k)
        options.addresses.push_back({QStringLiteral("127.0.0.%1").arg(k), quint16(*defaultPort)});
    if (addresses.size() > maxUnits) {
        *error = QStringLiteral("at most %1 units").arg(maxUnits);
        return std::nullopt;
    }
    for (const QString &text : addresses) {
        const auto address = parseAddress(text, quint16(*defaultPort));
        if (!address) {
            *error = QStringLiteral("bad address \"%1\": expected host or host:port with a "
                                    "127.x.y.z host")
                         .arg(text);
            return std::nullopt;
        }
        options.addresses.push_back(*address);
    }
    for (const QString &text : parser.values(fault)) {
        const auto parsed = parseFault(text, int(options.addresses.size()));
        if (!parsed) {
            *error = QStringLiteral("bad fault \"%1\": expected UNIT:FAULT with UNIT 1 to %2")
                         .arg(text)
                         .arg(options.addresses.size());
            return std::nullopt;
        }
        options.faults.push_back(*parsed);
    }
    if (parser.isSet(scenario)) {
        const QString path = parser.value(scenario);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return std::nullopt;
        }
        const auto parsed =
            Scenario::parse(QString::fromUtf8(file.readAll()), int(options.addresses.size()));
        if (!parsed.ok()) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(parsed.errorLine).arg(parsed.error);
            return std::nullopt;
        }
        options.scenario = parsed.steps;
    }
    return options;
}

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
    const auto options = parseOptions(QCoreApplication::arguments(), &error);
    if (!options)
        return fail(usageFailure, error);

    std::vector<std::unique_ptr<UnitServer>> servers;
    for (size_t k = 0; k < options->addresses.size(); ++k) {
        const ListenAddress &address = options->addresses[k];
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
    for (const StartupFault &fault : options->faults) {
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
