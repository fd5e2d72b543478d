#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include <httplib.h>

#include "sim/SimulatedUnit.h"
#include "sim/UnitServer.h"
#include "support/SimulatorProcess.h"

// In-process servers listen on 127.0.31.1, the program's units on 127.0.32.x.
class TestUnitServer : public QObject
{
    Q_OBJECT

private:
    // Sends all its requests on one kept-alive connection.
    std::unique_ptr<httplib::Client> client() const
    {
        auto client =
            std::make_unique<httplib::Client>(m_server->host().toStdString(), m_server->port());
        client->set_keep_alive(true);
        return client;
    }
    httplib::Result get(const std::string &target) const { return client()->Get(target); }
    static int statusOf(const httplib::Result &result) { return result ? result->status : 0; }
    // Read in process, so reading opens no connection of its own.
    int connections(const char *figure) const
    {
        const QByteArray stat = m_server->unit().handle(QStringLiteral("SIM_STAT")).body;
        return QJsonDocument::fromJson(stat)["sim"]["connections"][figure].toInt(-1);
    }
    QString writeScenario(const QByteArray &text)
    {
        QFile file(m_dir.filePath(QStringLiteral("rehearsal.txt")));
        const bool written = file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
        return written ? file.fileName() : QString();
    }

    std::unique_ptr<UnitServer> m_server;
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        m_server =
            std::make_unique<UnitServer>(std::make_unique<SimulatedUnit>(31), "127.0.31.1", 0);
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    }

    void connectionBeyondTheLimitIsRefused_data()
    {
        QTest::addColumn<int>("limit");
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
    }

    // The connection after the last one allowed is reset unread, even for a simulation command;
    // once a connection closes there is room again.
    void connectionBeyondTheLimitIsRefused()
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

    void serialUnitAnswersInTurn_data()
    {
        QTest::addColumn<QStringList>("profile");
        QTest::addColumn<int>("leastServiceMs");
        QTest::addColumn<int>("handled"); // of the four requests, while the test waits
        QTest::newRow("service") << QStringList{"SIM_SERL=50,0,8"} << 50 << 4;
        QTest::newRow("delayed") << QStringList{"SIM_SERL=0,0,8", "SIM_DLAY=10000"} << 0 << 1;
        QTest::newRow("delayed, fast again")
            << QStringList{"SIM_SERL=0,0,8", "SIM_SERL=OFF", "SIM_DLAY=10000"} << 0 << 4;
    }

    // Four requests started together: however they are scheduled, a serial unit's k-th answer
    // cannot come before k service times have passed, and a request it delays holds up those behind
    // it, which a fast unit works on at once. Simulation commands pass the queue, and stopping the
    // server ends the waiting.
    void serialUnitAnswersInTurn()
    {
        QFETCH(QStringList, profile);
        QFETCH(int, leastServiceMs);
        QFETCH(int, handled);
        for (const QString &command : profile)
            QCOMPARE(m_server->unit().handle(command).status, 200);
        QElapsedTimer clock;
        clock.start();
        std::vector<qint64> answeredMs(4, -1);
        std::vector<std::thread> clients;
        const auto stopAndJoin = qScopeGuard([this, &clients] {
            m_server->stop();
            for (std::thread &thread : clients)
                thread.join();
        });
        for (qint64 &ms : answeredMs) {
            clients.emplace_back([this, &clock, &ms] {
                if (statusOf(get("/?CMD_PSTS")) == 200)
                    ms = clock.elapsed();
            });
        }
        const auto requests = [this] {
            const httplib::Result stat = get("/?SIM_STAT");
            return QJsonDocument::fromJson(stat ? stat->body.c_str() : "")["sim"]["requests"];
        };

        QTRY_COMPARE(requests(), QJsonValue(handled));
        QTest::qWait(200);
        QCOMPARE(requests(), QJsonValue(handled));
        if (leastServiceMs == 0)
            return;
        for (std::thread &thread : clients)
            thread.join();
        clients.clear();
        std::sort(answeredMs.begin(), answeredMs.end());
        for (size_t k = 1; k <= answeredMs.size(); ++k)
            QVERIFY2(
                answeredMs[k - 1] >= qint64(k) * leastServiceMs,
                qPrintable(QStringLiteral("answer %1 after %2 ms").arg(k).arg(answeredMs[k - 1])));
    }

    void spoiledAnswerLeavesTheUnitFree_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("lost") << "SIM_DROP";
        QTest::newRow("trickled") << "SIM_TRKL=1,10";
    }

    // A serial unit whose answer is lost or trickles has done its work: its command has taken
    // effect and the next request is served while the spoiled one is still open. The lost
    // answer never comes, so the client gives up; the trickled one comes whole, a byte every
    // 10 ms.
    void spoiledAnswerLeavesTheUnitFree()
    {
        QFETCH(QString, fault);
        SimulatedUnit &unit = m_server->unit();
        const std::string answer =
            SimulatedUnit(unit.id()).handle(QStringLiteral("CMD_PGNS=2,30")).body.toStdString();
        QCOMPARE(unit.handle(QStringLiteral("SIM_SERL=0,0,8")).status, 200);
        QCOMPARE(unit.handle(fault).status, 200);
        QElapsedTimer clock;
        clock.start();
        int spoiledStatus = -1;
        std::string spoiledBody;
        qint64 spoiledEndMs = -1;
        std::thread first([&] {
            auto slow = client();
            slow->set_read_timeout(1, 0);
            const httplib::Result spoiled = slow->Get("/?CMD_PGNS=2,30");
            spoiledStatus = statusOf(spoiled);
            spoiledBody = spoiled ? spoiled->body : std::string();
            spoiledEndMs = clock.elapsed();
        });
        const auto counted = [&unit] {
            return QJsonDocument::fromJson(
                       unit.handle(QStringLiteral("SIM_STAT")).body)["sim"]["requests"]
                .toInt();
        };
        QTRY_COMPARE(counted(), 1);
        const httplib::Result next = get("/?CMD_PGNU=2");
        const qint64 nextMs = clock.elapsed();
        first.join();

        QCOMPARE(statusOf(next), 200);
        QVERIFY(next->body.find(R"("gain":31)") != std::string::npos);
        QVERIFY2(
            nextMs < spoiledEndMs,
            qPrintable(QStringLiteral("%1 ms, spoiled ended %2 ms").arg(nextMs).arg(spoiledEndMs)));
        if (fault == QLatin1String("SIM_DROP")) {
            QCOMPARE(spoiledStatus, 0);
            QTRY_COMPARE(connections("open"), 0); // its hang-up ends the silence
            return;
        }
        QCOMPARE(spoiledStatus, 200);
        QCOMPARE(spoiledBody, answer);
        QVERIFY(spoiledEndMs >= qint64(answer.size()) * 10);
    }

    void programServesUnitsUntilStopped_data()
    {
        QTest::addColumn<bool>("signal"); // else the end of its input
        QTest::newRow("SIGTERM") << true;
        QTest::newRow("input closed") << false;
    }

    // Two units with ids from 7, one starting with a fault, and a scenario that unlocks unit 1's
    // clock at once and clears unit 2 after ten minutes; then the program ends, as its suite stops
    // it or ends, though a kept-alive connection, a request held by a silent unit and a scenario
    // step still to come are open. One that hung would be killed, with no exit code of its own.
    void programServesUnitsUntilStopped()
    {
        QFETCH(bool, signal);
        const QString scenario = writeScenario("0 1 UNLK\n600000 2 CLER\n");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"127.0.32.1:0", "127.0.32.2:0"},
                           {"--base-id", "7", "--fault", "2:HERR=500", "--max-connections", "3",
                            "--scenario", scenario}),
                 qPrintable(sim.errorString()));
        QTRY_COMPARE(sim.send(0, QStringLiteral("CMD_PSTS"))["adc"].toObject()["clksts"].toString(),
                     QStringLiteral("unlocked"));
        int answer = 0;
        sim.send(1, QStringLiteral("CMD_PSTS"), &answer);
        QCOMPARE(answer, 500);
        const QJsonValue profile =
            QJsonValue(sim.send(1, QStringLiteral("SIM_STAT")))["sim"]["profile"];
        QVERIFY(profile["serial"].toBool() && profile["maxConnections"].toInt() == 3);
        // Shared, a second simulator would quietly take over part of the first one's connections.
        SimulatorProcess second;
        QVERIFY(!second.start({sim.address(0)}));
        QCOMPARE(second.exitCode(), 1);

        QVERIFY(!sim.send(0, QStringLiteral("SIM_SLNT")).isEmpty());
        sim.send(0, QStringLiteral("CMD_PSTS"), nullptr, nullptr, 100);
        if (signal)
            sim.stop();
        else
            QVERIFY(sim.endsWhenInputCloses(3000));
        QCOMPARE(sim.exitCode(), 0);
    }

    void programRejectsBadArguments_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "SCENARIO": a file naming unit 2 of 1
        QTest::addColumn<QString>("message");
        const QString unit = QStringLiteral("127.0.32.4:0");
        const auto row = [](const char *name, const QStringList &arguments, const char *message) {
            QTest::newRow(name) << arguments << QString::fromUtf8(message);
        };
        // clang-format off
        row("13 units", {"--units", "13"}, "--units takes a whole number from 1 to 12");
        row("units and addresses", {"--units", "1", unit}, "give either --units or addresses");
        row("not loopback", {"192.0.2.1:0"}, "bad address \"192.0.2.1:0\"");
        row("bad port", {"127.0.32.4:70000"}, "bad address \"127.0.32.4:70000\"");
        row("fault for no unit", {"--fault", "2:SLNT", unit}, "bad fault \"2:SLNT\"");
        row("bad fault value", {"--fault", "1:HERR=200", unit}, "value must be 400 to 599");
        row("service time", {"--service-ms", "2001", unit},
            "--service-ms takes a whole number from 0 to 2000");
        row("no connection", {"--max-connections", "0"},
            "--max-connections takes a whole number from 1 to 64");
        row("scenario", {"--scenario", "SCENARIO", unit}, "rehearsal.txt:2: unit must be 1 to 1");
        // clang-format on
    }

    void programRejectsBadArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        arguments.replaceInStrings("SCENARIO", writeScenario("# one unit only\n100 2 SLNT\n"));
        SimulatorProcess sim;

        QVERIFY(!sim.start({}, arguments));

        QCOMPARE(sim.exitCode(), 2);
        QVERIFY2(sim.errorString().contains("corvane-unit-sim: ") &&
                     sim.errorString().contains(message),
                 qPrintable(sim.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestUnitServer)
#include "tst_unitserver.moc"
