#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <thread>
#include <vector>

#include "device/ReplyDocument.h"
#include "sim/SimulatedUnit.h"

namespace {

constexpr int unitId = 17;
constexpr int channelKind = int(ReplyDocument::Kind::Channel);
constexpr int statusKind = int(ReplyDocument::Kind::Status);
constexpr int converterKind = int(ReplyDocument::Kind::Converter);
constexpr int meterKind = int(ReplyDocument::Kind::Meter);

QJsonObject documentOf(const SimulatedUnit::Result &result)
{
    return QJsonDocument::fromJson(result.body).object();
}

QJsonObject statusOf(SimulatedUnit &unit)
{
    return documentOf(unit.handle(QStringLiteral("CMD_PSTS")));
}

QJsonObject simOf(SimulatedUnit &unit, const QString &command = QStringLiteral("SIM_STAT"))
{
    return documentOf(unit.handle(command)).value(QStringLiteral("sim")).toObject();
}

// A value of a unit document by path: "sys/name", "adc/fs", or "3/48V" for channel 3.
QJsonValue field(const QJsonObject &document, const QString &path)
{
    const QString group = path.section(QLatin1Char('/'), 0, 0);
    const QString key = path.section(QLatin1Char('/'), 1);
    bool isChannel = false;
    const int number = group.toInt(&isChannel);
    if (!isChannel)
        return document.value(group).toObject().value(key);
    for (const QJsonValue &entry : document.value(QStringLiteral("channels")).toArray()) {
        if (entry.toObject().value(QStringLiteral("no")).toInt() == number)
            return entry.toObject().value(key);
    }
    return QJsonValue();
}

QList<int> meterLevels(SimulatedUnit &unit)
{
    const QJsonObject meter = documentOf(unit.handle(QStringLiteral("CMD_METR")))
                                  .value(QStringLiteral("meter"))
                                  .toObject();
    QList<int> levels;
    for (int number = 1; number <= 8; ++number)
        levels << meter.value(QString::number(number)).toInt(-1);
    return levels;
}

// Everything a harness can observe of a unit but its request counters.
QString observable(SimulatedUnit &unit)
{
    const SimulatedUnit::Result status = unit.handle(QStringLiteral("CMD_PSTS"));
    QJsonObject sim = simOf(unit);
    sim.remove(QStringLiteral("requests"));
    sim.remove(QStringLiteral("codes"));
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(status.status)
        .arg(status.hold)
        .arg(status.delayMs)
        .arg(QString::fromUtf8(status.body), QString::fromUtf8(QJsonDocument(sim).toJson()));
}

// A clock the test moves by hand.
struct SteppedClock
{
    qint64 now = 0;
    SimulatedUnit::Clock clock()
    {
        return [this] {
            return now;
        };
    }
};

bool answersNormally(SimulatedUnit &unit, const QByteArray &healthyStatus)
{
    const SimulatedUnit::Result result = unit.handle(QStringLiteral("CMD_PSTS"));
    return !result.hold && result.status == 200 && result.delayMs == 0 &&
           result.body == healthyStatus;
}

} // namespace

class TestSimulatedUnit : public QObject
{
    Q_OBJECT

private slots:
    void commandChangesState_data();
    void commandChangesState();
    void malformedCommandIsRefusedWithoutEffect_data();
    void malformedCommandIsRefusedWithoutEffect();
    void namesAreStoredExactly_data();
    void namesAreStoredExactly();
    void resetRestoresFactoryDefaultsButKeepsId_data();
    void resetRestoresFactoryDefaultsButKeepsId();
    void metersRiseWithGain();
    void overLatchesAtFullScaleUntilCleared_data();
    void overLatchesAtFullScaleUntilCleared();
    void metersAreReproducibleFromTheSeed();
    void faultShapesTheAnswer_data();
    void faultShapesTheAnswer();
    void spoiledBodiesKeepTheirShape();
    void faultEndsAfterItsDuration_data();
    void faultEndsAfterItsDuration();
    void faultWithoutDurationLastsUntilCleared_data() { faultEndsAfterItsDuration_data(); }
    void faultWithoutDurationLastsUntilCleared();
    void bootClearsFaultsAndCountsBoots();
    void requestsAreCountedPerCode();
    void concurrentRequestsAreAllCounted();
};

void TestSimulatedUnit::commandChangesState_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("expected");
    const auto row = [](const char *name, QStringList commands, int kind, const char *path,
                        QVariant expected) {
        QTest::newRow(name) << commands << kind << QString::fromLatin1(path) << expected;
    };
    row("phantom on", {"CMD_P48S=3,ON"}, channelKind, "3/48V", "on");
    row("phantom off", {"CMD_P48S=3,ON", "CMD_P48S=3,OFF"}, channelKind, "3/48V", "off");
    row("phase on", {"CMD_PPHS=8,ON"}, channelKind, "8/phase", "on");
    row("ribbon on", {"CMD_PIPS=1,ON"}, channelKind, "1/rbbn", "on");
    row("phantom toggled", {"CMD_P48T=2"}, channelKind, "2/48V", "on");
    row("phase toggled twice", {"CMD_PPHT=2", "CMD_PPHT=2"}, channelKind, "2/phase", "off");
    row("ribbon toggled", {"CMD_PIPT=7"}, channelKind, "7/rbbn", "on");
    row("gain set", {"CMD_PGNS=4,30"}, channelKind, "4/gain", 30);
    row("gain set below range", {"CMD_PGNS=4,-1"}, channelKind, "4/gain", 0);
    row("gain set above range", {"CMD_PGNS=4,70"}, channelKind, "4/gain", 68);
    row("gain up", {"CMD_PGNU=4"}, channelKind, "4/gain", 1);
    row("gain up at top", {"CMD_PGNS=4,68", "CMD_PGNU=4"}, channelKind, "4/gain", 68);
    row("gain down", {"CMD_PGNS=4,68", "CMD_PGND=4"}, channelKind, "4/gain", 67);
    row("gain down at bottom", {"CMD_PGND=4"}, channelKind, "4/gain", 0);
    row("channel name", {"CMD_NMCH=5,Kick"}, channelKind, "5/name", "Kick");
    row("name without comma kept", {"CMD_NMCH=5,Kick", "CMD_NMCH=5"}, channelKind, "5/name",
        "Kick");
    row("over cleared", {"CMD_DOVC=6"}, channelKind, "6/over", "off");
    row("unit name", {"CMD_NMDV=Stage left"}, statusKind, "sys/name", "Stage left");
    row("sample rate", {"CMD_ADFS=4"}, converterKind, "adc/fs", 4);
    row("clock source", {"CMD_ADCK=3"}, converterKind, "adc/clksrc", 3);
    row("output format", {"CMD_ADTX=0"}, converterKind, "adc/fmt", 0);
    row("clock out", {"CMD_ADOC=1"}, converterKind, "adc/clkout", 1);
    row("status", {"CMD_PSTS"}, statusKind, "sys/id", unitId);
    row("factory reset", {"CMD_PGNS=1,20", "CMD_FREC=0"}, statusKind, "1/gain", 0);
    row("meters", {"CMD_METR"}, meterKind, "adc/fs", 2);
}

void TestSimulatedUnit::commandChangesState()
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
    QCOMPARE(last.contentType, QByteArray("application/json"));
    const QJsonObject answer = documentOf(last);
    QCOMPARE(int(ReplyDocument::classify(answer)), kind);
    if (kind == channelKind)
        QCOMPARE(answer.value(QStringLiteral("channels")).toArray().size(), 1);
    if (kind != meterKind)
        QCOMPARE(field(answer, path), QJsonValue::fromVariant(expected));
    // Stored, not just echoed.
    QCOMPARE(field(statusOf(unit), path), QJsonValue::fromVariant(expected));
}

void TestSimulatedUnit::malformedCommandIsRefusedWithoutEffect_data()
{
    QTest::addColumn<QString>("command");
    for (const char *command : {"",
                                "PSTS",
                                "cmd_psts",
                                "CMD_XXXX",
                                "CMD_PSTS=1",
                                "CMD_FREC",
                                "CMD_P48S=0,ON",
                                "CMD_P48S=9,ON",
                                "CMD_PPHS=3,on",
                                "CMD_PIPS=3",
                                "CMD_P48T",
                                "CMD_PPHT=x",
                                "CMD_PGNS=1,loud",
                                "CMD_PGNS=1",
                                "CMD_PGNU=0",
                                "CMD_DOVC=9",
                                "CMD_NMCH=,Kick",
                                "CMD_NMDV",
                                "CMD_ADFS=9",
                                "CMD_ADFS=-1",
                                "CMD_ADFS=x",
                                "CMD_ADCK=4",
                                "CMD_ADTX=2",
                                "CMD_ADOC=2",
                                "SIM_XXXX",
                                "SIM_HERR",
                                "SIM_HERR=200",
                                "SIM_HERR=600",
                                "SIM_HERR=500,0",
                                "SIM_RFSE",
                                "SIM_RFSE=0",
                                "SIM_SLNT=",
                                "SIM_SLNT=soon",
                                "SIM_SLNT=-5",
                                "SIM_DLAY",
                                "SIM_DLAY=20000",
                                "SIM_BOOT=x",
                                "SIM_CLER=1",
                                "SIM_STAT=ALL"})
        QTest::newRow(*command ? command : "empty") << QString::fromLatin1(command);
}

void TestSimulatedUnit::malformedCommandIsRefusedWithoutEffect()
{
    QFETCH(QString, command);
    SimulatedUnit unit(unitId);
    const QString before = observable(unit);

    const SimulatedUnit::Result result = unit.handle(command);

    QCOMPARE(result.status, 400);
    QVERIFY(result.contentType.startsWith("text/plain"));
    QVERIFY(!result.body.trimmed().isEmpty());
    QCOMPARE(result.refuseMs, 0);
    QCOMPARE(observable(unit), before);
}

void TestSimulatedUnit::namesAreStoredExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("spaces") << "  Lead Vox 2  ";
    QTest::newRow("commas") << "a,b,,c";
    QTest::newRow("query characters") << "R&B=1+1?/#%20";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Über \xF0\x9F\x8E\xA4 \xCE\xA9");
}

void TestSimulatedUnit::namesAreStoredExactly()
{
    QFETCH(QString, name);
    SimulatedUnit unit(unitId);

    QCOMPARE(field(documentOf(unit.handle("CMD_NMCH=2," + name)), "2/name").toString(), name);
    QCOMPARE(field(documentOf(unit.handle("CMD_NMDV=" + name)), "sys/name").toString(), name);
    const QJsonObject status = statusOf(unit);
    QCOMPARE(field(status, "2/name").toString(), name);
    QCOMPARE(field(status, "sys/name").toString(), name);
}

void TestSimulatedUnit::resetRestoresFactoryDefaultsButKeepsId_data()
{
    QTest::addColumn<QString>("reset");
    QTest::newRow("factory reset") << "CMD_FREC=0";
    QTest::newRow("restart") << "SIM_BOOT";
}

void TestSimulatedUnit::resetRestoresFactoryDefaultsButKeepsId()
{
    QFETCH(QString, reset);
    SimulatedUnit unit(unitId);
    const QJsonObject factory = statusOf(unit);
    QCOMPARE(field(factory, "sys/id").toInt(), unitId);
    QCOMPARE(field(factory, "sys/name").toString(), QStringLiteral("octo-17"));
    QCOMPARE(field(factory, "8/name").toString(), QStringLiteral("Ch8"));
    QCOMPARE(field(factory, "adc/fs").toInt(), 2);
    QCOMPARE(field(factory, "adc/fmt").toInt(), 1);
    QCOMPARE(field(factory, "adc/clksts").toString(), QStringLiteral("locked"));
    for (const char *change :
         {"CMD_NMDV=Rack", "CMD_NMCH=1,Kick", "CMD_PGNS=1,40", "CMD_P48S=1,ON", "CMD_PPHS=2,ON",
          "CMD_PIPS=3,ON", "CMD_ADFS=4", "CMD_ADCK=1", "CMD_ADTX=0", "CMD_ADOC=1"})
        QCOMPARE(unit.handle(QString::fromLatin1(change)).status, 200);
    QVERIFY(statusOf(unit) != factory);

    unit.handle(reset);

    QCOMPARE(statusOf(unit), factory);
}

void TestSimulatedUnit::metersRiseWithGain()
{
    SteppedClock time;
    SimulatedUnit unit(unitId, 7, time.clock());
    QList<double> averages;
    for (int gain : {0, 34, 68}) {
        for (int number = 1; number <= 8; ++number)
            unit.handle(QStringLiteral("CMD_PGNS=%1,%2").arg(number).arg(gain));
        double sum = 0;
        for (int reading = 0; reading < 200; ++reading) {
            time.now += 60;
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

void TestSimulatedUnit::overLatchesAtFullScaleUntilCleared_data()
{
    QTest::addColumn<QString>("clearing");
    QTest::newRow("clear over") << "CMD_DOVC=1";
    QTest::newRow("factory reset") << "CMD_FREC=0";
    QTest::newRow("restart") << "SIM_BOOT";
}

void TestSimulatedUnit::overLatchesAtFullScaleUntilCleared()
{
    QFETCH(QString, clearing);
    SteppedClock time;
    SimulatedUnit unit(unitId, 3, time.clock());
    unit.handle(QStringLiteral("CMD_PGNS=1,68"));

    int level = 0;
    for (int reading = 0; reading < 5000 && level < 63; ++reading) {
        time.now += 60;
        level = meterLevels(unit).at(0);
        QCOMPARE(field(statusOf(unit), "1/over").toString(),
                 QLatin1String(level == 63 ? "on" : "off"));
    }
    QCOMPARE(level, 63);
    QCOMPARE(field(statusOf(unit), "2/over").toString(), QStringLiteral("off"));
    unit.handle(QStringLiteral("CMD_PGNS=1,0"));
    for (int reading = 0; reading < 20; ++reading)
        QVERIFY(meterLevels(unit).at(0) < 63);
    QCOMPARE(field(statusOf(unit), "1/over").toString(), QStringLiteral("on"));

    unit.handle(clearing);

    QCOMPARE(field(statusOf(unit), "1/over").toString(), QStringLiteral("off"));
}

void TestSimulatedUnit::metersAreReproducibleFromTheSeed()
{
    SteppedClock time;
    SimulatedUnit first(unitId, 5, time.clock());
    SimulatedUnit again(unitId, 5, time.clock());
    SimulatedUnit other(unitId, 6, time.clock());
    bool otherDiffers = false;
    for (int reading = 0; reading < 20; ++reading) {
        time.now += 60;
        const QList<int> levels = meterLevels(first);
        QCOMPARE(meterLevels(again), levels);
        otherDiffers = otherDiffers || meterLevels(other) != levels;
    }
    QVERIFY(otherDiffers);
}

void TestSimulatedUnit::faultShapesTheAnswer_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("hold");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QString>("clock");
    QTest::newRow("silent") << "SIM_SLNT" << true << 0 << false << 0 << "";
    QTest::newRow("http error") << "SIM_HERR=503" << false << 503 << false << 0 << "";
    QTest::newRow("garbage") << "SIM_GRBG" << false << 200 << false << 0 << "";
    QTest::newRow("truncated") << "SIM_TRNC" << false << 200 << false << 0 << "";
    QTest::newRow("huge") << "SIM_HUGE" << false << 200 << true << 0 << "locked";
    QTest::newRow("delay") << "SIM_DLAY=250" << false << 200 << true << 250 << "locked";
    QTest::newRow("unlocked") << "SIM_UNLK" << false << 200 << true << 0 << "unlocked";
}

void TestSimulatedUnit::faultShapesTheAnswer()
{
    QFETCH(QString, fault);
    QFETCH(bool, hold);
    QFETCH(int, status);
    QFETCH(bool, json);
    QFETCH(int, delayMs);
    QFETCH(QString, clock);
    SimulatedUnit unit(unitId);
    QVERIFY(
        simOf(unit, fault).value(QStringLiteral("faults")).toObject().contains(fault.mid(4, 4)));

    const SimulatedUnit::Result result = unit.handle(QStringLiteral("CMD_PSTS"));

    QCOMPARE(result.hold, hold);
    // The control channel stays open whatever the fault.
    QCOMPARE(unit.handle(QStringLiteral("SIM_STAT")).status, 200);
    if (hold)
        return;
    QCOMPARE(result.status, status);
    QCOMPARE(result.delayMs, delayMs);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(result.body, &error);
    QCOMPARE(error.error == QJsonParseError::NoError, json);
    if (json)
        QCOMPARE(field(document.object(), "adc/clksts").toString(), clock);
}

void TestSimulatedUnit::spoiledBodiesKeepTheirShape()
{
    SimulatedUnit unit(unitId);
    const QByteArray healthy = unit.handle(QStringLiteral("CMD_PSTS")).body;

    unit.handle(QStringLiteral("SIM_TRNC"));
    QCOMPARE(unit.handle(QStringLiteral("CMD_PSTS")).body, healthy.left(healthy.size() / 2));

    unit.handle(QStringLiteral("SIM_CLER"));
    unit.handle(QStringLiteral("SIM_HUGE"));
    const QByteArray huge = unit.handle(QStringLiteral("CMD_PSTS")).body;
    QCOMPARE(huge.size(), 2 * 1024 * 1024);
    QCOMPARE(field(QJsonDocument::fromJson(huge).object(), "sys/id").toInt(), unitId);
}

void TestSimulatedUnit::faultEndsAfterItsDuration_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("timedFault");
    QTest::newRow("silent") << "SIM_SLNT"
                            << "SIM_SLNT=100";
    QTest::newRow("http error") << "SIM_HERR=500"
                                << "SIM_HERR=500,100";
    QTest::newRow("garbage") << "SIM_GRBG"
                             << "SIM_GRBG=100";
    QTest::newRow("truncated") << "SIM_TRNC"
                               << "SIM_TRNC=100";
    QTest::newRow("huge") << "SIM_HUGE"
                          << "SIM_HUGE=100";
    QTest::newRow("delay") << "SIM_DLAY=50"
                           << "SIM_DLAY=50,100";
    QTest::newRow("unlocked") << "SIM_UNLK"
                              << "SIM_UNLK=100";
}

void TestSimulatedUnit::faultEndsAfterItsDuration()
{
    QFETCH(QString, timedFault);
    SteppedClock time;
    SimulatedUnit unit(unitId, 1, time.clock());
    const QByteArray healthy = unit.handle(QStringLiteral("CMD_PSTS")).body;
    QCOMPARE(unit.handle(timedFault).status, 200);

    time.now += 99;
    QVERIFY(!answersNormally(unit, healthy));
    time.now += 1;
    QVERIFY(answersNormally(unit, healthy));
}

void TestSimulatedUnit::faultWithoutDurationLastsUntilCleared()
{
    QFETCH(QString, fault);
    SteppedClock time;
    SimulatedUnit unit(unitId, 1, time.clock());
    const QByteArray healthy = unit.handle(QStringLiteral("CMD_PSTS")).body;
    QCOMPARE(unit.handle(fault).status, 200);

    time.now += 24 * 3600 * 1000;
    QVERIFY(!answersNormally(unit, healthy));
    QCOMPARE(simOf(unit, QStringLiteral("SIM_CLER")).value(QStringLiteral("faults")).toObject(),
             QJsonObject());
    QVERIFY(answersNormally(unit, healthy));
}

void TestSimulatedUnit::bootClearsFaultsAndCountsBoots()
{
    SimulatedUnit unit(unitId);
    const int boots = simOf(unit).value(QStringLiteral("boots")).toInt();
    unit.handle(QStringLiteral("SIM_HERR=500"));
    unit.handle(QStringLiteral("SIM_UNLK"));

    const QJsonObject sim = simOf(unit, QStringLiteral("SIM_BOOT"));

    QCOMPARE(sim.value(QStringLiteral("boots")).toInt(), boots + 1);
    QCOMPARE(sim.value(QStringLiteral("faults")).toObject(), QJsonObject());
    QCOMPARE(sim.value(QStringLiteral("id")).toInt(), unitId);
    QCOMPARE(unit.handle(QStringLiteral("CMD_PSTS")).status, 200);
}

void TestSimulatedUnit::requestsAreCountedPerCode()
{
    SimulatedUnit unit(unitId);
    for (const char *command :
         {"CMD_PSTS", "CMD_PSTS", "CMD_METR", "CMD_METR", "CMD_METR", "CMD_XXXX", "junk"})
        unit.handle(QString::fromLatin1(command));

    const QJsonObject sim = simOf(unit);
    QCOMPARE(sim.value(QStringLiteral("requests")).toInt(), 7);
    const QJsonObject codes = sim.value(QStringLiteral("codes")).toObject();
    QCOMPARE(codes, QJsonObject({{"CMD_PSTS", 2}, {"CMD_METR", 3}, {"CMD_XXXX", 1}}));

    const QJsonObject reset = simOf(unit, QStringLiteral("SIM_STAT=RESET"));
    QCOMPARE(reset.value(QStringLiteral("requests")).toInt(), 0);
    QCOMPARE(reset.value(QStringLiteral("codes")).toObject(), QJsonObject());
}

void TestSimulatedUnit::concurrentRequestsAreAllCounted()
{
    SimulatedUnit unit(unitId);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&unit] {
            for (int i = 0; i < 250; ++i) {
                unit.handle(QStringLiteral("CMD_PGNU=1"));
                unit.handle(QStringLiteral("CMD_METR"));
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    QCOMPARE(simOf(unit).value(QStringLiteral("requests")).toInt(), 2000);
    QCOMPARE(field(statusOf(unit), "1/gain").toInt(), 68);
}

QTEST_GUILESS_MAIN(TestSimulatedUnit)
#include "tst_simulatedunit.moc"
