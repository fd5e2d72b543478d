#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <httplib.h>

#include "sim/SimulatedUnit.h"
#include "sim/UnitServer.h"
#include "support/SimulatorProcess.h"

using namespace std::chrono_literals;

namespace {

// Sends targets exactly as given, on one kept-alive connection (get() opens a new one each time),
// and offers to take compressed bodies as Qt does, but keeps them as they came over the wire.
std::unique_ptr<httplib::Client> clientFor(const UnitServer &server)
{
    auto client = std::make_unique<httplib::Client>(server.host().toStdString(), server.port());
    client->set_url_encode(false);
    client->set_keep_alive(true);
    client->set_default_headers({{"Accept-Encoding", "gzip, deflate"}});
    client->set_decompress(false);
    client->set_read_timeout(2s);
    return client;
}

int statusOf(const httplib::Result &result)
{
    return result ? result->status : 0;
}

QJsonValue documentOf(const httplib::Result &result)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(result ? result->body : "")).object();
}

} // namespace

// In-process servers listen on 127.0.31.1, the program's units on 127.0.32.x and 127.0.33.x.
class TestUnitServer : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void nameIsTheRawQueryDecodedOnce_data();
    void nameIsTheRawQueryDecodedOnce();
    void keptAliveConnectionAnswersQuickly();
    void faultyAnswerReachesTheClient_data();
    void faultyAnswerReachesTheClient();
    void refusingUnitListensAgainOnTheSamePort();
    void connectionBeyondTheLimitIsRefused_data();
    void connectionBeyondTheLimitIsRefused();
    void serialUnitAnswersOneServiceTimeApart_data();
    void serialUnitAnswersOneServiceTimeApart();
    void delayedRequestHoldsUpOnlyASerialUnit_data();
    void delayedRequestHoldsUpOnlyASerialUnit();
    void programServesUnitsUntilSigterm();
    void programRejectsBadArguments();
    void programEndsWithTheProcessThatStartedIt();
    void programPlaysScenario();

private:
    std::unique_ptr<httplib::Client> client() const { return clientFor(*m_server); }
    httplib::Result get(const std::string &target) const { return client()->Get(target); }
    // Read in process, so reading opens no connection of its own.
    int connections(const char *figure) const
    {
        const QByteArray stat = m_server->unit().handle(QStringLiteral("SIM_STAT")).body;
        return QJsonDocument::fromJson(stat)["sim"]["connections"][figure].toInt(-1);
    }

    std::unique_ptr<UnitServer> m_server;
};

void TestUnitServer::init()
{
    m_server = std::make_unique<UnitServer>(std::make_unique<SimulatedUnit>(31), "127.0.31.1", 0);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
}

void TestUnitServer::nameIsTheRawQueryDecodedOnce_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("name");
    // clang-format off
    QTest::newRow("spaces") << "%20Lead%20Vox%20%202" << " Lead Vox  2";
    QTest::newRow("commas, one encoded") << "a,b%2C,c" << "a,b,,c";
    QTest::newRow("ampersand, equals, plus") << "R&B=1+1" << "R&B=1+1";
    QTest::newRow("question marks") << "why?%20not?!" << "why? not?!";
    QTest::newRow("question mark and its escape") << "%3F?" << "??";
    QTest::newRow("UTF-8") << "%C3%9Cber%20%CE%A9" << QString::fromUtf8("Über Ω");
    // Decoding a target httplib had decoded already would turn this into "&".
    QTest::newRow("decoded once") << "%2526" << "%26";
    QTest::newRow("empty") << "" << "";
    // clang-format on
}

void TestUnitServer::nameIsTheRawQueryDecodedOnce()
{
    QFETCH(QString, encoded);
    QFETCH(QString, name);

    QCOMPARE(statusOf(get("/?CMD_NMCH=1," + encoded.toStdString())), 200);
    QCOMPARE(statusOf(get("/?CMD_NMDV=" + encoded.toStdString())), 200);

    const QJsonValue status = documentOf(get("/?CMD_PSTS"));
    QCOMPARE(status["channels"][0]["name"].toString(), name);
    QCOMPARE(status["sys"]["name"].toString(), name);
}

// Nagle's algorithm would hold each reply for the client's delayed ACK (about 40 ms each).
void TestUnitServer::keptAliveConnectionAnswersQuickly()
{
    const auto keptAlive = client();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 200; ++i) {
        const auto result = keptAlive->Get("/?CMD_METR");
        QVERIFY(result && result->status == 200);
        QVERIFY(result->get_header_value("Keep-Alive").find("timeout=10") != std::string::npos);
    }
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestUnitServer::faultyAnswerReachesTheClient_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("minimumMs");
    // clang-format off
    QTest::newRow("http error") << "SIM_HERR=503" << 503 << 0;
    QTest::newRow("garbage") << "SIM_GRBG" << 200 << 0;
    QTest::newRow("truncated") << "SIM_TRNC" << 200 << 0;
    QTest::newRow("oversized") << "SIM_HUGE" << 200 << 0;
    QTest::newRow("delayed") << "SIM_DLAY=300" << 200 << 280;
    QTest::newRow("silent for a while") << "SIM_SLNT=300" << 200 << 280;
    QTest::newRow("silent, dropped after the hold limit") << "SIM_SLNT" << 0 << 480;
    // clang-format on
}

// Every byte as the unit gave it: a compressed body would hide an oversized one.
void TestUnitServer::faultyAnswerReachesTheClient()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(int, minimumMs);
    m_server->setMaxHold(500ms);
    QCOMPARE(statusOf(get("/?" + fault.toStdString())), 200);
    QElapsedTimer clock;
    clock.start();

    const auto result = get("/?CMD_PSTS");

    const qint64 ms = clock.elapsed();
    QVERIFY2(ms >= minimumMs && ms < minimumMs + 1000, qPrintable(QString::number(ms)));
    QCOMPARE(statusOf(result), status);
    if (result)
        QCOMPARE(QByteArray::fromStdString(result->body), m_server->unit().handle("CMD_PSTS").body);
    // Simulation commands reach a faulty unit.
    QCOMPARE(statusOf(get("/?SIM_CLER")), 200);
    QCOMPARE(statusOf(get("/?CMD_PSTS")), 200);
}

// Both a refusal and a restart close the open connections and listen again when they end; an
// idle kept-alive connection left open would hold up listening again for its whole timeout.
void TestUnitServer::refusingUnitListensAgainOnTheSamePort()
{
    for (const QString command : {"SIM_RFSE=300", "SIM_BOOT=300"}) {
        const auto keptAlive = client();
        QCOMPARE(statusOf(keptAlive->Get("/?CMD_NMCH=1,Kick")), 200);

        QCOMPARE(statusOf(get("/?" + command.toStdString())), 200);

        QCOMPARE(get("/?CMD_PSTS").error(), httplib::Error::Connection);
        QElapsedTimer clock;
        clock.start();
        httplib::Result result = get("/?CMD_PSTS");
        for (; !result && clock.elapsed() < 2000; result = get("/?CMD_PSTS"))
            QTest::qWait(20);
        QVERIFY2(result && clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
        const QJsonValue channel = documentOf(result)["channels"][0];
        QCOMPARE(channel["name"].toString(), command.startsWith("SIM_BOOT") ? "Ch1" : "Kick");
    }
}

void TestUnitServer::connectionBeyondTheLimitIsRefused_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("one") << 1;
    QTest::newRow("three") << 3;
}

// The connection after the last one allowed is reset unread, even for a simulation command;
// once a connection closes there is room again.
void TestUnitServer::connectionBeyondTheLimitIsRefused()
{
    QFETCH(int, limit);
    m_server->unit().handle(QStringLiteral("SIM_SERL=0,0,%1").arg(limit));
    std::vector<std::unique_ptr<httplib::Client>> open;
    for (int i = 0; i < limit; ++i) {
        open.push_back(client());
        QCOMPARE(statusOf(open.back()->Get("/?CMD_PSTS")), 200);
    }
    QCOMPARE(connections("open"), limit);

    QCOMPARE(statusOf(get("/?SIM_STAT")), 0);
    QCOMPARE(connections("refused"), 1);

    open.front().reset();
    QTRY_COMPARE(connections("open"), limit - 1);
    QCOMPARE(statusOf(get("/?CMD_PSTS")), 200);
    QTRY_COMPARE(connections("open"), limit - 1);
    QCOMPARE(connections("mostOpen"), limit);
    QCOMPARE(connections("refused"), 1);
    m_server->unit().handle(QStringLiteral("SIM_STAT=RESET"));
    QCOMPARE(connections("mostOpen"), limit - 1);
    QCOMPARE(connections("refused"), 0);
}

void TestUnitServer::serialUnitAnswersOneServiceTimeApart_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("leastServiceMs");
    QTest::newRow("service") << "SIM_SERL=50" << 50;
    QTest::newRow("service with jitter") << "SIM_SERL=30,40" << 30;
}

// Requests started together on four connections: however they are scheduled, the k-th answer
// cannot come before k service times have passed.
void TestUnitServer::serialUnitAnswersOneServiceTimeApart()
{
    QFETCH(QString, profile);
    QFETCH(int, leastServiceMs);
    m_server->unit().handle(profile);
    const auto start = std::chrono::steady_clock::now();
    std::vector<qint64> answeredMs(4, -1);
    std::vector<std::thread> clients;
    for (qint64 &ms : answeredMs) {
        clients.emplace_back([this, start, &ms] {
            if (statusOf(get("/?CMD_METR")) == 200)
                ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - start)
                         .count();
        });
    }
    for (std::thread &thread : clients)
        thread.join();
    std::sort(answeredMs.begin(), answeredMs.end());
    for (size_t k = 1; k <= answeredMs.size(); ++k)
        QVERIFY2(answeredMs[k - 1] >= qint64(k) * leastServiceMs,
                 qPrintable(QStringLiteral("answer %1 after %2 ms").arg(k).arg(answeredMs[k - 1])));
}

void TestUnitServer::delayedRequestHoldsUpOnlyASerialUnit_data()
{
    QTest::addColumn<QStringList>("profile");
    QTest::addColumn<int>("handled");
    QTest::newRow("serial") << QStringList{"SIM_SERL=0,0,8"} << 1;
    QTest::newRow("fast again") << QStringList{"SIM_SERL=0,0,8", "SIM_SERL=OFF"} << 3;
}

// Three requests to a unit that delays its answers by 10 s: a serial unit works on the first
// only, a fast one on all three. Simulation commands pass the queue, and stopping the server
// ends the waiting.
void TestUnitServer::delayedRequestHoldsUpOnlyASerialUnit()
{
    QFETCH(QStringList, profile);
    QFETCH(int, handled);
    for (const QString &command : profile + QStringList{"SIM_DLAY=10000"})
        QVERIFY(m_server->unit().handle(command).status == 200);
    std::vector<std::thread> clients;
    const auto stopAndJoin = qScopeGuard([this, &clients] {
        m_server->stop();
        for (std::thread &thread : clients)
            thread.join();
    });
    for (int i = 0; i < 3; ++i)
        clients.emplace_back([this] { get("/?CMD_PSTS"); });
    const auto requests = [this] {
        return documentOf(get("/?SIM_STAT"))["sim"]["requests"];
    };

    QTRY_COMPARE(requests(), QJsonValue(handled));
    QTest::qWait(200);
    QCOMPARE(requests(), QJsonValue(handled));
}

// Two units, one starting with a fault; then the program stops on SIGTERM, though a kept-alive
// connection and a request held by a silent unit are open, as a controller leaves them.
void TestUnitServer::programServesUnitsUntilSigterm()
{
    SimulatorProcess sim;
    QVERIFY2(sim.start({"127.0.32.1:0", "127.0.32.2:0"},
                       {"--base-id", "7", "--fault", "2:HERR=500", "--max-connections", "3"}),
             qPrintable(sim.errorString()));
    for (int unit = 0; unit < 2; ++unit) {
        const QString host = QStringLiteral("127.0.32.%1:").arg(unit + 1);
        QVERIFY(sim.address(unit).startsWith(host) && sim.address(unit) != host + "0");
        QCOMPARE(sim.unitId(unit), 7 + unit);
    }
    int status = 0;
    sim.send(1, QStringLiteral("CMD_PSTS"), &status);
    QCOMPARE(status, 500);
    QCOMPARE(QJsonValue(sim.send(0, QStringLiteral("CMD_PSTS")))["sys"]["id"].toInt(), 7);
    const QJsonValue profile =
        QJsonValue(sim.send(1, QStringLiteral("SIM_STAT")))["sim"]["profile"];
    QVERIFY(profile["serial"].toBool() && profile["maxConnections"].toInt() == 3);
    // Shared, a second simulator would quietly take over part of the first one's connections.
    SimulatorProcess second;
    QVERIFY(!second.start({sim.address(0)}));
    QCOMPARE(second.exitCode(), 1);

    QVERIFY(!sim.send(0, QStringLiteral("SIM_SLNT")).isEmpty());
    sim.send(0, QStringLiteral("CMD_PSTS"), nullptr, nullptr, 100);
    QElapsedTimer clock;
    clock.start();
    sim.stop();
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestUnitServer::programRejectsBadArguments()
{
    const QString unit = QStringLiteral("127.0.32.4:0");
    // clang-format off
    const QList<QStringList> badArguments{
        {"--units", "13"}, {"--units", "1", unit}, {"192.0.2.1:0"}, {"127.0.32.4:70000"},
        {"--fault", "2:SLNT", unit}, {"--fault", "1:HERR=200", unit}, {"--loud", unit},
        {"--service-ms", "2001", unit}, {"--jitter-ms", "-1", unit}, {"--max-connections", "0"},
        {"--max-connections", "65", unit}, {"--fault", "1:SERL=0,0,65", unit}};
    // clang-format on
    for (const QStringList &arguments : badArguments) {
        SimulatorProcess sim;
        QVERIFY2(!sim.start({}, arguments), qPrintable(arguments.join(' ')));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY2(sim.errorString().contains(QLatin1String("corvane-unit-sim: ")),
                 qPrintable(sim.errorString()));
    }
}

void TestUnitServer::programEndsWithTheProcessThatStartedIt()
{
    // Suites keep a pipe open to the simulator; when a suite dies, its units must not live on.
    SimulatorProcess sim;
    QVERIFY2(sim.start({"127.0.32.5:0"}), qPrintable(sim.errorString()));
    QVERIFY(sim.endsWhenInputCloses(2000));
    QCOMPARE(sim.exitCode(), 0);
}

// Unit 1 silent from 300 ms to 800 ms after "ready": a client probing with a short timeout sees
// answers, then none, then answers again, each change within 200 ms of its time.
void TestUnitServer::programPlaysScenario()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rehearsal.txt"));
    const auto write = [&path](const QByteArray &text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    QVERIFY(write("# one unit only\n100 2 SLNT\n"));
    SimulatorProcess bad;
    QVERIFY(!bad.start({"127.0.33.1:0"}, {"--scenario", path}));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY2(bad.errorString().contains(path + ":2: unit must be 1 to 1"),
             qPrintable(bad.errorString()));

    QVERIFY(write("# unit 1 silent from 300 ms to 800 ms\n300 1 SLNT 500\n"));
    SimulatorProcess sim;
    QVERIFY2(sim.start({"127.0.33.1:0"}, {"--scenario", path}), qPrintable(sim.errorString()));
    QElapsedTimer clock;
    clock.start();
    struct Probe
    {
        qint64 sentMs, doneMs;
        bool answered;
    };
    QList<Probe> probes;
    while (clock.elapsed() < 1300) {
        const qint64 sentMs = clock.elapsed();
        int status = 0;
        sim.send(0, QStringLiteral("CMD_PSTS"), &status, nullptr, 100);
        probes.append({sentMs, clock.elapsed(), status == 200});
        QTest::qWait(10);
    }
    // answered ... silent ... answered, and nothing else.
    int changes = 0;
    for (int i = 1; i < probes.size(); ++i)
        changes += probes[i].answered != probes[i - 1].answered;
    const auto firstSilent = std::find_if(probes.cbegin(), probes.cend(),
                                          [](const Probe &probe) { return !probe.answered; });
    QVERIFY(changes == 2 && probes.first().answered && firstSilent != probes.cend());
    const Probe &lastBefore = *(firstSilent - 1);
    const Probe &firstAfter = *std::find_if(firstSilent, probes.cend(),
                                            [](const Probe &probe) { return probe.answered; });
    const QString edges = QStringLiteral("last answer sent at %1 ms, first silence sent at %2 ms, "
                                         "first answer again at %3 ms")
                              .arg(lastBefore.sentMs)
                              .arg(firstSilent->sentMs)
                              .arg(firstAfter.doneMs);
    QVERIFY2(lastBefore.sentMs >= 100 && firstSilent->sentMs <= 500, qPrintable(edges));
    QVERIFY2(firstAfter.doneMs >= 600 && firstAfter.doneMs <= 1000, qPrintable(edges));
    sim.stop();
    QCOMPARE(sim.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestUnitServer)
#include "tst_unitserver.moc"
