#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

#include "device/ReplyDocument.h"
#include "sim/Scenario.h"
#include "sim/SimulatedUnit.h"

namespace {

using Kind = ReplyDocument::Kind;
constexpr int unitId = 17;
const QString statusCommand = QStringLiteral("CMD_PSTS");

QJsonObject documentOf(const SimulatedUnit::Result &result)
{
    return QJsonDocument::fromJson(result.body).object();
}

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

QJsonValue stored(SimulatedUnit &unit, const QString &path)
{
    return field(documentOf(unit.handle(statusCommand)), path);
}

QList<int> meterLevels(SimulatedUnit &unit)
{
    const QJsonValue meter = documentOf(unit.handle(QStringLiteral("CMD_METR")))["meter"];
    QList<int> levels;
    for (int number = 1; number <= 8; ++number)
        levels << meter[QString::number(number)].toInt(-1);
    return levels;
}

// What a status request gets: "held", or the HTTP status, the delay and what the body is.
QString seen(SimulatedUnit &unit, const QByteArray &healthy)
{
    const SimulatedUnit::Result result = unit.handle(statusCommand);
    if (result.hold)
        return QStringLiteral("held");
    const QJsonObject document = documentOf(result);
    const QString body =
        result.body == healthy                            ? QStringLiteral("healthy")
        : result.body == healthy.left(healthy.size() / 2) ? QStringLiteral("half")
        : document.isEmpty()                              ? QStringLiteral("junk")
        : result.body.size() == 2 * 1024 * 1024
            ? QStringLiteral("2 MiB of unit %1").arg(field(document, "sys/id").toInt())
            : field(document, "adc/clksts").toString();
    return QStringLiteral("%1 %2ms %3").arg(result.status).arg(result.delayMs).arg(body);
}

bool answered(const SimulatedUnit::Result &result)
{
    return result.status == 200 && !result.hold;
}

} // namespace

class TestSimulatedUnit : public QObject
{
    Q_OBJECT

private slots:
    void commandTakesEffect_data();
    void commandTakesEffect();
    void malformedCommandIsRefusedWithoutEffect();
    void metersRiseWithGain();
    void overLatchesUntilClearedAndResetsRestoreAll();
    void faultLastsItsDurationOrUntilCleared_data();
    void faultLastsItsDurationOrUntilCleared();
    void scenarioIsParsed_data();
    void scenarioIsParsed();
    void servingProfileIsSetByCommand_data();
    void servingProfileIsSetByCommand();
    void serviceTimesLeaveMetersReproducible();
};

void TestSimulatedUnit::commandTakesEffect_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("expected");
    const auto row = [](const char *name, QStringList commands, Kind kind, const char *path,
                        QVariant expected) {
        QTest::newRow(name) << commands << int(kind) << QString::fromLatin1(path) << expected;
    };
    const Kind channel = Kind::Channel;
    // clang-format off
    row("phantom on", {"CMD_P48S=3,ON"}, channel, "3/48V", "on");
    row("phantom off", {"CMD_P48S=3,ON", "CMD_P48S=3,OFF"}, channel, "3/48V", "off");
    row("phase on", {"CMD_PPHS=8,ON"}, channel, "8/phase", "on");
    row("ribbon on", {"CMD_PIPS=1,ON"}, channel, "1/rbbn", "on");
    row("phantom toggled", {"CMD_P48T=2"}, channel, "2/48V", "on");
    row("phase toggled twice", {"CMD_PPHT=2", "CMD_PPHT=2"}, channel, "2/phase", "off");
    row("ribbon toggled", {"CMD_PIPT=7"}, channel, "7/rbbn", "on");
    row("gain set", {"CMD_PGNS=4,30"}, channel, "4/gain", 30);
    row("gain set below range", {"CMD_PGNS=4,-1"}, channel, "4/gain", 0);
    row("gain set above range", {"CMD_PGNS=4,70"}, channel, "4/gain", 68);
    row("gain up", {"CMD_PGNU=4"}, channel, "4/gain", 1);
    row("gain up at top", {"CMD_PGNS=4,68", "CMD_PGNU=4"}, channel, "4/gain", 68);
    row("gain down", {"CMD_PGNS=4,68", "CMD_PGND=4"}, channel, "4/gain", 67);
    row("gain down at bottom", {"CMD_PGND=4"}, channel, "4/gain", 0);
    row("channel name", {"CMD_NMCH=5,Kick"}, channel, "5/name", "Kick");
    row("name without comma kept", {"CMD_NMCH=5,Kick", "CMD_NMCH=5"}, channel, "5/name", "Kick");
    row("over cleared", {"CMD_DOVC=6"}, channel, "6/over", "off");
    row("unit name", {"CMD_NMDV=Stage left"}, Kind::Status, "sys/name", "Stage left");
    row("sample rate", {"CMD_ADFS=4"}, Kind::Converter, "adc/fs", 4);
    row("clock source", {"CMD_ADCK=3"}, Kind::Converter, "adc/clksrc", 3);
    row("output format", {"CMD_ADTX=0"}, Kind::Converter, "adc/fmt", 0);
    row("clock out", {"CMD_ADOC=1"}, Kind::Converter, "adc/clkout", 1);
    row("status", {"CMD_PSTS"}, Kind::Status, "sys/id", unitId);
    row("factory reset", {"CMD_PGNS=1,20", "CMD_FREC=0"}, Kind::Status, "1/gain", 0);
    row("meters", {"CMD_METR"}, Kind::Meter, "adc/fs", 2);
    // clang-format on
}

void TestSimulatedUnit::commandTakesEffect()
{
    QFETCH(QStringList, commands);
    QFETCH(int, kind);
    QFETCH(QString, path);
    QFETCH(QVariant, expected);
    SimulatedUnit unit(unitId);
    SimulatedUnit::Result last;
    for (const QString &command : commands)
        last = unit.handle(command);

    QCOMPARE(last.status, 200);
    const QJsonObject answer = documentOf(last);
    QCOMPARE(int(ReplyDocument::classify(answer)), kind);
    const int channels = answer.value(QStringLiteral("channels")).toArray().size();
    QCOMPARE(channels, kind == int(Kind::Channel) ? 1 : kind == int(Kind::Status) ? 8 : 0);
    if (kind != int(Kind::Meter))
        QCOMPARE(field(answer, path), QJsonValue::fromVariant(expected));
    QCOMPARE(stored(unit, path), QJsonValue::fromVariant(expected));
}

void TestSimulatedUnit::malformedCommandIsRefusedWithoutEffect()
{
    SimulatedUnit unit(unitId);
    const QByteArray healthy = unit.handle(statusCommand).body;
    // clang-format off
    for (const char *command : {
        "", "PSTS", "cmd_psts", "CMD_XXXX", "CMD_PSTS=1", "CMD_METR=1", "CMD_FREC", "CMD_FREC=1",
        "CMD_P48S=0,ON", "CMD_P48S=9,ON", "CMD_PPHS=3,on", "CMD_PIPS=3", "CMD_P48T", "CMD_PPHT=x",
        "CMD_PGNS=1,loud", "CMD_PGNS=1", "CMD_PGNU=0", "CMD_PGND=9", "CMD_DOVC=9", "CMD_NMCH=,Kick",
        "CMD_NMDV", "CMD_ADFS=9", "CMD_ADFS=-1", "CMD_ADFS=x", "CMD_ADCK=4", "CMD_ADTX=2",
        "CMD_ADOC=2", "SIM_XXXX", "SIM_HERR", "SIM_HERR=200", "SIM_HERR=600", "SIM_HERR=500,0",
        "SIM_RFSE", "SIM_RFSE=0", "SIM_SLNT=", "SIM_SLNT=soon", "SIM_SLNT=-5", "SIM_DLAY",
        "SIM_DLAY=20000", "SIM_BOOT=x", "SIM_CLER=1", "SIM_STAT=ALL"}) {
        // clang-format on
        const SimulatedUnit::Result result = unit.handle(QString::fromLatin1(command));
        QVERIFY2(result.status == 400 && result.refuseMs == 0, command);
        QVERIFY2(seen(unit, healthy) == QLatin1String("200 0ms healthy"), command);
    }
}

void TestSimulatedUnit::metersRiseWithGain()
{
    qint64 now = 0;
    SimulatedUnit unit(unitId, 7, [&now] { return now; });
    QList<double> averages;
    for (int gain : {0, 34, 68}) {
        for (int number = 1; number <= 8; ++number)
            unit.handle(QStringLiteral("CMD_PGNS=%1,%2").arg(number).arg(gain));
        double sum = 0;
        for (int reading = 0; reading < 200; ++reading, now += 60) {
            for (int level : meterLevels(unit)) {
                QVERIFY2(level >= 0 && level <= 63, qPrintable(QString::number(level)));
                sum += level;
            }
        }
        averages << sum / (200 * 8);
    }
    QVERIFY2(
        averages[0] < 15 && averages[0] + 10 < averages[1] && averages[1] + 10 < averages[2],
        qPrintable(QStringLiteral("%1 %2 %3").arg(averages[0]).arg(averages[1]).arg(averages[2])));
}

// Cleared by CMD_DOVC, a factory reset or a restart; the resets restore all factory settings
// and keep the id, which the status document holds too.
void TestSimulatedUnit::overLatchesUntilClearedAndResetsRestoreAll()
{
    for (const QString clearing : {"CMD_DOVC=1", "CMD_FREC=0", "SIM_BOOT"}) {
        qint64 now = 0;
        SimulatedUnit unit(unitId, 3, [&now] { return now; });
        const QByteArray factory = unit.handle(statusCommand).body;
        for (const char *change :
             {"CMD_NMDV=Rack", "CMD_NMCH=1,Kick", "CMD_P48S=1,ON", "CMD_PPHS=2,ON", "CMD_PIPS=3,ON",
              "CMD_ADFS=4", "CMD_ADCK=1", "CMD_ADTX=0", "CMD_ADOC=1", "CMD_PGNS=1,68"})
            QVERIFY(answered(unit.handle(QString::fromLatin1(change))));
        int level = 0;
        for (int reading = 0; reading < 5000 && level < 63; ++reading, now += 60) {
            level = meterLevels(unit).at(0);
            QCOMPARE(stored(unit, "1/over").toString(), QLatin1String(level == 63 ? "on" : "off"));
        }
        QCOMPARE(level, 63);
        QCOMPARE(stored(unit, "2/over").toString(), QStringLiteral("off"));
        unit.handle(QStringLiteral("CMD_PGNS=1,0"));
        QVERIFY(meterLevels(unit).at(0) < 63);
        QCOMPARE(stored(unit, "1/over").toString(), QStringLiteral("on"));

        QVERIFY2(answered(unit.handle(clearing)), qPrintable(clearing));

        QCOMPARE(stored(unit, "1/over").toString(), QStringLiteral("off"));
        QCOMPARE(unit.handle(statusCommand).body == factory, !clearing.startsWith("CMD_DOVC"));
    }
}

void TestSimulatedUnit::faultLastsItsDurationOrUntilCleared_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("effect");
    // clang-format off
    QTest::newRow("silent") << "SIM_SLNT" << "held";
    QTest::newRow("http error") << "SIM_HERR=503" << "503 0ms junk";
    QTest::newRow("garbage") << "SIM_GRBG" << "200 0ms junk";
    QTest::newRow("truncated") << "SIM_TRNC" << "200 0ms half";
    QTest::newRow("huge") << "SIM_HUGE" << "200 0ms 2 MiB of unit 17";
    QTest::newRow("delay") << "SIM_DLAY=250" << "200 250ms healthy";
    QTest::newRow("unlocked") << "SIM_UNLK" << "200 0ms unlocked";
    // clang-format on
}

// The simulation commands answer whatever the fault, so a harness can always end it.
void TestSimulatedUnit::faultLastsItsDurationOrUntilCleared()
{
    QFETCH(QString, fault);
    QFETCH(QString, effect);
    qint64 now = 0;
    SimulatedUnit unit(unitId, 1, [&now] { return now; });
    const QByteArray healthy = unit.handle(statusCommand).body;
    const QString normal = QStringLiteral("200 0ms healthy");
    for (const char *end : {"SIM_CLER", "SIM_BOOT"}) {
        QVERIFY(answered(unit.handle(fault)));
        now += SimulatedUnit::maxDurationMs;
        QCOMPARE(seen(unit, healthy), effect);
        QVERIFY(answered(unit.handle(QString::fromLatin1(end))));
        QCOMPARE(seen(unit, healthy), normal);
    }

    QVERIFY(answered(unit.handle(fault + (fault.contains('=') ? ",100" : "=100"))));
    now += 99;
    QCOMPARE(seen(unit, healthy), effect);
    now += 1;
    QCOMPARE(seen(unit, healthy), normal);
}

void TestSimulatedUnit::scenarioIsParsed_data()
{
    QTest::addColumn<QString>("text");
    // "AT_MS UNIT COMMAND" with UNIT 0-based, in playing order.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<QString>("error");
    const auto row = [](const char *name, const char *text, QStringList steps, int errorLine = 0,
                        const char *error = "") {
        QTest::newRow(name) << QString::fromLatin1(text) << steps << errorLine
                            << QString::fromLatin1(error);
    };
    // clang-format off
    row("empty", "", {});
    row("silent for a while", "10000 2 SLNT 10000", {"10000 1 SIM_SLNT=10000"});
    row("valued fault until cleared", "15000 3 HERR=500", {"15000 2 SIM_HERR=500"});
    row("valued fault for a while", "0 1 DLAY=300 2000", {"0 0 SIM_DLAY=300,2000"});
    row("comments, blanks, tabs, CRLF, sorted by time",
        "# rehearsal\n\n   \n2000\t1  UNLK\r\n  # indented\n1000 3 RFSE=500\n1000 2 CLER\n",
        {"1000 2 SIM_RFSE=500", "1000 1 SIM_CLER", "2000 0 SIM_UNLK"});
    row("too few fields", "# unit 1\n100 1", {}, 2, "expected AT_MS UNIT FAULT [DURATION_MS]");
    row("too many fields", "100 1 SLNT 5 6", {}, 1, "expected AT_MS UNIT FAULT [DURATION_MS]");
    row("bad time", "soon 1 SLNT", {}, 1, "bad time \"soon\"");
    row("negative time", "-5 1 SLNT", {}, 1, "bad time \"-5\"");
    row("unit 0", "\n100 0 SLNT", {}, 2, "unit must be 1 to 3");
    row("unit beyond the last", "100 1 SLNT\n200 2 SLNT\n300 4 SLNT", {}, 3, "unit must be 1 to 3");
    row("bad duration", "100 1 SLNT 0", {}, 1, "bad duration \"0\"");
    row("unknown fault", "100 1 XXXX", {}, 1,
        "bad fault \"XXXX\": unknown simulator command SIM_XXXX");
    row("bad fault value", "100 1 HERR=200", {}, 1, "bad fault \"HERR=200\": value must be 400 to 599");
    row("fault without duration", "100 1 CLER 500", {}, 1,
        "bad fault \"CLER=500\": no argument expected");
    row("serving profile", "0 1 SERL=60,5,2", {"0 0 SIM_SERL=60,5,2"});
    row("serving profile with a duration", "0 1 SERL=60 500", {}, 1, "SERL takes no duration");
    // clang-format on
}

void TestSimulatedUnit::scenarioIsParsed()
{
    QFETCH(QString, text);
    QFETCH(QStringList, steps);
    QFETCH(int, errorLine);
    QFETCH(QString, error);

    const Scenario::Parsed parsed = Scenario::parse(text, 3);

    QStringList parsedSteps;
    for (const Scenario::Step &step : parsed.steps)
        parsedSteps << QStringLiteral("%1 %2 %3").arg(step.atMs).arg(step.unit).arg(step.command);
    QCOMPARE(parsedSteps, steps);
    QCOMPARE(parsed.errorLine, errorLine);
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.ok(), errorLine == 0);
}

void TestSimulatedUnit::servingProfileIsSetByCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("status");
    // "serial|fast serviceMs jitterMs maxConnections", from a unit set to "SIM_SERL=60,5,8".
    QTest::addColumn<QString>("profile");
    const auto row = [](const char *command, int status, const char *profile) {
        QTest::newRow(command) << command << status << profile;
    };
    // clang-format off
    row("SIM_SERL=30", 200, "serial 30 0 4");
    row("SIM_SERL=0,2000", 200, "serial 0 2000 4");
    row("SIM_SERL=2000,0,64", 200, "serial 2000 0 64");
    row("SIM_SERL=0,0,1", 200, "serial 0 0 1");
    row("SIM_SERL=OFF", 200, "fast 0 0 0");
    row("SIM_CLER", 200, "serial 60 5 8");
    row("SIM_BOOT", 200, "serial 60 5 8");
    for (const char *bad : {"SIM_SERL", "SIM_SERL=", "SIM_SERL=off", "SIM_SERL=-1", "SIM_SERL=2001",
                            "SIM_SERL=60,-1", "SIM_SERL=60,2001", "SIM_SERL=60,,4",
                            "SIM_SERL=60,0,0", "SIM_SERL=60,0,65", "SIM_SERL=60,0,4,1"})
        row(bad, 400, "serial 60 5 8");
    // clang-format on
}

// The profile is part of every simulation answer; clearing faults or restarting keeps it.
void TestSimulatedUnit::servingProfileIsSetByCommand()
{
    QFETCH(QString, command);
    QFETCH(int, status);
    QFETCH(QString, profile);
    SimulatedUnit unit(unitId);
    QVERIFY(answered(unit.handle(QStringLiteral("SIM_SERL=60,5,8"))));

    QCOMPARE(unit.handle(command).status, status);

    const auto text = [](const SimulatedUnit::Profile &held) {
        return QStringLiteral("%1 %2 %3 %4")
            .arg(QLatin1String(held.serial ? "serial" : "fast"))
            .arg(held.serviceMs)
            .arg(held.jitterMs)
            .arg(held.maxConnections);
    };
    const QJsonValue shown =
        documentOf(unit.handle(QStringLiteral("SIM_STAT"))).value("sim")["profile"];
    QCOMPARE(text({shown["serial"].toBool(), shown["serviceMs"].toInt(-1),
                   shown["jitterMs"].toInt(-1), shown["maxConnections"].toInt(-1)}),
             profile);
    QCOMPARE(text(unit.profile()), profile);
}

// Service times cover [service, service + jitter], and drawing them leaves the meters reading
// what a unit serving nothing reads.
void TestSimulatedUnit::serviceTimesLeaveMetersReproducible()
{
    qint64 now = 0;
    SimulatedUnit quiet(unitId, 5, [&now] { return now; });
    SimulatedUnit busy(unitId, 5, [&now] { return now; });
    QVERIFY(answered(busy.handle(QStringLiteral("SIM_SERL=10,5"))));
    QSet<int> drawn;
    for (int reading = 0; reading < 50; ++reading, now += 60) {
        for (int request = 0; request < 3; ++request)
            drawn << busy.nextServiceMs();
        QCOMPARE(meterLevels(busy), meterLevels(quiet));
    }
    QCOMPARE(drawn, (QSet<int>{10, 11, 12, 13, 14, 15}));
}

QTEST_GUILESS_MAIN(TestSimulatedUnit)
#include "tst_simulatedunit.moc"
