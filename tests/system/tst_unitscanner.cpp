#include <QtTest>

#include <QHostAddress>

#include "device/NetworkCom.h"
#include "support/SimulatorProcess.h"
#include "system/ScanRange.h"
#include "system/UnitScanner.h"

namespace {

// The search runs on 127.0.50.0/24 alone: the suites CTest runs beside this one have simulated
// units on 127.0.0.x and 127.0.21-49.x, which a search of their networks would find as well.
// A search asks every address on one port, so the units listen on a fixed one.
const QString subnet = QStringLiteral("127.0.50.");
const QString port = QStringLiteral(":18050");

QString row(const UnitScanner &scanner, int row, UnitScanner::Roles role)
{
    return scanner.data(scanner.index(row), role).toString();
}

} // namespace

class TestUnitScanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rangeTexts_data();
    void rangeTexts();
    void networksOfTheInterfaces();
    void findsTheAnsweringUnitsOfANetwork();
    void stopEndsTheSearchAtOnce();

private:
    SimulatorProcess m_sim;
};

void TestUnitScanner::initTestCase()
{
    // Five units: the first three answer, the fourth is silent, the fifth answers HTTP errors.
    QStringList units;
    for (int host : {10, 20, 30, 40, 50})
        units << subnet + QString::number(host) + port;
    QVERIFY2(m_sim.start(units, {"--base-id", "31", "--fault", "4:SLNT", "--fault", "5:HERR=500"}),
             qPrintable(m_sim.errorString()));
}

void TestUnitScanner::rangeTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("error"); // a part of the message a bad text must give

    QTest::newRow("/24") << "127.0.50.0/24" << 254 << "127.0.50.1"
                         << "127.0.50.254"
                         << "";
    QTest::newRow("/24 of a host") << "127.0.50.77/24" << 254 << "127.0.50.1"
                                   << "127.0.50.254"
                                   << "";
    QTest::newRow("/22") << "127.0.48.0/22" << 1022 << "127.0.48.1"
                         << "127.0.51.254"
                         << "";
    QTest::newRow("/31") << "127.0.50.7/31" << 2 << "127.0.50.6"
                         << "127.0.50.7"
                         << "";
    QTest::newRow("/32") << "127.0.50.7/32" << 1 << "127.0.50.7"
                         << "127.0.50.7"
                         << "";
    QTest::newRow("span") << "127.0.50.5-9" << 5 << "127.0.50.5"
                          << "127.0.50.9"
                          << "";
    QTest::newRow("address") << "127.0.50.5" << 1 << "127.0.50.5"
                             << "127.0.50.5"
                             << "";
    QTest::newRow("port") << "127.0.50.5-6:8080" << 2 << "127.0.50.5:8080"
                          << "127.0.50.6:8080"
                          << "";
    QTest::newRow("port 80") << "127.0.50.5:80" << 1 << "127.0.50.5"
                             << "127.0.50.5"
                             << "";
    QTest::newRow("several, each address once")
        << " 127.0.50.1-3 ,127.0.50.2-4, " << 4 << "127.0.50.1"
        << "127.0.50.4"
        << "";
    QTest::newRow("1024") << "127.0.48.0/22, 127.0.52.1-2" << 1024 << "127.0.48.1"
                          << "127.0.52.2"
                          << "";

    QTest::newRow("1025") << "127.0.48.0/22, 127.0.52.1-3" << 0 << ""
                          << ""
                          << "1024";
    QTest::newRow("/21") << "127.0.48.0/21" << 0 << ""
                         << ""
                         << "/22 to /32";
    QTest::newRow("/33") << "127.0.50.0/33" << 0 << ""
                         << ""
                         << "/22 to /32";
    QTest::newRow("backwards") << "127.0.50.9-5" << 0 << ""
                               << ""
                               << "\"127.0.50.9-5\"";
    QTest::newRow("past 255") << "127.0.50.9-256" << 0 << ""
                              << ""
                              << "at 255 at most";
    QTest::newRow("octet") << "127.0.50.256" << 0 << ""
                           << ""
                           << "not a range";
    QTest::newRow("name") << "unit-1" << 0 << ""
                          << ""
                          << "not a range";
    QTest::newRow("network 0") << "0.0.0.0/24" << 0 << ""
                               << ""
                               << "not a unit address";
    QTest::newRow("multicast") << "224.0.0.1" << 0 << ""
                               << ""
                               << "not a unit address";
    QTest::newRow("port 0") << "127.0.50.1:0" << 0 << ""
                            << ""
                            << "port";
    QTest::newRow("empty") << "" << 0 << ""
                           << ""
                           << "Enter a range";
    QTest::newRow("commas") << " , ," << 0 << ""
                            << ""
                            << "Enter a range";
    QTest::newRow("one bad part") << "127.0.50.1-3, x" << 0 << ""
                                  << ""
                                  << "\"x\"";
}

void TestUnitScanner::rangeTexts()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QString, error);

    const ScanRange::Parsed parsed = ScanRange::parse(text);
    QVERIFY2(error.isEmpty() ? parsed.error.isEmpty() : parsed.error.contains(error),
             qPrintable(parsed.error));
    QCOMPARE(parsed.addresses.size(), count);
    if (count > 0) {
        QTEST(parsed.addresses.constFirst(), "first");
        QTEST(parsed.addresses.constLast(), "last");
    }
}

void TestUnitScanner::networksOfTheInterfaces()
{
    const QList<QHostAddress> addresses{QHostAddress("192.168.1.20"), QHostAddress("169.254.3.4"),
                                        QHostAddress("127.0.0.1"),    QHostAddress("fe80::1"),
                                        QHostAddress("10.0.0.5"),     QHostAddress("192.168.1.30")};
    QCOMPARE(ScanRange::networksOf(addresses), QStringLiteral("192.168.1.0/24, 10.0.0.0/24"));
}

void TestUnitScanner::findsTheAnsweringUnitsOfANetwork()
{
    UnitScanner scanner;
    QVERIFY(!scanner.start(subnet + "0/21" + port, {}).isEmpty());
    QVERIFY(!scanner.isRunning());

    int mostOutstanding = 0;
    connect(&scanner, &UnitScanner::progressChanged, this,
            [&] { mostOutstanding = qMax(mostOutstanding, scanner.outstanding()); });
    QCOMPARE(scanner.start(subnet + "0/24" + port, {m_sim.address(1)}), QString());
    QVERIFY(scanner.isRunning());
    QCOMPARE(scanner.outstanding(), UnitScanner::maxOutstanding);
    QVERIFY(!scanner.start(subnet + "0/24" + port, {}).isEmpty()); // one search at a time

    QTRY_VERIFY_WITH_TIMEOUT(!scanner.isRunning(), 60000);
    QCOMPARE(scanner.total(), 254);
    QCOMPARE(scanner.tried(), 254);
    QCOMPARE(scanner.outstanding(), 0);
    QVERIFY(mostOutstanding <= UnitScanner::maxOutstanding);
    QCOMPARE(scanner.rowCount(), 3);
    for (int unit = 0; unit < 3; ++unit) {
        QCOMPARE(row(scanner, unit, UnitScanner::AddressRole), m_sim.address(unit));
        QCOMPARE(row(scanner, unit, UnitScanner::UnitIdRole).toInt(), m_sim.unitId(unit));
        const QString name = m_sim.send(unit, "CMD_PSTS").value("sys")["name"].toString();
        QVERIFY(!name.isEmpty());
        QCOMPARE(row(scanner, unit, UnitScanner::NameRole), name);
    }
    // The unit the setup list holds already is marked and not ticked.
    QCOMPARE(scanner.tickedAddresses(), QStringList({m_sim.address(0), m_sim.address(2)}));
    QVERIFY(scanner.data(scanner.index(1), UnitScanner::ListedRole).toBool());

    scanner.markListed({m_sim.address(2)});
    QCOMPARE(scanner.tickedAddresses(), QStringList({m_sim.address(0)}));
}

void TestUnitScanner::stopEndsTheSearchAtOnce()
{
    UnitScanner scanner;
    QSignalSpy found(&scanner, &QAbstractItemModel::rowsInserted);
    // All three answering units are asked at once; the search stops at the first answer.
    connect(&scanner, &QAbstractItemModel::rowsInserted, &scanner, &UnitScanner::stop);
    QCOMPARE(scanner.start(subnet + "10-50" + port, {}), QString());
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

QTEST_MAIN(TestUnitScanner)
#include "tst_unitscanner.moc"
