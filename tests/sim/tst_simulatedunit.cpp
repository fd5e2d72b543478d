#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

#include <algorithm>

#include "device/ReplyDocument.h"
#include "sim/Scenario.h"
#include "sim/SimulatedUnit.h"

namespace {

using Kind = ReplyDocument::Kind;
constexpr int unitId = 17;
const QString statusCommand = QStringLiteral("CMD_PSTS");
const QString healthyAnswer = QStringLiteral("200 0ms healthy");

// A value of a unit document by path: "sys/name", "adc/fs", or "3/48V" for channel 3.
QJsonValue field(const QJsonObject &document, const QString &path)
{
    const QString group = path.section('/', 0, 0), key = path.section('/', 1);
    for (const QJsonValue &entry : document.value(QStringLiteral("channels")).toArray()) {
        if (QString::number(entry[QStringLiteral("no")].toInt()) == group)
            return entry[key];
    }
    return document.value(group)[key];
}

// A serving profile as SIM_STAT shows it.
QVariantMap profile(bool serial, int serviceMs, int jitterMs, int maxConnections)
{
    return {{"serial", serial},
            {"serviceMs", serviceMs},
            {"jitterMs", jitterMs},
            {"maxConnections", maxConnections}};
}

// What a status request gets: "held", or the HTTP status, the delay and whether the body is the
// healthy one.
QString seen(SimulatedUnit &unit, const QByteArray &healthy)
{
    const SimulatedUnit::Result result = unit.handle(statusCommand);
    if (result.hold)
        return QStringLiteral("held");
    return QStringLiteral("%1 %2ms %3")
        .arg(result.status)
        .arg(result.delayMs)
        .arg(result.body == healthy ? "healthy" : "other");
}

} // namespace

class TestSimulatedUnit : public QObject
{
    Q_OBJECT

private slots:
    void commandTakesEffect_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("kind"); // of the last answer; -1: refused with 400
        QTest::addColumn<QString>("path");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char *name, QStringList commands, Kind kind, const char *path,
                            QVariant expected) {
            QTest::newRow(name) << commands << int(kind) << QString::fromLatin1(path) << expected;
        };
        const Kind channel = Kind::Channel;
        // clang-format off
        row("phase on", {"CMD_PPHS=8,ON"}, channel, "8/phase", "on");
        row("ribbon on", {"CMD_PIPS=1,ON"}, channel, "1/rbbn", "on");
        row("phase toggled twice", {"CMD_PPHT=2", "CMD_PPHT=2"}, channel, "2/phase", "off");
        row("ribbon toggled", {"CMD_PIPT=7"}, channel, "7/rbbn", "on");
        row("gain set below range", {"CMD_PGNS=4,-1"}, channel, "4/gain", 0);
        row("gain set above range", {"CMD_PGNS=4,70"}, channel, "4/gain", 68);
        row("gain up", {"CMD_PGNU=4"}, channel, "4/gain", 1);
        row("gain up at top", {"CMD_PGNS=4,68", "CMD_PGNU=4"}, channel, "4/gain", 68);
        row("gain down", {"CMD_PGNS=4,68", "CMD_PGND=4"}, channel, "4/gain", 67);
        row("gain down at bottom", {"CMD_PGND=4"}, channel, "4/gain", 0);
        row("name without comma kept", {"CMD_NMCH=5,Kick", "CMD_NMCH=5"}, channel, "5/name",
            "Kick");
        row("over cleared", {"CMD_DOVC=6"}, channel, "6/over", "off");
        row("sample rate", {"CMD_ADFS=4"}, Kind::Converter, "adc/fs", 4);
        row("clock source", {"CMD_ADCK=3"}, Kind::Converter, "adc/clksrc", 3);
        row("output format", {"CMD_ADTX=0"}, Kind::Converter, "adc/fmt", 0);
        row("clock out", {"CMD_ADOC=1"}, Kind::Converter, "adc/clkout", 1);
        row("factory reset", {"CMD_PGNS=1,20", "CMD_FREC=0"}, Kind::Status, "1/gain", 0);
        // The serving profile; clearing faults or restarting keeps it.
        const auto serving = [&row](const char *name, QStringList commands, QVariantMap held) {
            row(name, commands, Kind::Unknown, "sim/profile", held);
        };
        serving("serial with jitter", {"SIM_SERL=0,2000"}, profile(true, 0, 2000, 4));
        serving("serial, most", {"SIM_SERL=2000,0,64"}, profile(true, 2000, 0, 64));
        serving("fast again", {"SIM_SERL=60,5,8", "SIM_SERL=OFF"}, profile(false, 0, 0, 0));
        serving("kept by clearing", {"SIM_SERL=60,5,8", "SIM_CLER"}, profile(true, 60, 5, 8));
        serving("kept by restart", {"SIM_SERL=60,5,8", "SIM_BOOT"}, profile(true, 60, 5, 8));
        // The command log: every request but the polls, in order, malformed ones included; the
        // latest SimulatedUnit::commandLogLength of them.
        const auto logged = [&row](const char *name, QStringList commands, QStringList held) {
            row(name, commands + QStringList{"SIM_CLOG"}, Kind::Unknown, "sim/commands", held);
        };
        logged("log in order", {"CMD_PGNS=2,9", "CMD_PSTS", "CMD_METR", "x", "CMD_NMDV=a,b"},
               {"CMD_PGNS=2,9", "x", "CMD_NMDV=a,b"});
        logged("log read and emptied", {"CMD_PGNS=2,9", "SIM_CLOG=RESET", "CMD_PPHT=1"},
               {"CMD_PPHT=1"});
        QStringList many;
        for (int k = 0; k <= SimulatedUnit::commandLogLength; ++k)
            many << QStringLiteral("CMD_PGNS=1,%1").arg(k % 69);
        logged("log at its length", many, many.mid(1));
        // One malformed text for each way a command can be wrong; none may change the unit.
        for (const char *bad : {
            "", "PSTS", "cmd_psts", "CMD_XXXX", "CMD_PSTS=1", "CMD_METR=1", "CMD_FREC",
            "CMD_FREC=1", "CMD_P48S=0,ON", "CMD_P48S=9,ON", "CMD_PPHS=3,on", "CMD_PIPS=3",
            "CMD_P48T", "CMD_PPHT=x", "CMD_PGNS=1,loud", "CMD_PGNS=1", "CMD_PGNU=0", "CMD_PGND=9",
            "CMD_DOVC=9", "CMD_NMCH=,Kick", "CMD_NMDV", "CMD_ADFS=9", "CMD_ADFS=-1", "CMD_ADFS=x",
            "CMD_ADCK=4", "CMD_ADTX=2", "CMD_ADOC=2", "SIM_XXXX", "SIM_HERR", "SIM_HERR=200",
            "SIM_HERR=600", "SIM_HERR=500,0", "SIM_RFSE", "SIM_RFSE=0", "SIM_SLNT=",
            "SIM_SLNT=soon", "SIM_SLNT=-5", "SIM_DLAY", "SIM_DLAY=20000", "SIM_BOOT=x",
            "SIM_CLER=1", "SIM_STAT=ALL", "SIM_CLOG=ALL", "SIM_SERL", "SIM_SERL=", "SIM_SERL=off", "SIM_SERL=-1",
            "SIM_SERL=2001", "SIM_SERL=60,-1", "SIM_SERL=60,2001", "SIM_SERL=60,,4",
            "SIM_SERL=60,0,0", "SIM_SERL=60,0,65", "SIM_SERL=60,0,4,1", "SIM_CLIP",
            "SIM_CLIP=0", "SIM_CLIP=9", "SIM_CLIP=all", "SIM_CLIP=3,0", "SIM_DROP=0",
            "SIM_DROP=1001", "SIM_DROP=x", "SIM_TRKL=", "SIM_TRKL=0", "SIM_TRKL=1,0",
            "SIM_TRKL=1,10001", "SIM_TRKL=1,", "SIM_TRKL=1,5,5"})
            QTest::addRow("refused: %s", bad) << QStringList{bad} << -1 << QString() << QVariant();
        // clang-format on
    }

    void commandTakesEffect()
    {
        QFETCH(QStringList, commands);
        QFETCH(int, kind);
        QFETCH(QString, path);
        QFETCH(QVariant, expected);
        SimulatedUnit unit(unitId);
        const QByteArray factory = unit.handle(statusCommand).body;
        SimulatedUnit::Result last;
        for (const QString &command : commands)
            last = unit.handle(command);

        if (kind < 0) {
            QCOMPARE(last.status, 400);
            QCOMPARE(last.refuseMs, 0);
            QCOMPARE(seen(unit, factory), healthyAnswer);
            QVERIFY(!unit.profile().serial);
            return;
        }
        QCOMPARE(last.status, 200);
        const QJsonObject answer = QJsonDocument::fromJson(last.body).object();
        QCOMPARE(int(ReplyDocument::classify(answer)), kind);
        const int channels = answer.value(QStringLiteral("channels")).toArray().size();
        QCOMPARE(channels, kind == int(Kind::Channel) ? 1 : kind == int(Kind::Status) ? 8 : 0);
        QCOMPARE(field(answer, path), QJsonValue::fromVariant(expected));
        // Also what the status document, or for "sim/..." the statistics, hold afterwards.
        const bool sim = path.startsWith(QLatin1String("sim/"));
        const QString reread = path == QLatin1String("sim/commands") ? QStringLiteral("SIM_CLOG")
                               : sim                                 ? QStringLiteral("SIM_STAT")
                                                                     : statusCommand;
        const QByteArray now = unit.handle(reread).body;
        QCOMPARE(field(QJsonDocument::fromJson(now).object(), path),
                 QJsonValue::fromVariant(expected));
        if (kind != int(Kind::Unknown) || path != QLatin1String("sim/profile"))
            return;
        // The profile the server acts on, with service times in [service, service + jitter].
        const SimulatedUnit::Profile held = unit.profile();
        QCOMPARE(QVariant(profile(held.serial, held.serviceMs, held.jitterMs, held.maxConnections)),
                 expected);
        QSet<int> drawn;
        for (int request = 0; request < 100; ++request)
            drawn << unit.nextServiceMs();
        const auto [least, most] = std::minmax_element(drawn.cbegin(), drawn.cend());
        QVERIFY(*least >= held.serviceMs && *most <= held.serviceMs + held.jitterMs);
        QCOMPARE(drawn.size() > 1, held.jitterMs > 0);
    }

    void faultLastsItsDurationOrUntilCleared_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("effect");
        // clang-format off
        QTest::newRow("silent") << "SIM_SLNT" << "held";
        QTest::newRow("http error") << "SIM_HERR=503" << "503 0ms other";
        QTest::newRow("delay") << "SIM_DLAY=250" << "200 250ms healthy";
        // clang-format on
    }

    // The simulation commands answer whatever the fault, so a harness can always end it.
    void faultLastsItsDurationOrUntilCleared()
    {
        QFETCH(QString, fault);
        QFETCH(QString, effect);
        qint64 now = 0;
        SimulatedUnit unit(unitId, 1, [&now] { return now; });
        const QByteArray healthy = unit.handle(statusCommand).body;
        for (const char *end : {"SIM_CLER", "SIM_BOOT"}) {
            QCOMPARE(unit.handle(fault).status, 200);
            now += UnitFaults::maxDurationMs;
            QCOMPARE(seen(unit, healthy), effect);
            QCOMPARE(unit.handle(QString::fromLatin1(end)).status, 200);
            QCOMPARE(seen(unit, healthy), healthyAnswer);
        }

        QCOMPARE(unit.handle(fault + (fault.contains('=') ? ",100" : "=100")).status, 200);
        now += 99;
        QCOMPARE(seen(unit, healthy), effect);
        now += 1;
        QCOMPARE(seen(unit, healthy), healthyAnswer);
    }

    void clipDrivesChosenChannelsToOver_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QString>("end"); // empty: the clip's own duration ends it
        QTest::addColumn<QJsonArray>("channels");
        QTest::newRow("one channel for 100 ms") << "SIM_CLIP=3,100"
                                                << "" << QJsonArray{3};
        QTest::newRow("all until cleared") << "SIM_CLIP=ALL"
                                           << "SIM_CLER" << QJsonArray{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("one until a restart") << "SIM_CLIP=5"
                                             << "SIM_BOOT" << QJsonArray{5};
    }

    // A clipping input reads the over level at every meter reading; the others keep theirs.
    void clipDrivesChosenChannelsToOver()
    {
        QFETCH(QString, clip);
        QFETCH(QString, end);
        QFETCH(QJsonArray, channels);
        qint64 now = 0;
        SimulatedUnit unit(unitId, 1, [&now] { return now; });
        const auto overs = [&unit] {
            QJsonArray clipping;
            const QJsonObject meter = QJsonDocument::fromJson(unit.handle("CMD_METR").body)
                                          .object()
                                          .value("meter")
                                          .toObject();
            for (int channel = 1; channel <= 8; ++channel) {
                if (meter.value(QString::number(channel)).toInt() == 63)
                    clipping.append(channel);
            }
            return clipping;
        };
        QCOMPARE(unit.handle(clip).status, 200);
        // Latched at once, as the unit's own metering sees it, read or not.
        const QJsonObject status =
            QJsonDocument::fromJson(unit.handle(statusCommand).body).object();
        for (const QJsonValue &channel : channels)
            QCOMPARE(field(status, QStringLiteral("%1/over").arg(channel.toInt())), "on");
        const QJsonObject stat = QJsonDocument::fromJson(unit.handle("SIM_STAT").body).object();
        QCOMPARE(stat["sim"]["faults"]["CLIP"]["channels"].toArray(), channels);
        for (int reading = 0; reading < 20; ++reading, now += 4)
            QCOMPARE(overs(), channels);
        if (end.isEmpty())
            now = 100;
        else
            QCOMPARE(unit.handle(end).status, 200);
        for (int reading = 0; reading < 20; ++reading)
            QCOMPARE(overs(), QJsonArray());
    }

    void countedFaultSpoilsTheNextAnswers_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("answers"); // to the next gain steps
        const auto row = [](const char *name, const QStringList &faults, const char *answers) {
            QTest::newRow(name) << faults << QString(answers);
        };
        row("one lost", {"SIM_DROP"}, "lost ok");
        row("three lost", {"SIM_DROP=3"}, "lost lost lost ok");
        row("one trickled", {"SIM_TRKL"}, "400ms/byte ok");
        row("trickled faster", {"SIM_TRKL=2,50"}, "50ms/byte 50ms/byte ok");
        row("lost before trickled", {"SIM_TRKL=1,10", "SIM_DROP"}, "lost 10ms/byte ok");
        row("cleared", {"SIM_DROP", "SIM_TRKL", "SIM_CLER"}, "ok");
        row("ended by a restart", {"SIM_DROP", "SIM_TRKL", "SIM_BOOT"}, "ok");
    }

    // Lost and trickled answers are counted, not timed; the command behind each takes effect.
    void countedFaultSpoilsTheNextAnswers()
    {
        QFETCH(QStringList, faults);
        QFETCH(QString, answers);
        SimulatedUnit unit(unitId);
        for (const QString &fault : faults)
            QCOMPARE(unit.handle(fault).status, 200);

        QStringList seen;
        for (int k = 0; k < answers.count(' ') + 1; ++k) {
            const SimulatedUnit::Result result = unit.handle(QStringLiteral("CMD_PGNU=3"));
            QCOMPARE(result.status, 200);
            seen << (result.drop            ? QStringLiteral("lost")
                     : result.trickleMs > 0 ? QStringLiteral("%1ms/byte").arg(result.trickleMs)
                                            : QStringLiteral("ok"));
        }

        QCOMPARE(seen.join(' '), answers);
        const QJsonObject status =
            QJsonDocument::fromJson(unit.handle(statusCommand).body).object();
        QCOMPARE(field(status, "3/gain").toInt(), answers.count(' ') + 1);
        QCOMPARE(QJsonDocument::fromJson(unit.handle("SIM_STAT").body)["sim"]["faults"].toObject(),
                 QJsonObject());
    }

    void scenarioIsParsed_data()
    {
        QTest::addColumn<QString>("text");
        // "AT_MS UNIT COMMAND" with UNIT 0-based, in playing order.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("error"); // "LINE: reason"
        const auto row = [](const char *name, const char *text, QStringList steps, int line = 0,
                            const char *error = "") {
            QTest::newRow(name) << QString::fromLatin1(text) << steps
                                << (line ? QStringLiteral("%1: %2").arg(line).arg(error)
                                         : QString());
        };
        const char *fields = "expected AT_MS UNIT FAULT [DURATION_MS]";
        // clang-format off
        row("empty", "", {});
        row("silent for a while", "10000 2 SLNT 10000", {"10000 1 SIM_SLNT=10000"});
        row("valued fault until cleared", "15000 3 HERR=500", {"15000 2 SIM_HERR=500"});
        row("valued fault for a while", "0 1 DLAY=300 2000", {"0 0 SIM_DLAY=300,2000"});
        row("comments, blanks, tabs, CRLF, sorted by time",
            "# rehearsal\n\n   \n2000\t1  UNLK\r\n  # indented\n1000 3 RFSE=500\n1000 2 CLER\n",
            {"1000 2 SIM_RFSE=500", "1000 1 SIM_CLER", "2000 0 SIM_UNLK"});
        row("too few fields", "# unit 1\n100 1", {}, 2, fields);
        row("too many fields", "100 1 SLNT 5 6", {}, 1, fields);
        row("bad time", "soon 1 SLNT", {}, 1, "bad time \"soon\"");
        row("negative time", "-5 1 SLNT", {}, 1, "bad time \"-5\"");
        row("unit 0", "\n100 0 SLNT", {}, 2, "unit must be 1 to 3");
        row("bad duration", "100 1 SLNT 0", {}, 1, "bad duration \"0\"");
        row("bad fault value", "100 1 HERR=200", {}, 1,
            "bad fault \"HERR=200\": value must be 400 to 599");
        row("serving profile", "0 1 SERL=60,5,2", {"0 0 SIM_SERL=60,5,2"});
        row("a channel clipping for a while", "500 2 CLIP=3 20000", {"500 1 SIM_CLIP=3,20000"});
        row("serving profile with a duration", "0 1 SERL=60 500", {}, 1, "SERL takes no duration");
        row("lost answers", "0 1 DROP\n5 2 TRKL=2,100", {"0 0 SIM_DROP", "5 1 SIM_TRKL=2,100"});
        row("lost answer with a duration", "0 1 DROP 500", {}, 1, "DROP takes no duration");
        row("trickle with a duration", "0 1 TRKL=1 500", {}, 1, "TRKL takes no duration");
        // clang-format on
    }

    void scenarioIsParsed()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, steps);

        const Scenario::Parsed parsed = Scenario::parse(text, 3);

        QStringList parsedSteps;
        for (const Scenario::Step &step : parsed.steps)
            parsedSteps
                << QStringLiteral("%1 %2 %3").arg(step.atMs).arg(step.unit).arg(step.command);
        QCOMPARE(parsedSteps, steps);
        QTEST(parsed.ok() ? QString()
                          : QStringLiteral("%1: %2").arg(parsed.errorLine).arg(parsed.error),
              "error");
    }
};

QTEST_GUILESS_MAIN(TestSimulatedUnit)
#include "tst_simulatedunit.moc"
