#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

#include <memory>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/FakeReply.h"
#include "support/HttpTestPeer.h"
#include "support/LogCapture.h"
#include "support/SimulatorProcess.h"

namespace {

// Which signals the transport emitted.
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
    // The one signal emitted, or how many there were.
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

const QString oversizedError = QStringLiteral("Reply larger than 1048576 bytes aborted");
const QString statusPoll = QStringLiteral("CMD_PSTS");
const QString meterPoll = QStringLiteral("CMD_METR");
const QString peerHost = QStringLiteral("127.0.21.3");
// Nothing listens on port 9 of this address: connections are refused at once.
const QString refusingUnit = QStringLiteral("127.0.21.9:9");

QStringList numberedCommands(int count)
{
    QStringList commands;
    for (int k = 0; k < count; ++k)
        commands << QStringLiteral("CMD_NMCH=1,c%1").arg(k);
    return commands;
}

} // namespace

class TestNetworkCom : public QObject
{
    Q_OBJECT

private:
    // A peer of its own for each test, holding every request until released.
    std::unique_ptr<HttpTestPeer> m_peer;

private slots:
    void init()
    {
        m_peer = std::make_unique<HttpTestPeer>();
        QVERIFY(m_peer->listen(peerHost));
        m_peer->setHolding(true);
    }

    void buildsTheRequestUrl_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("cmd");
        QTest::addColumn<QByteArray>("encoded");

        const QString at("10.0.0.5");
        const QByteArray url("http://10.0.0.5/?");
        // clang-format off
        QTest::newRow("switch") << at << "CMD_P48S=3,ON" << url + "CMD_P48S=3,ON";
        QTest::newRow("space") << at << "CMD_NMCH=1,Kick In" << url + "CMD_NMCH=1,Kick%20In";
        QTest::newRow("non-ASCII") << at << QString::fromUtf8("CMD_NMDV=B\u00fchne")
                                   << url + "CMD_NMDV=B%C3%BChne";
        QTest::newRow("stray percent") << at << "CMD_NMCH=2,50%" << url + "CMD_NMCH=2,50%25";
        QTest::newRow("query characters") << at << "CMD_NMCH=2,a&b=c+d/e?f"
                                          << url + "CMD_NMCH=2,a&b=c+d/e?f";
        QTest::newRow("hash ends the query") << at << "CMD_NMCH=2,A#B" << url + "CMD_NMCH=2,A";
        QTest::newRow("explicit port 80") << "127.0.0.2:80" << "CMD_METR"
                                          << QByteArray("http://127.0.0.2:80/?CMD_METR");
        QTest::newRow("host names are lower case") << "Unit-A" << "CMD_PSTS"
                                                   << QByteArray("http://unit-a/?CMD_PSTS");
        // clang-format on
    }

    void buildsTheRequestUrl()
    {
        QFETCH(QString, ip);
        QFETCH(QString, cmd);
        // What goes on the wire is the URL without its fragment.
        const QUrl url = NetworkCom::requestUrl(ip, cmd);
        QTEST(url.adjusted(QUrl::RemoveFragment).toEncoded(), "encoded");
        QCOMPARE(url.path(), QStringLiteral("/"));
        // Replies come back under the address the unit's model has, its port kept.
        QCOMPARE(NetworkCom::replyAddress(url), ip.toLower());
    }

    void sortsDocumentsByTopLevelKeys_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("signal");

        QTest::newRow("meter") << QByteArray(R"({"meter":{"1":3}})") << "meterUpdate";
        QTest::newRow("meter wins over channels")
            << QByteArray(R"({"channels":[],"meter":{}})") << "meterUpdate";
        QTest::newRow("status") << QByteArray(R"({"sys":{},"adc":{},"channels":[]})")
                                << "statusUpdate";
        QTest::newRow("status needs adc")
            << QByteArray(R"({"sys":{},"channels":[]})") << "channelUpdate";
        QTest::newRow("adc with null sys") << QByteArray(R"({"adc":{},"sys":null})") << "adcUpdate";
        QTest::newRow("mixer") << QByteArray(R"({"mix_channels":[],"channels":[]})")
                               << "mixerUpdate";
        QTest::newRow("false counts as present")
            << QByteArray(R"({"meter":false})") << "meterUpdate";
        QTest::newRow("empty text counts as present")
            << QByteArray(R"({"channels":""})") << "channelUpdate";
        QTest::newRow("null channels is absent")
            << QByteArray(R"({"channels":null})") << "0 signals";
        QTest::newRow("null meter falls through")
            << QByteArray(R"({"meter":null,"channels":[]})") << "channelUpdate";
        QTest::newRow("sys alone") << QByteArray(R"({"sys":{"id":1}})") << "0 signals";
        QTest::newRow("array") << QByteArray(R"([{"meter":{}}])") << "0 signals";
        QTest::newRow("not JSON") << QByteArray("<html>") << "0 signals";
        // Also a body that arrived whole with the end of its reply is measured where it is read.
        QTest::newRow("exactly the size cap")
            << HttpTestPeer::meterDocumentOfSize(NetworkCom::maxReplyBytes) << "meterUpdate";
        QTest::newRow("one byte over the size cap")
            << HttpTestPeer::meterDocumentOfSize(NetworkCom::maxReplyBytes + 1) << "replyError";
    }

    void sortsDocumentsByTopLevelKeys()
    {
        QFETCH(QByteArray, body);
        NetworkCom transport;
        Emissions emitted(&transport);

        transport.dataReceived(new FakeReply(QUrl("http://192.168.1.20/?CMD_PSTS"), body));

        QTEST(emitted.onlySignal(), "signal");
        if (emitted.error.count() == 1) {
            QCOMPARE(emitted.error.at(0).at(0).toString(), oversizedError);
        } else if (emitted.total() == 1) {
            const QList<QVariant> args = emitted.meter.value(0) + emitted.status.value(0) +
                                         emitted.adc.value(0) + emitted.mixer.value(0) +
                                         emitted.channel.value(0);
            QCOMPARE(args.at(0).toJsonObject(), QJsonDocument::fromJson(body).object());
            QCOMPARE(args.at(1).toString(), QStringLiteral("192.168.1.20"));
        }
    }

    // A failed reply becomes replyError under the unit's address, logged twice, and the reply is
    // released once its signal has been handled.
    void reportsFailures()
    {
        NetworkCom transport;
        Emissions emitted(&transport);
        LogCapture log;
        auto *reply = new FakeReply(QUrl("http://192.168.1.20/?CMD_PSTS"), R"({"meter":{}})",
                                    QNetworkReply::ContentNotFoundError);
        QPointer<QNetworkReply> watched(reply);

        transport.dataReceived(reply);

        QVERIFY2(watched, "the reply must survive until its signal has been handled");
        QTRY_VERIFY(!watched);
        QCOMPARE(emitted.onlySignal(), QStringLiteral("replyError"));
        QCOMPARE(emitted.error.at(0).at(1).toString(), QStringLiteral("192.168.1.20"));
        QVERIFY(log.contains(R"("Fake failure" on "192.168.1.20")"));
        QVERIFY(log.contains(R"(Error Occurred on IP: "192.168.1.20")"));
    }

    void neverSendsToAnUnsetAddress_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::newRow("unset") << "0.0.0.0";
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << "  ";
    }

    void neverSendsToAnUnsetAddress()
    {
        QFETCH(QString, ip);
        NetworkCom transport;
        Emissions emitted(&transport);
        LogCapture log;

        transport.command(ip, "CMD_PSTS");
        transport.command(ip, "CMD_P48S=1,ON");

        QCOMPARE(log.lines().count("Invalid IP Address"), 2);
        QCOMPARE(transport.pendingRequests(), 0);
        QTest::qWait(200);
        QCOMPARE(emitted.total(), 0);
    }

    void capsReplySizeHoweverTheBodyArrives_data()
    {
        using Delivery = HttpTestPeer::Delivery;
        QTest::addColumn<Delivery>("delivery");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("delivered");

        const qint64 cap = NetworkCom::maxReplyBytes;
        QTest::newRow("announced by its length") << Delivery::AnnouncedOnly << 2 * cap << false;
        QTest::newRow("with length, exactly the cap") << Delivery::WithLength << cap << true;
        QTest::newRow("with length, one byte over") << Delivery::WithLength << cap + 1 << false;
        QTest::newRow("one burst, exactly the cap") << Delivery::Burst << cap << true;
        QTest::newRow("one burst, one byte over") << Delivery::Burst << cap + 1 << false;
        QTest::newRow("one burst, twice the cap") << Delivery::Burst << 2 * cap << false;
        QTest::newRow("chunks, exactly the cap") << Delivery::Chunked << cap << true;
        QTest::newRow("chunks, one byte over") << Delivery::Chunked << cap + 1 << false;
        QTest::newRow("endless") << Delivery::Endless << cap << false;
    }

    void capsReplySizeHoweverTheBodyArrives()
    {
        QFETCH(HttpTestPeer::Delivery, delivery);
        QFETCH(qint64, size);
        QFETCH(bool, delivered);
        const QByteArray body = HttpTestPeer::meterDocumentOfSize(size);
        m_peer->setAnswering([&](const QString &command) {
            return command == meterPoll ? HttpTestPeer::Answer{200, body, delivery}
                                        : HttpTestPeer::Answer{200, R"({"channels":[{"no":1}]})"};
        });
        m_peer->setHolding(false);
        NetworkCom transport;
        Emissions emitted(&transport);

        transport.command(m_peer->address(), meterPoll);

        // Never the transfer timeout: an endless body keeps resetting it.
        QTRY_COMPARE(emitted.total(), 1);
        if (delivered) {
            QCOMPARE(emitted.meter.count(), 1);
            QCOMPARE(emitted.meter.at(0).at(0).toJsonObject(),
                     QJsonDocument::fromJson(body).object());
        } else {
            QCOMPARE(emitted.onlySignal(), QStringLiteral("replyError"));
            QCOMPARE(emitted.error.at(0).at(0).toString(), oversizedError);
            QCOMPARE(emitted.error.at(0).at(1).toString(), m_peer->address());
        }
        // The unit's next request goes out as usual.
        transport.command(m_peer->address(), "CMD_P48S=1,ON");
        QTRY_COMPARE(emitted.channel.count(), 1);
        QTRY_COMPARE(transport.pendingRequests(), 0);
    }

    void sendsCommandsOneAtATimeInIssueOrder()
    {
        NetworkCom transport;
        Emissions emitted(&transport);
        const QString address = m_peer->address();
        const QStringList commands = numberedCommands(1 + RequestQueue::maxWaitingCommands);

        for (const QString &command : commands)
            transport.command(address, command);
        QCOMPARE(emitted.total(), 0);
        // One on the wire and the most that may wait: the next is refused at once.
        transport.command(address, "CMD_NMCH=1,dropped");
        QCOMPARE(emitted.onlySignal(), QStringLiteral("replyError"));
        QVERIFY(emitted.error.at(0).at(0).toString().contains("command dropped"));
        QCOMPARE(transport.pendingRequests(address), commands.size());
        // A poll issued now waits until the commands have gone: none slips in between them.
        transport.command(address, statusPoll);

        QTRY_COMPARE(m_peer->held(), 1);
        QTest::qWait(200); // time enough for a second request to arrive, were one on its way
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(m_peer->received(), commands.mid(0, k));
            QVERIFY(m_peer->release());
            QTRY_COMPARE(emitted.channel.count(), k);
            QTRY_COMPARE(m_peer->held(), 1);
        }
        m_peer->setHolding(false);
        QTRY_COMPARE_WITH_TIMEOUT(emitted.status.count(), 1, 30000);
        QCOMPARE(m_peer->received(), commands + QStringList{statusPoll});
        QCOMPARE(emitted.channel.count(), commands.size());
        QCOMPARE(emitted.error.count(), 1);
    }

    void commandsGoAheadOfBoundedPolls_data()
    {
        QTest::addColumn<bool>("refusing");
        QTest::newRow("silent") << false;
        QTest::newRow("refusing") << true;
    }

    void commandsGoAheadOfBoundedPolls()
    {
        QFETCH(bool, refusing);
        const QString address = refusing ? refusingUnit : m_peer->address();
        NetworkCom transport;
        Emissions emitted(&transport);

        // What the poll timers of a unit produce in a long silence, issued before any can end, and
        // then an operator's command.
        transport.command(address, statusPoll);
        for (int k = 0; k < 100; ++k) {
            transport.command(address, meterPoll);
            transport.command(address, statusPoll);
        }
        transport.command(address, "CMD_PGNS=2,40");

        // One poll and the command on the wire, one status and one meter poll waiting.
        QCOMPARE(transport.pendingRequests(address), RequestQueue::maxPollsOutstanding + 1);
        if (refusing) {
            QTRY_COMPARE(transport.pendingRequests(), 0);
            QCOMPARE(emitted.error.count(), RequestQueue::maxPollsOutstanding + 1);
            for (const QList<QVariant> &error : qAsConst(emitted.error))
                QCOMPARE(error.at(1).toString(), address);
            return;
        }
        QTRY_COMPARE(m_peer->held(), 2);
        QCOMPARE(m_peer->received(), QStringList({statusPoll, "CMD_PGNS=2,40"}));
        m_peer->setHolding(false);
        QTRY_COMPARE(emitted.total(), 4);
        QCOMPARE(m_peer->received(),
                 QStringList({statusPoll, "CMD_PGNS=2,40", statusPoll, meterPoll}));
        QTRY_COMPARE(transport.pendingRequests(), 0);
    }

    void keepsStaleErrorsQuiet()
    {
        NetworkCom transport;
        Emissions emitted(&transport);
        LogCapture log;

        transport.command(m_peer->address(), statusPoll);
        transport.command(m_peer->address(), "CMD_P48S=1,ON");
        QTRY_COMPARE(m_peer->held(), 2);
        QVERIFY(m_peer->release("CMD_P48S=1,ON"));
        QTRY_COMPARE(emitted.channel.count(), 1);
        // The poll was sent before that good answer: its failure is old news.
        QVERIFY(m_peer->fail(statusPoll, 503));
        const QString stale = QStringLiteral("Not reported, the unit has answered since:");
        QTRY_COMPARE(log.lines().filter(stale).size(), 1);
        QCOMPARE(emitted.error.count(), 0);

        // A failure with no good answer since its request left is reported, under the unit's
        // address.
        transport.command(m_peer->address(), statusPoll);
        QTRY_COMPARE(m_peer->held(), 1);
        QVERIFY(m_peer->fail(statusPoll, 503));
        QTRY_COMPARE(emitted.error.count(), 1);
        QCOMPARE(emitted.error.at(0).at(1).toString(), m_peer->address());
        QVERIFY(log.contains("Error Occurred on IP: \"" + m_peer->address() + '"'));
    }

    void timeoutCountsFromSendingOnly()
    {
        // Each command waits for the one before to time out, and then still gets its own full time
        // with the unit: none fails before it was sent.
        NetworkCom transport;
        Emissions emitted(&transport);
        QElapsedTimer clock;
        clock.start();
        const QStringList commands = numberedCommands(3);

        for (const QString &command : commands)
            transport.command(m_peer->address(), command);

        QTRY_COMPARE_WITH_TIMEOUT(emitted.error.count(), 3, 6 * NetworkCom::transferTimeoutMs);
        // The toolkit's coarse timers may fire up to 5 % early; all three together within one
        // timeout would mean they were timed from being issued.
        QVERIFY2(clock.elapsed() >= 3 * NetworkCom::transferTimeoutMs * 9 / 10,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_peer->received(), commands);
    }

    void slowSerialUnitReceivesAWholeFullSync()
    {
        // Slow enough that commands sent all at once would time out waiting at the unit.
        const int serviceMs = 300;
        SimulatorProcess sim;
        QVERIFY2(sim.start({"127.0.21.1:0"}, {"--service-ms", QString::number(serviceMs)}),
                 qPrintable(sim.errorString()));
        NetworkCom transport;
        Emissions emitted(&transport);
        PreampModel model;
        connect(&model, &PreampModel::sendCommand, &transport, &NetworkCom::command);
        model.setIP(sim.address(0));
        for (int row = 0; row < PreampModel::channelCount; ++row) {
            model.channel(row)->setName(QStringLiteral("In%1").arg(row + 1));
            model.channel(row)->setGain(10 + row);
        }

        model.sendAllToPreamp();

        QTRY_COMPARE_WITH_TIMEOUT(emitted.total(), 45, 45 * serviceMs + 5000);
        QCOMPARE(emitted.error.count(), 0);
        const QJsonObject stat = sim.send(0, "SIM_STAT").value("sim").toObject();
        QCOMPARE(stat.value("requests").toInt(), 45);
        QCOMPARE(stat.value("connections").toObject().value("refused").toInt(), 0);
        // The controller's two lanes, and the connection this suite talks to the simulator on.
        QVERIFY(stat.value("connections").toObject().value("mostOpen").toInt() <= 3);
        const QJsonArray channels = sim.send(0, statusPoll).value("channels").toArray();
        for (int row = 0; row < PreampModel::channelCount; ++row) {
            const QJsonObject entry = channels.at(row).toObject();
            QCOMPARE(entry.value("name").toString(), QStringLiteral("In%1").arg(row + 1));
            QCOMPARE(entry.value("gain").toInt(), 10 + row);
        }
    }
};

QTEST_GUILESS_MAIN(TestNetworkCom)
#include "tst_networkcom.moc"
