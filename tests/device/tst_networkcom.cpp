#include <QtTest>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

#include "device/NetworkCom.h"
#include "device/ReplyDocument.h"
#include "support/FakeReply.h"
#include "support/LogCapture.h"
#include "support/SimulatorProcess.h"

namespace {

// Which signal the transport emitted, if any, and with which address.
struct Emissions
{
    explicit Emissions(NetworkCom *transport)
        : error(transport, &NetworkCom::replyError), channel(transport, &NetworkCom::channelUpdate),
          meter(transport, &NetworkCom::meterUpdate), status(transport, &NetworkCom::statusUpdate),
          mixer(transport, &NetworkCom::mixerUpdate), adc(transport, &NetworkCom::adcUpdate)
    {}
    int total() const
    {
        return error.count() + channel.count() + meter.count() + status.count() + mixer.count() +
               adc.count();
    }
    QString onlySignal() const
    {
        if (total() != 1)
            return QStringLiteral("%1 signals").arg(total());
        return error.count()     ? "replyError"
               : channel.count() ? "channelUpdate"
               : meter.count()   ? "meterUpdate"
               : status.count()  ? "statusUpdate"
               : mixer.count()   ? "mixerUpdate"
                                 : "adcUpdate";
    }
    QSignalSpy error, channel, meter, status, mixer, adc;
};

const QString suiteHost = QStringLiteral("127.0.21.1");

} // namespace

class TestNetworkCom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void buildsTheRequestUrl_data();
    void buildsTheRequestUrl();
    void reportsRepliesUnderHostAndPort_data();
    void reportsRepliesUnderHostAndPort();
    void sortsDocumentsByTopLevelKeys_data();
    void sortsDocumentsByTopLevelKeys();
    void reportsFailedRepliesAndReleasesThem();

    void neverSendsToTheUnsetAddress();
    void deliversAUnitsDocumentsUnderItsAddress();
    void carriesNamesThroughTheUrlEncoding_data();
    void carriesNamesThroughTheUrlEncoding();
    void reportsHttpErrorStatus();
    void timesOutSilentUnitsWithoutBacklog();
    void abortsOversizedReplies();
    void reportsRefusedConnections();

private:
    SimulatorProcess m_sim;
};

void TestNetworkCom::initTestCase()
{
    QVERIFY2(m_sim.start({suiteHost + ":0", "127.0.21.2:0"}), qPrintable(m_sim.errorString()));
}

void TestNetworkCom::buildsTheRequestUrl_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("plain") << "192.168.1.20"
                           << "CMD_PSTS" << QByteArray("http://192.168.1.20/?CMD_PSTS");
    QTest::newRow("switch") << "192.168.1.20"
                            << "CMD_P48S=3,ON" << QByteArray("http://192.168.1.20/?CMD_P48S=3,ON");
    QTest::newRow("space") << "192.168.1.20"
                           << "CMD_NMCH=1,Kick In"
                           << QByteArray("http://192.168.1.20/?CMD_NMCH=1,Kick%20In");
    QTest::newRow("non-ASCII") << "10.0.0.5" << QString::fromUtf8("CMD_NMDV=B\u00fchne")
                               << QByteArray("http://10.0.0.5/?CMD_NMDV=B%C3%BChne");
    QTest::newRow("stray percent")
        << "10.0.0.5"
        << "CMD_NMCH=2,50%" << QByteArray("http://10.0.0.5/?CMD_NMCH=2,50%25");
    QTest::newRow("query characters")
        << "10.0.0.5"
        << "CMD_NMCH=2,a&b=c+d/e?f" << QByteArray("http://10.0.0.5/?CMD_NMCH=2,a&b=c+d/e?f");
    QTest::newRow("hash ends the query")
        << "10.0.0.5"
        << "CMD_NMCH=2,A#B" << QByteArray("http://10.0.0.5/?CMD_NMCH=2,A");
    QTest::newRow("with port") << "127.0.0.1:8080"
                               << "CMD_METR" << QByteArray("http://127.0.0.1:8080/?CMD_METR");
}

void TestNetworkCom::buildsTheRequestUrl()
{
    QFETCH(QString, ip);
    QFETCH(QString, cmd);
    // What goes on the wire is the URL without its fragment.
    const QUrl url = NetworkCom::requestUrl(ip, cmd);
    QTEST(url.adjusted(QUrl::RemoveFragment).toEncoded(), "encoded");
    QCOMPARE(url.path(), QStringLiteral("/"));
}

void TestNetworkCom::reportsRepliesUnderHostAndPort_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("address");

    QTest::newRow("dotted address") << "http://192.168.1.20/?CMD_PSTS"
                                    << "192.168.1.20";
    QTest::newRow("explicit port") << "http://127.0.0.2:8081/?CMD_PSTS"
                                   << "127.0.0.2:8081";
    QTest::newRow("explicit port 80") << "http://127.0.0.2:80/?CMD_PSTS"
                                      << "127.0.0.2:80";
    QTest::newRow("host names are lower case") << "http://Unit-A/?CMD_PSTS"
                                               << "unit-a";
}

void TestNetworkCom::reportsRepliesUnderHostAndPort()
{
    QFETCH(QString, url);
    QTEST(NetworkCom::replyAddress(QUrl(url)), "address");
}

void TestNetworkCom::sortsDocumentsByTopLevelKeys_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("signal");

    QTest::newRow("meter") << QByteArray(R"({"meter":{"1":3}})") << "meterUpdate";
    QTest::newRow("meter wins over channels")
        << QByteArray(R"({"channels":[],"meter":{}})") << "meterUpdate";
    QTest::newRow("status") << QByteArray(R"({"sys":{},"adc":{},"channels":[]})") << "statusUpdate";
    QTest::newRow("status needs adc")
        << QByteArray(R"({"sys":{},"channels":[]})") << "channelUpdate";
    QTest::newRow("adc alone") << QByteArray(R"({"adc":{"fs":2}})") << "adcUpdate";
    QTest::newRow("adc with null sys") << QByteArray(R"({"adc":{},"sys":null})") << "adcUpdate";
    QTest::newRow("mixer") << QByteArray(R"({"mix_channels":[],"channels":[]})") << "mixerUpdate";
    QTest::newRow("channels") << QByteArray(R"({"channels":[{"no":1}]})") << "channelUpdate";
    QTest::newRow("false counts as present") << QByteArray(R"({"meter":false})") << "meterUpdate";
    QTest::newRow("zero counts as present") << QByteArray(R"({"adc":0})") << "adcUpdate";
    QTest::newRow("empty text counts as present")
        << QByteArray(R"({"channels":""})") << "channelUpdate";
    QTest::newRow("null channels is absent") << QByteArray(R"({"channels":null})") << "0 signals";
    QTest::newRow("null meter falls through")
        << QByteArray(R"({"meter":null,"channels":[]})") << "channelUpdate";
    QTest::newRow("sys alone") << QByteArray(R"({"sys":{"id":1}})") << "0 signals";
    QTest::newRow("unknown keys") << QByteArray(R"({"hello":1})") << "0 signals";
    QTest::newRow("array") << QByteArray(R"([{"meter":{}}])") << "0 signals";
    QTest::newRow("not JSON") << QByteArray("<html>") << "0 signals";
    QTest::newRow("empty body") << QByteArray() << "0 signals";
}

void TestNetworkCom::sortsDocumentsByTopLevelKeys()
{
    QFETCH(QByteArray, body);
    NetworkCom transport;
    Emissions emitted(&transport);

    transport.dataReceived(new FakeReply(QUrl("http://192.168.1.20/?CMD_PSTS"), body));

    QTEST(emitted.onlySignal(), "signal");
    if (emitted.total() == 1) {
        const QList<QVariant> args = emitted.meter.value(0) + emitted.status.value(0) +
                                     emitted.adc.value(0) + emitted.mixer.value(0) +
                                     emitted.channel.value(0);
        QCOMPARE(args.at(0).toJsonObject(), QJsonDocument::fromJson(body).object());
        QCOMPARE(args.at(1).toString(), QStringLiteral("192.168.1.20"));
    }
}

void TestNetworkCom::reportsFailedRepliesAndReleasesThem()
{
    NetworkCom transport;
    Emissions emitted(&transport);
    LogCapture log;
    auto *reply = new FakeReply(QUrl("http://192.168.1.20/?CMD_PSTS"), R"({"meter":{}})",
                                QNetworkReply::ContentNotFoundError);
    QPointer<QNetworkReply> watched(reply);

    transport.dataReceived(reply);

    QCOMPARE(emitted.onlySignal(), QStringLiteral("replyError"));
    QCOMPARE(emitted.error.at(0).at(0).toString(), QStringLiteral("Fake failure"));
    QCOMPARE(emitted.error.at(0).at(1).toString(), QStringLiteral("192.168.1.20"));
    QVERIFY(log.contains(R"(Error Occurred on IP: "192.168.1.20")"));
    QVERIFY(log.contains(R"("Fake failure" on "192.168.1.20")"));
    QVERIFY2(watched, "the reply must survive until its signal has been handled");
    QTRY_VERIFY(!watched);
}

void TestNetworkCom::neverSendsToTheUnsetAddress()
{
    NetworkCom transport;
    Emissions emitted(&transport);
    LogCapture log;

    transport.command("0.0.0.0", "CMD_PSTS");

    QVERIFY(log.contains("Invalid IP Address"));
    QTest::qWait(200);
    QCOMPARE(emitted.total(), 0);
}

void TestNetworkCom::deliversAUnitsDocumentsUnderItsAddress()
{
    NetworkCom transport;
    Emissions emitted(&transport);
    const QString unit = m_sim.address(0);

    transport.command(unit, "CMD_PSTS");
    transport.command(unit, "CMD_METR");
    transport.command(unit, "CMD_P48S=3,ON");
    transport.command(unit, "CMD_ADFS=4");

    QTRY_COMPARE(emitted.total(), 4);
    QCOMPARE(emitted.status.count(), 1);
    QCOMPARE(emitted.meter.count(), 1);
    QCOMPARE(emitted.channel.count(), 1);
    QCOMPARE(emitted.adc.count(), 1);
    for (const QSignalSpy *spy : {&emitted.status, &emitted.meter, &emitted.channel, &emitted.adc})
        QCOMPARE(spy->at(0).at(1).toString(), unit);
    const QJsonObject channel =
        emitted.channel.at(0).at(0).toJsonObject().value("channels").toArray().at(0).toObject();
    QCOMPARE(channel.value("no").toInt(), 3);
    QCOMPARE(channel.value("48V").toString(), QStringLiteral("on"));
    QCOMPARE(emitted.adc.at(0).at(0).toJsonObject().value("adc").toObject().value("fs").toInt(), 4);
}

void TestNetworkCom::carriesNamesThroughTheUrlEncoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("space") << "Kick In";
    QTest::newRow("non-ASCII") << QString::fromUtf8("B\u00fchne \u00e9t\u00e9");
    QTest::newRow("query characters") << "a&b=c+d/e?f,g";
    QTest::newRow("percent") << "100%";
}

void TestNetworkCom::carriesNamesThroughTheUrlEncoding()
{
    QFETCH(QString, name);
    NetworkCom transport;
    QSignalSpy channels(&transport, &NetworkCom::channelUpdate);

    transport.command(m_sim.address(1), "CMD_NMCH=2," + name);

    QTRY_COMPARE(channels.count(), 1);
    const QJsonObject entry =
        channels.at(0).at(0).toJsonObject().value("channels").toArray().at(0).toObject();
    QCOMPARE(entry.value("name").toString(), name);
}

void TestNetworkCom::reportsHttpErrorStatus()
{
    const QString unit = m_sim.address(1);
    int status = 0;
    m_sim.send(1, "SIM_HERR=404", &status);
    QCOMPARE(status, 200);
    NetworkCom transport;
    Emissions emitted(&transport);

    transport.command(unit, "CMD_PSTS");

    QTRY_COMPARE(emitted.total(), 1);
    m_sim.send(1, "SIM_CLER");
    QCOMPARE(emitted.onlySignal(), QStringLiteral("replyError"));
    QCOMPARE(emitted.error.at(0).at(1).toString(), unit);
}

void TestNetworkCom::timesOutSilentUnitsWithoutBacklog()
{
    // More requests than the toolkit runs in parallel to one host: each must end in an error
    // within the transfer timeout instead of waiting for the silent unit for ever.
    const QString unit = m_sim.address(1);
    m_sim.send(1, "SIM_SLNT");
    NetworkCom transport;
    Emissions emitted(&transport);
    QElapsedTimer clock;
    clock.start();

    const int requests = 10;
    for (int i = 0; i < requests; ++i)
        transport.command(unit, "CMD_PSTS");

    QTRY_COMPARE_WITH_TIMEOUT(emitted.error.count(), requests, 3 * NetworkCom::transferTimeoutMs);
    const qint64 elapsed = clock.elapsed();
    m_sim.send(1, "SIM_CLER");
    QCOMPARE(emitted.total(), requests);
    QVERIFY2(elapsed >= NetworkCom::transferTimeoutMs - 100, qPrintable(QString::number(elapsed)));
    QCOMPARE(emitted.error.at(0).at(1).toString(), unit);
}

void TestNetworkCom::abortsOversizedReplies()
{
    const QString unit = m_sim.address(1);
    m_sim.send(1, "SIM_HUGE");
    NetworkCom transport;
    Emissions emitted(&transport);

    transport.command(unit, "CMD_PSTS");

    QTRY_COMPARE(emitted.total(), 1);
    m_sim.send(1, "SIM_CLER");
    QCOMPARE(emitted.onlySignal(), QStringLiteral("replyError"));
    QCOMPARE(emitted.error.at(0).at(0).toString(),
             QStringLiteral("Reply larger than 1048576 bytes aborted"));
    QCOMPARE(emitted.error.at(0).at(1).toString(), unit);
}

void TestNetworkCom::reportsRefusedConnections()
{
    // Nothing listens on this loopback address: the connection is refused at once.
    NetworkCom transport;
    Emissions emitted(&transport);

    transport.command("127.0.21.9:9", "CMD_PSTS");

    QTRY_COMPARE(emitted.total(), 1);
    QCOMPARE(emitted.onlySignal(), QStringLiteral("replyError"));
    QCOMPARE(emitted.error.at(0).at(1).toString(), QStringLiteral("127.0.21.9:9"));
}

QTEST_GUILESS_MAIN(TestNetworkCom)
#include "tst_networkcom.moc"
