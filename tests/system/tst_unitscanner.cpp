#include <QtTest>

#include <QHostAddress>

#include "device/NetworkCom.h"
#include "support/SimulatorProcess.h"
#include "system/ScanRange.h"
#include "system/UnitScanner.h"

class TestUnitScanner : public QObject
{
    Q_OBJECT

    // The search runs on 127.0.50.0/24 alone: the suites CTest runs beside this one have simulated
    // units on 127.0.0.x and 127.0.21-49.x, which a search of their networks would find as well.
    // A search asks every address on one port, so the units listen on a fixed one.
    const QString m_subnet = QStringLiteral("127.0.50.");
    const QString m_port = QStringLiteral(":18050");
    SimulatorProcess m_sim;

private slots:
    void initTestCase()
    {
        // Five units: the first three answer, the fourth is silent, the fifth answers HTTP errors.
        QStringList units;
        for (int host : {10, 20, 30, 40, 50})
            units << m_subnet + QString::number(host) + m_port;
        QVERIFY2(
            m_sim.start(units, {"--base-id", "31", "--fault", "4:SLNT", "--fault", "5:HERR=500"}),
            qPrintable(m_sim.errorString()));
    }

    void rangeTexts_data()
    {
        QTest::addColumn<QString>("text");
        // A good text's "count first last", or a part of the message a bad text must give.
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("/24") << "127.0.50.0/24" << "254 127.0.50.1 127.0.50.254";
        QTest::newRow("/24 of a host") << "127.0.50.77/24" << "254 127.0.50.1 127.0.50.254";
        QTest::newRow("/22") << "127.0.48.0/22" << "1022 127.0.48.1 127.0.51.254";
        QTest::newRow("/31") << "127.0.50.7/31" << "2 127.0.50.6 127.0.50.7";
        QTest::newRow("/32") << "127.0.50.7/32" << "1 127.0.50.7 127.0.50.7";
        QTest::newRow("span") << "127.0.50.5-9" << "5 127.0.50.5 127.0.50.9";
        QTest::newRow("address") << "127.0.50.5" << "1 127.0.50.5 127.0.50.5";
        QTest::newRow("port") << "127.0.50.5-6:8080" << "2 127.0.50.5:8080 127.0.50.6:8080";
        QTest::newRow("port 80") << "127.0.50.5:80" << "1 127.0.50.5 127.0.50.5";
        QTest::newRow("several, each once") << " 127.0.50.1-3 ,127.0.50.2-4, "
                                            << "4 127.0.50.1 127.0.50.4";
        QTest::newRow("1024") << "127.0.48.0/22, 127.0.52.1-2" << "1024 127.0.48.1 127.0.52.2";
        QTest::newRow("1025") << "127.0.48.0/22, 127.0.52.1-3" << "1024";
        QTest::newRow("/21") << "127.0.48.0/21" << "/22 to /32";
        QTest::newRow("/33") << "127.0.50.0/33" << "/22 to /32";
        QTest::newRow("backwards") << "127.0.50.9-5" << "\"127.0.50.9-5\"";
        QTest::newRow("past 255") << "127.0.50.9-256" << "at 255 at most";
        QTest::newRow("octet") << "127.0.50.256" << "not a range";
        QTest::newRow("name") << "unit-1" << "not a range";
        QTest::newRow("network 0") << "0.0.0.0/24" << "not a unit address";
        QTest::newRow("multicast") << "224.0.0.1" << "not a unit address";
        QTest::newRow("port 0") << "127.0.50.1:0" << "port";
        QTest::newRow("empty") << "" << "Enter a range";
        QTest::newRow("commas") << " , ," << "Enter a range";
        QTest::newRow("one bad part") << "127.0.50.1-3, x" << "\"x\"";
        // clang-format on
    }

    void rangeTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);

        const ScanRange::Parsed parsed = ScanRange::parse(text);
        const QStringList &found = parsed.addresses;
        QCOMPARE(found.isEmpty(), !parsed.error.isEmpty());
        QString got = parsed.error;
        if (got.isEmpty())
            got = QStringLiteral("%1 %2 %3").arg(found.size()).arg(found[0], found.constLast());
        QVERIFY2(got == expected || (!parsed.error.isEmpty() && got.contains(expected)),
                 qPrintable(got));
    }

    void networksOfTheInterfaces()
    {
        const QList<QHostAddress> addresses{
            QHostAddress("192.168.1.20"), QHostAddress("169.254.3.4"),
            QHostAddress("127.0.0.1"),    QHostAddress("fe80::1"),
            QHostAddress("10.0.0.5"),     QHostAddress("192.168.1.30")};
        QCOMPARE(ScanRange::networksOf(addresses), QStringLiteral("192.168.1.0/24, 10.0.0.0/24"));
    }

    void findsTheAnsweringUnitsOfANetwork()
    {
        UnitScanner scanner;
        QVERIFY(!scanner.start(m_subnet + "0/21" + m_port, {}).isEmpty());
        QVERIFY(!scanner.isRunning());

        int mostOutstanding = 0;
        connect(&scanner, &UnitScanner::progressChanged, this,
                [&] { mostOutstanding = qMax(mostOutstanding, scanner.outstanding()); });
        QCOMPARE(scanner.start(m_subnet + "0/24" + m_port, {m_sim.address(1)}), QString());
        QVERIFY(scanner.isRunning());
        QCOMPARE(scanner.outstanding(), UnitScanner::maxOutstanding);
        QVERIFY(!scanner.start(m_subnet + "0/24" + m_port, {}).isEmpty()); // one search at a time

        QTRY_VERIFY_WITH_TIMEOUT(!scanner.isRunning(), 60000);
        QCOMPARE(QList<int>({scanner.total(), scanner.tried(), scanner.outstanding()}),
                 QList<int>({254, 254, 0}));
        QVERIFY(mostOutstanding <= UnitScanner::maxOutstanding);
        QCOMPARE(scanner.rowCount(), 3);
        for (int unit = 0; unit < 3; ++unit) {
            const QJsonObject sys = m_sim.send(unit, "CMD_PSTS").value("sys").toObject();
            QVERIFY(!sys.value("name").toString().isEmpty());
            const QModelIndex row = scanner.index(unit);
            QCOMPARE(row.data(UnitScanner::AddressRole).toString(), m_sim.address(unit));
            QCOMPARE(row.data(UnitScanner::UnitIdRole).toInt(), sys.value("id").toInt());
            QCOMPARE(row.data(UnitScanner::NameRole).toString(), sys.value("name").toString());
        }
        // The unit the setup list holds already is marked and not ticked.
        QCOMPARE(scanner.tickedAddresses(), QStringList({m_sim.address(0), m_sim.address(2)}));
        QVERIFY(scanner.index(1).data(UnitScanner::ListedRole).toBool());

        scanner.markListed({m_sim.address(2)});
        QCOMPARE(scanner.tickedAddresses(), QStringList({m_sim.address(0)}));
    }

    void stopEndsTheSearchAtOnce()
    {
        UnitScanner scanner;
        QSignalSpy found(&scanner, &QAbstractItemModel::rowsInserted);
        // All three answering units are asked at once; the search stops at the first answer.
        connect(&scanner, &QAbstractItemModel::rowsInserted, &scanner, &UnitScanner::stop);
        QCOMPARE(scanner.start(m_subnet + "10-50" + m_port, {}), QString());
        QTRY_VERIFY(!scanner.isRunning());
        const int tried = scanner.tried();
        QSignalSpy progress(&scanner, &UnitScanner::progressChanged);

        // Every request of the search has ended by now, one way or the other.
        QTest::qWait(NetworkCom::transferTimeoutMs + 1000);
        QCOMPARE(found.count(), 1);
        QCOMPARE(scanner.rowCount(), 1);
        QCOMPARE(progress.count(), 0);
        QCOMPARE(scanner.tried(), tried);
        QVERIFY(tried < scanner.total());
    }
};

QTEST_MAIN(TestUnitScanner)
#include "tst_unitscanner.moc"
