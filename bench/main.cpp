// The benchmarks of the polling engine, the bare toolkit client, the interface, commands to slow
// units and a long run.
//
//   octo-bench [all] [--runs N] [--seconds S] [--warmup S]
//              [--parts load,commands,interface,soak,showlog] [--storm-seconds S]
//              [--soak-windows N] [--soak-window-seconds S] [--soak-silence-seconds S]
//              [--log FILE]
//       runs everything (each measurement in a child process of its own) and prints the table
//   octo-bench engine --units A,B,... --awake N [--seconds S] [--warmup S]
//   octo-bench floor --mix ENGINE_RESULT.json [--seconds S] [--warmup S]
//   octo-bench interface --units A,B,... [--seconds S] [--warmup S] [--unload-hidden-strips]
//   octo-bench meterfloor [--seconds S] [--warmup S]
//   octo-bench clipstorm --units A,B,... [--seconds S] [--warmup S] [--storm] [--log-open]
//   octo-bench latency --units A [--seconds S] [--warmup S] [--seed N]
//   octo-bench recall --units A,B,... [--resume-polling]
//   octo-bench held --units A [--members N] [--steps N] [--lead-ms MS]
//   octo-bench soak [--soak-windows N] [--soak-window-seconds S] [--soak-silence-seconds S]
//   octo-bench search [--runs N]
//       one measurement; prints its figures as one JSON line

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>
#include <memory>

#include "BenchDriver.h"
#include "ClipStormRun.h"
#include "CommandLatency.h"
#include "HeldControls.h"
#include "InterfaceRun.h"
#include "LoadRuns.h"
#include "MeterFloorRun.h"
#include "RecallRun.h"
#include "SearchRun.h"
#include "SoakRun.h"

namespace {

struct Arguments
{
    QString mode;
    // The whole run's options; runs, seconds and warmupSeconds serve one measurement too.
    BenchDriver::Options all;
    QStringList units;
    int awake = 0;
    bool storm = false;
    bool logOpen = false;
    QString mixFile;
    bool unloadHiddenStrips = false;
    quint32 seed = 0;
    bool resumePolling = false;
    HeldControls::Plan held;
};

Arguments parse(const QStringList &arguments)
{
    const BenchDriver::Options defaults;
    const HeldControls::Plan held;
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(
        "mode",
        "all (default), engine, floor, interface, meterfloor, clipstorm, latency, held, recall, "
        "soak or "
        "search");
    const QCommandLineOption units("units", "Unit addresses, comma separated.", "A,B,...");
    const QCommandLineOption awake("awake", "Units polled at full rate.", "N",
                                   QString::number(BenchDriver::unitCount));
    const QCommandLineOption runs("runs", "Runs of benchmarks 1 to 4, or of the search.", "N",
                                  QString::number(defaults.runs));
    const QCommandLineOption seconds("seconds", "Measuring window of one run.", "S",
                                     QString::number(defaults.seconds));
    const QCommandLineOption warmup("warmup", "Warm-up before each window.", "S",
                                    QString::number(defaults.warmupSeconds));
    const QCommandLineOption parts("parts",
                                   "Parts to run: load, commands, interface, soak, showlog.",
                                   "LIST", defaults.parts.join(QLatin1Char(',')));
    const QCommandLineOption stormSeconds("storm-seconds", "Measuring window of the clip storm.",
                                          "S", QString::number(defaults.stormSeconds));
    const QCommandLineOption storm("storm", "Clip storm: every channel of every unit clips.");
    const QCommandLineOption logOpen("log-open", "Clip storm: the show log's panel is open.");
    const QCommandLineOption soakWindows("soak-windows", "Windows of the soak.", "N",
                                         QString::number(defaults.soakWindows));
    const QCommandLineOption soakWindow("soak-window-seconds", "Length of one soak window.", "S",
                                        QString::number(defaults.soakWindowSeconds));
    const QCommandLineOption soakSilence("soak-silence-seconds", "Silence per soak window.", "S",
                                         QString::number(defaults.soakSilenceSeconds));
    const QCommandLineOption mix("mix", "An engine result whose request mix to send.", "FILE");
    const QCommandLineOption log("log", "Append the measurements' diagnostics here.", "FILE");
    const QCommandLineOption unload("unload-hidden-strips",
                                    "Interface: hidden pages drop their strips (what-if).");
    const QCommandLineOption seed("seed", "Latency: seed of the command moments.", "N",
                                  QString::number(CommandLatency::Plan().seed));
    const QCommandLineOption resume("resume-polling",
                                    "Recall: poll the units again as soon as the load is done.");
    const QCommandLineOption members("members",
                                     "Held: channels in the held gain group (0: one channel).", "N",
                                     QString::number(held.members));
    const QCommandLineOption steps("steps", "Held: steps of the held gain button.", "N",
                                   QString::number(held.steps));
    const QCommandLineOption lead("lead-ms", "Held: extra wait before the first step.", "MS",
                                  QString::number(held.leadMs));
    parser.addOptions({units,        awake,       runs,    seconds, warmup, parts, soakWindows,
                       soakWindow,   soakSilence, mix,     log,     unload, seed,  resume,
                       stormSeconds, storm,       logOpen, members, steps,  lead});
    parser.process(arguments);

    Arguments parsed;
    parsed.mode = parser.positionalArguments().value(0, QStringLiteral("all"));
    parsed.units = parser.value(units).split(QLatin1Char(','), Qt::SkipEmptyParts);
    parsed.awake = parser.value(awake).toInt();
    parsed.all.runs = std::max(1, parser.value(runs).toInt());
    parsed.all.seconds = std::max(1, parser.value(seconds).toInt());
    parsed.all.warmupSeconds = std::max(0, parser.value(warmup).toInt());
    parsed.all.parts = parser.value(parts).split(QLatin1Char(','), Qt::SkipEmptyParts);
    parsed.all.soakWindows = std::max(2, parser.value(soakWindows).toInt());
    parsed.all.soakWindowSeconds = std::max(1, parser.value(soakWindow).toInt());
    parsed.all.soakSilenceSeconds = std::max(1, parser.value(soakSilence).toInt());
    parsed.all.stormSeconds = std::max(1, parser.value(stormSeconds).toInt());
    parsed.all.logFile = parser.value(log);
    parsed.mixFile = parser.value(mix);
    parsed.unloadHiddenStrips = parser.isSet(unload);
    parsed.seed = parser.value(seed).toUInt();
    parsed.resumePolling = parser.isSet(resume);
    parsed.storm = parser.isSet(storm);
    parsed.logOpen = parser.isSet(logOpen);
    parsed.held.members = std::clamp(parser.value(members).toInt(), 0, 8);
    parsed.held.steps = std::max(1, parser.value(steps).toInt());
    parsed.held.leadMs = std::max(0, parser.value(lead).toInt());
    return parsed;
}

QJsonObject runMeasurement(const Arguments &args)
{
    const int warmupMs = args.all.warmupSeconds * 1000;
    const int windowMs = args.all.seconds * 1000;
    if (args.mode == QLatin1String("engine"))
        return LoadRuns::engine(args.units, args.awake, {warmupMs, windowMs});
    if (args.mode == QLatin1String("floor")) {
        QFile mix(args.mixFile);
        if (!mix.open(QIODevice::ReadOnly))
            return QJsonObject{{"error", "cannot read the mix file " + args.mixFile}};
        const QJsonObject engine = QJsonDocument::fromJson(mix.readAll()).object();
        return LoadRuns::floor(LoadRuns::mixOf(engine), {warmupMs, windowMs});
    }
    if (args.mode == QLatin1String("interface"))
        return InterfaceRun::run(args.units, warmupMs, windowMs, args.unloadHiddenStrips);
    if (args.mode == QLatin1String("meterfloor"))
        return MeterFloorRun::run(warmupMs, windowMs);
    if (args.mode == QLatin1String("clipstorm"))
        return ClipStormRun::run(args.units, {args.storm, args.logOpen, warmupMs, windowMs});
    if (args.mode == QLatin1String("latency")) {
        CommandLatency::Plan plan;
        plan.warmupMs = warmupMs;
        plan.windowMs = windowMs;
        plan.seed = args.seed;
        return CommandLatency::run(args.units.value(0), plan);
    }
    if (args.mode == QLatin1String("held"))
        return HeldControls::run(args.units.value(0), args.held);
    if (args.mode == QLatin1String("recall")) {
        RecallRun::Plan plan;
        plan.resumePolling = args.resumePolling;
        return RecallRun::run(args.units, plan);
    }
    if (args.mode == QLatin1String("search"))
        return SearchRun::run(args.all.runs);
    if (args.mode == QLatin1String("soak"))
        return SoakRun::run({args.all.soakWindows, args.all.soakWindowSeconds * 1000,
                             args.all.soakSilenceSeconds * 1000});
    return QJsonObject{{"error", "unknown mode " + args.mode}};
}

int runAll(const Arguments &args)
{
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    return BenchDriver(args.all).run(out);
}

} // namespace

int main(int argc, char **argv)
{
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    // Only the interface needs a window system; the other measurements run without one.
    const bool needsWindow = rawArguments.value(1) == QLatin1String("interface") ||
                             rawArguments.value(1) == QLatin1String("meterfloor") ||
                             rawArguments.value(1) == QLatin1String("clipstorm");
    std::unique_ptr<QCoreApplication> app;
    if (needsWindow)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const Arguments args = parse(app->arguments());
    if (args.mode == QLatin1String("all"))
        return runAll(args);

    const QJsonObject result = runMeasurement(args);
    QTextStream(stdout) << QJsonDocument(result).toJson(QJsonDocument::Compact) << "\n";
    return result.contains("error") ? 1 : 0;
}
