#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <chrono>
#include <memory>
#include <thread>

#include <httplib.h>

#include "sim/SimulatedUnit.h"
#include "sim/UnitServer.h"
#include "support/SimulatorProcess.h"

using namespace std::chrono_literals;

namespace {

// In-process servers use 127.0.31.x, the program 127.0.32.x.
const QString serverHost = QStringLiteral("127.0.31.1");
const QStringList programAddresses{"127.0.32.1:0", "127.0.32.2:0", "127.0.32.3:0"};

int statusOf(const httplib::Result &result)
{
    return result ? result->status : 0;
}

// Sends targets exactly as given, on one kept-alive connection, and offers to take compressed
// bodies as Qt does, but keeps them as they came over the wire.
std::unique_ptr<httplib::Client> clientFor(const UnitServer &server,
                                           std::chrono::milliseconds timeout = 2000ms)
{
    auto client = std::make_unique<httplib::Client>(server.host().toStdString(), server.port());
    client->set_url_encode(false);
    client->set_keep_alive(true);
    client->set_default_headers({{"Accept-Encoding", "gzip, deflate"}});
    client->set_decompress(false);
    client->set_connection_timeout(1);
    client->set_read_timeout(timeout);
    return client;
}

QJsonObject documentOf(const httplib::Result &result)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
}

QString firstChannelName(const QJsonObject &document)
{
    const QJsonArray channels = document.value(QStringLiteral("channels")).toArray();
    return channels.at(0).toObject().value(QStringLiteral("name")).toString();
}

} // namespace

class TestUnitServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_server.reset(); }

    void commandIsTheWholeRawQueryDecodedOnce_data();
    void commandIsTheWholeRawQueryDecodedOnce();
    void keptAliveConnectionAnswersQuickly();
    void lateAnswerArrivesLate_data();
    void lateAnswerArrivesLate();
    void silentUnitDropsRequestHeldTooLong();
    void faultyAnswerReachesTheClient_data();
    void faultyAnswerReachesTheClient();
    void refusingUnitListensAgainOnTheSamePort_data();
    void refusingUnitListensAgainOnTheSamePort();
    void stopEndsOpenConnectionsPromptly();

    void programPrintsUnitsThenReady();
    void programCarriesNamesFromControllerUrls_data();
    void programCarriesNamesFromControllerUrls();
    void programRejectsBadArguments_data();
    void programRejectsBadArguments();
    void programReportsAnAddressInUse();
    void programExitsCleanlyOnSigterm();

private:
    std::unique_ptr<UnitServer> m_server;
    SimulatorProcess m_sim;
};

void TestUnitServer::initTestCase()
{
    QVERIFY2(m_sim.start(programAddresses, {"--base-id", "7", "--fault", "2:HERR=500"}),
             qPrintable(m_sim.errorString()));
}

void TestUnitServer::init()
{
    m_server = std::make_unique<UnitServer>(std::make_unique<SimulatedUnit>(31), serverHost, 0);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QVERIFY(m_server->port() != 0);
}

void TestUnitServer::commandIsTheWholeRawQueryDecodedOnce_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");
    const auto row = [](const char *name, const char *target, int status, const QString &stored) {
        QTest::newRow(name) << QString::fromLatin1(target) << status << stored;
    };
    row("space", "/?CMD_NMCH=1,Lead%20Vox", 200, "Lead Vox");
    row("ampersand and equals", "/?CMD_NMCH=1,R&B=1", 200, "R&B=1");
    row("plus stays plus", "/?CMD_NMCH=1,1+1", 200, "1+1");
    row("question marks", "/?CMD_NMCH=1,why?%20not?!", 200, "why? not?!");
    row("question mark and its escape", "/?CMD_NMCH=1,%3F?", 200, "??");
    row("UTF-8 bytes", "/?CMD_NMCH=1,%C3%9Cber", 200, QString::fromUtf8("Über"));
    // Decoding a target httplib had decoded already would turn this into "&".
    row("decoded once", "/?CMD_NMCH=1,%2526", 200, "%26");
    row("code encoded too", "/?CMD%5FNMCH=1%2Cx", 200, "x");
    row("no query", "/", 400, "");
    row("empty query", "/?", 400, "");
}

void TestUnitServer::commandIsTheWholeRawQueryDecodedOnce()
{
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QString, name);

    const auto result = clientFor(*m_server)->Get(target.toStdString());

    QCOMPARE(statusOf(result), status);
    QCOMPARE(firstChannelName(documentOf(result)), name);
}

// Nagle's algorithm would hold each reply for the client's delayed ACK (about 40 ms each).
void TestUnitServer::keptAliveConnectionAnswersQuickly()
{
    const auto client = clientFor(*m_server);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 200; ++i) {
        const auto result = client->Get("/?CMD_METR");
        QVERIFY(result && result->status == 200);
        QVERIFY(result->get_header_value("Keep-Alive").find("timeout=10") != std::string::npos);
    }
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestUnitServer::lateAnswerArrivesLate_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("silent for a while") << "SIM_SLNT=300";
    QTest::newRow("delayed") << "SIM_DLAY=300";
}

void TestUnitServer::lateAnswerArrivesLate()
{
    QFETCH(QString, fault);
    QCOMPARE(statusOf(clientFor(*m_server)->Get("/?" + fault.toStdString())), 200);
    QElapsedTimer clock;
    clock.start();

    const auto result = clientFor(*m_server)->Get("/?CMD_PSTS");

    QCOMPARE(statusOf(result), 200);
    QCOMPARE(documentOf(result).value(QStringLiteral("sys")).toObject().value("id").toInt(), 31);
    QVERIFY2(clock.elapsed() >= 280, qPrintable(QString::number(clock.elapsed())));
}

void TestUnitServer::silentUnitDropsRequestHeldTooLong()
{
    m_server->setMaxHold(200ms);
    QCOMPARE(statusOf(clientFor(*m_server)->Get("/?SIM_SLNT")), 200);
    QElapsedTimer clock;
    clock.start();

    const auto result = clientFor(*m_server)->Get("/?CMD_PSTS");

    QCOMPARE(result.error(), httplib::Error::Read);
    QVERIFY2(clock.elapsed() >= 190 && clock.elapsed() < 1500,
             qPrintable(QString::number(clock.elapsed())));
    // The control channel still works during silence.
    QCOMPARE(statusOf(clientFor(*m_server)->Get("/?SIM_CLER")), 200);
    QCOMPARE(statusOf(clientFor(*m_server)->Get("/?CMD_PSTS")), 200);
}

void TestUnitServer::faultyAnswerReachesTheClient_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("minimumSize");
    QTest::newRow("http error") << "SIM_HERR=503" << 503 << false << 1;
    QTest::newRow("garbage") << "SIM_GRBG" << 200 << false << 1;
    QTest::newRow("truncated") << "SIM_TRNC" << 200 << false << 100;
    QTest::newRow("oversized") << "SIM_HUGE" << 200 << true << 2 * 1024 * 1024;
}

void TestUnitServer::faultyAnswerReachesTheClient()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(bool, json);
    QFETCH(int, minimumSize);
    const auto client = clientFor(*m_server);
    QCOMPARE(statusOf(client->Get("/?" + fault.toStdString())), 200);

    const auto result = client->Get("/?CMD_PSTS");

    QVERIFY(result);
    QCOMPARE(result->status, status);
    QVERIFY(!result->has_header("Content-Encoding"));
    QVERIFY(int(result->body.size()) >= minimumSize);
    QCOMPARE(!documentOf(result).isEmpty(), json);
}

void TestUnitServer::refusingUnitListensAgainOnTheSamePort_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("nameAfter");
    QTest::newRow("refuse") << QStringLiteral("SIM_RFSE=300") << "Kick";
    QTest::newRow("boot") << QStringLiteral("SIM_BOOT=300") << "Ch1";
}

void TestUnitServer::refusingUnitListensAgainOnTheSamePort()
{
    QFETCH(QString, command);
    QFETCH(QString, nameAfter);
    const quint16 port = m_server->port();
    const auto keptAlive = clientFor(*m_server);
    QCOMPARE(statusOf(keptAlive->Get("/?CMD_NMCH=1,Kick")), 200);

    QCOMPARE(statusOf(clientFor(*m_server)->Get("/?" + command.toStdString())), 200);

    QCOMPARE(clientFor(*m_server)->Get("/?CMD_PSTS").error(), httplib::Error::Connection);
    QVERIFY(!keptAlive->Get("/?CMD_PSTS"));
    QElapsedTimer clock;
    clock.start();
    httplib::Result result = clientFor(*m_server)->Get("/?CMD_PSTS");
    while (!result && clock.elapsed() < 2000) {
        QTest::qWait(20);
        result = clientFor(*m_server)->Get("/?CMD_PSTS");
    }
    QVERIFY(result);
    QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_server->port(), port);
    QCOMPARE(firstChannelName(documentOf(result)), nameAfter);
}

void TestUnitServer::stopEndsOpenConnectionsPromptly()
{
    const auto idle = clientFor(*m_server);
    QCOMPARE(statusOf(idle->Get("/?SIM_SLNT")), 200);
    httplib::Error heldError = httplib::Error::Success;
    std::thread held([&] { heldError = clientFor(*m_server)->Get("/?CMD_PSTS").error(); });
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();

    m_server->stop();

    held.join();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(heldError, httplib::Error::Read);
}

void TestUnitServer::programPrintsUnitsThenReady()
{
    QCOMPARE(m_sim.addresses().size(), 3);
    for (int unit = 0; unit < 3; ++unit) {
        const QString host = programAddresses.at(unit).chopped(1);
        QVERIFY(m_sim.address(unit).startsWith(host) && m_sim.address(unit) != host + "0");
        QCOMPARE(m_sim.unitId(unit), 7 + unit);
        int status = 0;
        const QJsonObject answer = m_sim.send(unit, QStringLiteral("CMD_PSTS"), &status);
        // Unit 2 started with an HTTP error fault.
        QCOMPARE(status, unit == 1 ? 500 : 200);
        if (unit != 1)
            QCOMPARE(answer.value(QStringLiteral("sys")).toObject().value("id").toInt(), 7 + unit);
    }
}

void TestUnitServer::programCarriesNamesFromControllerUrls_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("space") << "Lead Vox";
    QTest::newRow("query characters") << "a&b=c+d/e?f,g";
    QTest::newRow("comma, equals and percent") << "a=b,50%";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Über \xCE\xA9");
}

void TestUnitServer::programCarriesNamesFromControllerUrls()
{
    QFETCH(QString, name);
    QCOMPARE(firstChannelName(m_sim.send(0, "CMD_NMCH=1," + name)), name);
}

void TestUnitServer::programRejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QStringList thirteen;
    for (int k = 1; k <= 13; ++k)
        thirteen << QStringLiteral("127.0.32.%1:0").arg(k);
    QTest::newRow("13 units") << thirteen;
    QTest::newRow("--units 13") << QStringList{"--units", "13"};
    QTest::newRow("--units and addresses") << QStringList{"--units", "1", "127.0.32.4:0"};
    QTest::newRow("not loopback") << QStringList{"192.0.2.1:0"};
    QTest::newRow("not an address") << QStringList{"unit-one"};
    QTest::newRow("port too big") << QStringList{"127.0.32.4:70000"};
    QTest::newRow("fault for a missing unit") << QStringList{"--fault", "2:SLNT", "127.0.32.4:0"};
    QTest::newRow("unknown fault") << QStringList{"--fault", "1:XXXX", "127.0.32.4:0"};
    QTest::newRow("bad fault value") << QStringList{"--fault", "1:HERR=200", "127.0.32.4:0"};
    QTest::newRow("unknown option") << QStringList{"--loud", "127.0.32.4:0"};
}

void TestUnitServer::programRejectsBadArguments()
{
    QFETCH(QStringList, arguments);
    SimulatorProcess sim;

    QVERIFY(!sim.start({}, arguments));

    QCOMPARE(sim.exitCode(), 2);
    QVERIFY2(sim.errorString().contains(QLatin1String("corvane-unit-sim: ")),
             qPrintable(sim.errorString()));
}

void TestUnitServer::programReportsAnAddressInUse()
{
    const QString taken = m_sim.address(0);
    SimulatorProcess second;

    QVERIFY(!second.start({taken}));

    QCOMPARE(second.exitCode(), 1);
    QVERIFY2(second.errorString().contains(taken), qPrintable(second.errorString()));
}

void TestUnitServer::programExitsCleanlyOnSigterm()
{
    SimulatorProcess sim;
    QVERIFY2(sim.start({"127.0.32.4:0"}), qPrintable(sim.errorString()));
    // Leaves a kept-alive connection open, as a running controller would.
    QVERIFY(!sim.send(0, QStringLiteral("CMD_PSTS")).isEmpty());
    QElapsedTimer clock;
    clock.start();

    sim.stop();

    QCOMPARE(sim.exitCode(), 0);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestUnitServer)
#include "tst_unitserver.moc"
