#include "sim/SimulatorOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <QHostAddress>

#include <limits>

#include "sim/SimulatedUnit.h"
#include "sim/WholeNumber.h"

namespace {

constexpr int highestPort = std::numeric_limits<quint16>::max();

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

std::optional<SimulatorOptions::ListenAddress> parseAddress(const QString &text,
                                                            quint16 defaultPort)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    QHostAddress host;
    const bool loopback = host.setAddress(parts.at(0)) &&
                          host.protocol() == QAbstractSocket::IPv4Protocol && host.isLoopback();
    if (parts.size() > 2 || !loopback)
        return std::nullopt;
    const auto port = parts.size() == 2 ? wholeNumber(parts.at(1), 0, highestPort) : defaultPort;
    if (!port)
        return std::nullopt;
    return SimulatorOptions::ListenAddress{host.toString(), quint16(*port)};
}

// The value of an integer option; nothing, with *error naming the option, when out of range.
std::optional<int> intValue(const QCommandLineParser &parser, const QCommandLineOption &option,
                            int minValue, int maxValue, QString *error)
{
    const auto value = wholeNumber(parser.value(option), minValue, maxValue);
    if (!value)
        *error = QStringLiteral("--%1 takes a whole number from %2 to %3")
                     .arg(option.names().constFirst())
                     .arg(minValue)
                     .arg(maxValue);
    return value;
}

std::optional<SimulatorOptions::StartupFault> parseFault(const QString &text, int unitCount)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    const auto unit = wholeNumber(text.left(colon), 1, unitCount);
    if (colon < 0 || !unit)
        return std::nullopt;
    return SimulatorOptions::StartupFault{*unit - 1, text.mid(colon + 1)};
}

} // namespace

std::optional<SimulatorOptions> SimulatorOptions::parse(const QStringList &arguments,
                                                        QString *error)
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

    const auto defaultPort = intValue(parser, port, 0, highestPort, error);
    const auto unitCount = intValue(parser, units, 1, maxUnits, error);
    const auto firstId = intValue(parser, baseId, 0, 1000000, error);
    const auto firstSeed = intValue(parser, seed, 0, std::numeric_limits<int>::max(), error);
    const auto service = intValue(parser, serviceMs, 0, SimulatedUnit::maxServiceMs, error);
    const auto jitter = intValue(parser, jitterMs, 0, SimulatedUnit::maxServiceMs, error);
    const auto connections =
        intValue(parser, maxConnections, 1, SimulatedUnit::maxConnectionLimit, error);
    if (!defaultPort || !unitCount || !firstId || !firstSeed || !service || !jitter || !connections)
        return std::nullopt;
    SimulatorOptions options;
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
