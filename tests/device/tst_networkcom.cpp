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
        for (const QSignalSpy *spy : {&error, &channel, &meter, &status, &mixer, &adc}) {
            if (total() == 1 && spy->count() == 1)
                return spy->signal().left(spy->signal().indexOf('('));
        }
        return QStringLiteral("%1 signals").arg(total());
    }
    QSignalSpy error, channel, meter, status, mixer, adc;
};

const QString oversizedError = QStringLiteral("Reply larger than 1048576 bytes aborted");
const QString statusPoll = QStringLiteral("CMD_PSTS");
const QString meterPoll = QStringLiteral("CMD_METR");
const QString peerHost = QStringLiteral("127.0.21.3");
// Nothing listens on port 9 of this address: connections are refused at once.
const QString refusingUnit = QStringLiteral("127.0.21.9:9");

// Steps, which are never merged; the number only tells them apart (the peer reads none).
QStringList numberedCommands(int count)
{
    QStringList commands;
    for (int k = 0; k < count; ++k)
        commands << QStringLiteral("CMD_PGNU=%1").arg(k);
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
        QTest::addColumn<int>("failure"); // the reply's network error
        const auto row = [](const char *tag, const QByteArray &body, const char *signal,
                            QNetworkReply::NetworkError failure = QNetworkReply::NoError) {
            QTest::newRow(tag) << body << QString(signal) << int(failure);
        };

        // clang-format off
        row("meter", R"({"meter":{"1":3}})", "meterUpdate");
        row("meter wins over channels", R"({"channels":[],"meter":{}})", "meterUpdate");
        row("status", R"({"sys":{},"adc":{},"channels":[]})", "statusUpdate");
        row("status needs adc", R"({"sys":{},"channels":[]})", "channelUpdate");
        row("adc with null sys", R"({"adc":{},"sys":null})", "adcUpdate");
        row("mixer", R"({"mix_channels":[],"channels":[]})", "mixerUpdate");
        row("false counts as present", R"({"meter":false})", "meterUpdate");
        row("null meter falls through", R"({"meter":null,"channels":[]})", "channelUpdate");
        row("sys alone", R"({"sys":{"id":1}})", "0 signals");
        row("array", R"([{"meter":{}}])", "0 signals");
        row("not JSON", "<html>", "0 signals");
        // Also a body that arrived whole with the end of its reply is measured where it is read.
        const qint64 cap = NetworkCom::maxReplyBytes;
        row("exactly the cap", HttpTestPeer::meterDocumentOfSize(cap), "meterUpdate");
        row("one byte over the cap", HttpTestPeer::meterDocumentOfSize(cap + 1), "replyError");
        row("failed", R"({"meter":{}})", "replyError", QNetworkReply::ContentNotFoundError);
        // clang-format on
    }

    // A failed reply becomes replyError under the unit's address, logged twice. Every reply is
    // released once its signal has been handled.
    void sortsDocumentsByTopLevelKeys()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, failure);
        NetworkCom transport;
        Emissions emitted(&transport);
        LogCapture log;
        const QString address = QStringLiteral("192.168.1.20");
        QPointer<QNetworkReply> reply = new FakeReply(QUrl("http://192.168.1.20/?CMD_PSTS"), body,
                                                      QNetworkReply::NetworkError(failure));

        transport.dataReceived(reply);

        QVERIFY2(reply, "the reply must survive until its signal has been handled");
        QTRY_VERIFY(!reply);
        QTEST(emitted.onlySignal(), "signal");
        if (emitted.error.count() == 1) {
            const QString error = failure ? QStringLiteral("Fake failure") : oversizedError;
            QCOMPARE(emitted.error.at(0), QVariantList({error, address}));
            QVERIFY(log.contains(QStringLiteral(R"("%1" on "%2")").arg(error, address)));
            QVERIFY(log.contains(R"(Error Occurred on IP: "192.168.1.20")"));
        } else if (emitted.total() == 1) {
            const QList<QVariant> args = emitted.meter.value(0) + emitted.status.value(0) +
                                         emitted.adc.value(0) + emitted.mixer.value(0) +
                                         emitted.channel.value(0);
            QCOMPARE(args.at(0).toJsonObject(), QJsonDocument::fromJson(body).object());
            QCOMPARE(args.at(1).toString(), address);
        }
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

    // Commands leave one at a time in issue order. The status poll leaves beside them whenever
    // its lane is free, however many wait; meter polls wait until the commands have gone. Beyond
    // the bound a command is refused, without any sign of a failing unit.
    void sendsCommandsOneAtATimeInIssueOrder()
    {
        NetworkCom transport;
        Emissions emitted(&transport);
        QSignalSpy dropped(&transport, &NetworkCom::commandDropped);
        LogCapture log;
        const QString address = m_peer->address();
        const QStringList commands = numberedCommands(1 + RequestQueue::maxWaitingCommands);

        for (const QString &command : commands)
            transport.command(address, command);
        // One on the wire and the most that may wait: the next is refused at once.
        transport.command(address, "CMD_P48T=1");
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0), QVariantList({"CMD_P48T=1", address}));
        QCOMPARE(log.lines().filter("More than 256 commands waiting, command dropped").size(), 1);
        QCOMPARE(transport.pendingRequests(address), commands.size());
        transport.command(address, meterPoll);
        transport.command(address, statusPoll);

        QTRY_COMPARE(m_peer->held(), 2);
        QTest::qWait(200); // time enough for a third request to arrive, were one on its way
        QCOMPARE(m_peer->received(), QStringList({commands.first(), statusPoll}));
        for (int k = 1; k <= 3; ++k) {
            QVERIFY(m_peer->release(commands.at(k - 1)));
            QTRY_COMPARE(emitted.channel.count(), k);
            QTRY_COMPARE(m_peer->held(), 2);
            QCOMPARE(m_peer->received().constLast(), commands.at(k));
        }
        // Answered, the status poll leaves again at once, while the commands still wait.
        QVERIFY(m_peer->release(statusPoll));
        QTRY_COMPARE(emitted.status.count(), 1);
        transport.command(address, statusPoll);
        QTRY_COMPARE(m_peer->received().count(statusPoll), 2);
        m_peer->setHolding(false);
        QTRY_COMPARE_WITH_TIMEOUT(emitted.meter.count(), 1, 30000);
        QStringList received = m_peer->received();
        QCOMPARE(received.takeLast(), meterPoll);
        received.removeAll(statusPoll);
        QCOMPARE(received, commands);
        QCOMPARE(emitted.channel.count(), commands.size());
        QCOMPARE(emitted.error.count(), 0);
    }

    // Issued while the first command is on its way: a newer absolute setting drops a waiting one
    // for the same setting (code and channel) and goes to the end; anything else is sent as it
    // was issued.
    void latestValueWins_data()
    {
        QTest::addColumn<QStringList>("issued");
        QTest::addColumn<QStringList>("sent");

        const QStringList steps{"CMD_PGNU=1", "CMD_PGNU=1", "CMD_PGND=1", "CMD_P48T=2",
                                "CMD_P48T=2", "CMD_PPHT=2", "CMD_PIPT=2", "CMD_PIPT=2",
                                "CMD_DOVC=3", "CMD_DOVC=3", "CMD_FREC=0", "CMD_FREC=0"};
        const auto row = [](const char *name, const QStringList &issued, const QStringList &sent) {
            QTest::newRow(name) << issued << sent;
        };
        // clang-format off
        row("gain set twice", {"CMD_P48S=1,ON", "CMD_PGNS=2,5", "CMD_PGNS=2,6"},
            {"CMD_P48S=1,ON", "CMD_PGNS=2,6"});
        row("the newer goes to the end",
            {"CMD_P48S=1,ON", "CMD_PGNS=1,10", "CMD_PGNU=1", "CMD_P48S=1,OFF", "CMD_PGNS=1,20"},
            {"CMD_P48S=1,ON", "CMD_PGNU=1", "CMD_P48S=1,OFF", "CMD_PGNS=1,20"});
        row("every channel setting", {"CMD_PGNU=1", "CMD_PPHS=4,ON", "CMD_PIPS=4,ON",
            "CMD_NMCH=4,A", "CMD_PPHS=4,OFF", "CMD_PIPS=4,OFF", "CMD_NMCH=4,B"},
            {"CMD_PGNU=1", "CMD_PPHS=4,OFF", "CMD_PIPS=4,OFF", "CMD_NMCH=4,B"});
        row("every unit setting", {"CMD_PGNU=1", "CMD_NMDV=a", "CMD_ADFS=1", "CMD_ADCK=1",
            "CMD_ADTX=1", "CMD_ADOC=1", "CMD_NMDV=b", "CMD_ADFS=2", "CMD_ADCK=2", "CMD_ADTX=0",
            "CMD_ADOC=0"},
            {"CMD_PGNU=1", "CMD_NMDV=b", "CMD_ADFS=2", "CMD_ADCK=2", "CMD_ADTX=0", "CMD_ADOC=0"});
        row("other channels stay", {"CMD_PGNU=1", "CMD_PGNS=1,3", "CMD_PGNS=2,3", "CMD_P48S=3,ON"},
            {"CMD_PGNU=1", "CMD_PGNS=1,3", "CMD_PGNS=2,3", "CMD_P48S=3,ON"});
        row("not the one on its way", {"CMD_PGNS=1,3", "CMD_PGNS=1,4"},
            {"CMD_PGNS=1,3", "CMD_PGNS=1,4"});
        // The bare name command only asks for the channel's report: it sets nothing.
        row("bare name command", {"CMD_PGNU=1", "CMD_NMCH=1,A", "CMD_NMCH=1", "CMD_NMCH=1"},
            {"CMD_PGNU=1", "CMD_NMCH=1,A", "CMD_NMCH=1", "CMD_NMCH=1"});
        row("steps and toggles", steps, steps);
        // clang-format on
    }

    void latestValueWins()
    {
        QFETCH(QStringList, issued);
        QFETCH(QStringList, sent);
        NetworkCom transport;

        for (const QString &command : issued)
            transport.command(m_peer->address(), command);

        QCOMPARE(transport.mergedCommands(), quint64(issued.size() - sent.size()));
        QCOMPARE(transport.mergedPolls(), quint64(0));
        m_peer->setHolding(false);
        QTRY_COMPARE(transport.pendingRequests(), 0);
        QCOMPARE(m_peer->received(), sent);
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

    void deadlineEndsATrickle_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("everyMs");
        QTest::addColumn<bool>("delivered");
        // Longer than the transfer timeout, which counts only silence, and shorter than the
        // deadline.
        QTest::newRow("ends in time") << QByteArray(R"({"channels":[{"no":2}]})") << 100 << true;
        QTest::newRow("never ends") << HttpTestPeer::meterDocumentOfSize(100000) << 400 << false;
    }

    // However the bytes trickle in, a request ends at the latest at the deadline counted from
    // its sending, as a timeout, and the unit's next command leaves then.
    void deadlineEndsATrickle()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, everyMs);
        QFETCH(bool, delivered);
        m_peer->setAnswering([&](const QString &command) {
            return command == "CMD_PGNU=1"
                       ? HttpTestPeer::Answer{200, body, HttpTestPeer::Delivery::Trickle, everyMs}
                       : HttpTestPeer::Answer{200, R"({"channels":[{"no":1}]})"};
        });
        m_peer->setHolding(false);
        NetworkCom transport;
        Emissions emitted(&transport);
        QElapsedTimer clock;
        clock.start();
        qint64 endedMs = -1;
        connect(&transport, &NetworkCom::requestEnded, this, [&] {
            if (endedMs < 0)
                endedMs = clock.elapsed();
        });

        transport.command(m_peer->address(), "CMD_PGNU=1");
        transport.command(m_peer->address(), "CMD_PGNU=2");

        QTest::qWait(NetworkCom::transferTimeoutMs + 200);
        QCOMPARE(emitted.total(), 0);
        QCOMPARE(m_peer->received(), QStringList{"CMD_PGNU=1"});
        QTRY_COMPARE_WITH_TIMEOUT(emitted.total(), 2, 2 * NetworkCom::requestDeadlineMs);
        QCOMPARE(m_peer->received(), QStringList({"CMD_PGNU=1", "CMD_PGNU=2"}));
        if (delivered) {
            QCOMPARE(emitted.channel.at(0).at(0).toJsonObject(),
                     QJsonDocument::fromJson(body).object());
            return;
        }
        QCOMPARE(emitted.error.count(), 1);
        QVERIFY(emitted.error.at(0).at(0).toString().contains("timed out"));
        // The toolkit's precise timers fire at most a millisecond early.
        QVERIFY2(endedMs >= NetworkCom::requestDeadlineMs - 1 &&
                     endedMs < NetworkCom::requestDeadlineMs + NetworkCom::transferTimeoutMs,
                 qPrintable(QString::number(endedMs)));
    }

    // A unit that leaves one status poll unanswered is not taken for gone: the poll times out
    // and is reported, the meters pause until the next good report, the status poll goes on, and
    // the watchdog never declares the unit offline.
    void oneLostAnswerIsNoVerdict()
    {
        m_peer->setHolding(false);
        NetworkCom transport;
        PreampModel model;
        connect(&model, &PreampModel::sendCommand, &transport, &NetworkCom::command);
        connect(&transport, &NetworkCom::statusUpdate, &model, &PreampModel::statusUpdated);
        connect(&transport, &NetworkCom::meterUpdate, &model, &PreampModel::newMeterData);
        connect(&transport, &NetworkCom::replyError, &model, &PreampModel::errorReceived);
        model.setIP(m_peer->address());
        model.init();
        QTRY_COMPARE(model.online(), int(PreampModel::Online));
        int lowest = model.online();
        connect(&model, &PreampModel::dataChanged, this,
                [&] { lowest = std::min(lowest, model.online()); });
        int errors = 0;
        int pollsAtError = 0;
        connect(&transport, &NetworkCom::replyError, this, [&] {
            ++errors;
            pollsAtError = m_peer->received().count(statusPoll);
            QVERIFY(!model.meterTimer()->isActive() && model.statusTimer()->isActive());
        });

        m_peer->silenceNext(statusPoll);

        QTRY_COMPARE_WITH_TIMEOUT(errors, 1, 3 * NetworkCom::transferTimeoutMs);
        QTRY_VERIFY(m_peer->received().count(statusPoll) >= pollsAtError + 2);
        QVERIFY(model.meterTimer()->isActive());
        QCOMPARE(model.online(), int(PreampModel::Online));
        QVERIFY2(lowest >= PreampModel::StatusOverdue, "declared offline");
        QCOMPARE(errors, 1);
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

    // At 300 ms a unit is slow enough that commands sent all at once would time out waiting at it.
    void slowSerialUnitReceivesAWholeFullSync_data()
    {
        QTest::addColumn<int>("serviceMs");
        QTest::newRow("60 ms") << 60;
        QTest::newRow("300 ms") << 300;
    }

    void slowSerialUnitReceivesAWholeFullSync()
    {
        QFETCH(int, serviceMs);
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
