#include <QtTest>

#include <QJsonArray>
#include <QQmlApplicationEngine>

#include <limits>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "system/SystemManager.h"

namespace {

// Twelve models wired to each other by the system manager, as the program wires them. Every
// command any model emits is recorded in order as "address command".
class System
{
public:
    System() : manager(&transport, &engine)
    {
        models = manager.preamps();
        for (int i = 0; i < models.size(); ++i) {
            PreampModel *model = models.at(i);
            if (i < 2) {
                model->setIP(QStringLiteral("192.168.1.%1").arg(20 + i));
                model->setData(model->index(0), 2, PreampModel::OnlineRole);
            }
            QObject::connect(
                model, &PreampModel::sendCommand,
                [this](const QString &ip, const QString &cmd) { sent << ip + ' ' + cmd; });
        }
    }
    ~System() { qDeleteAll(models); }

    // Puts a channel into a group with a given reported gain.
    Channel *member(int unit, int row, int group, int gain)
    {
        Channel *ch = models.at(unit)->channel(row);
        ch->setGain(gain);
        ch->setGroupName(group);
        ch->setGroup(true);
        return ch;
    }

    QQmlApplicationEngine engine;
    NetworkCom transport;
    SystemManager manager;
    QList<PreampModel *> models;
    QStringList sent;
};

QJsonObject statusReporting(int row, int gain)
{
    const QJsonObject entry{{"no", row + 1}, {"gain", gain}, {"name", "Ch"}};
    return QJsonObject{
        {"sys", QJsonObject{{"id", 1}}}, {"adc", QJsonObject{}}, {"channels", QJsonArray{entry}}};
}

} // namespace

class TestGainGroups : public QObject
{
    Q_OBJECT

private slots:
    void enteredGainMovesTheGroupOnEveryUnit();
    void stepMovesMembersWithoutClampingSingleOnes();
    void eachUnitStopsItsOwnMembersAtTheLimit_data();
    void eachUnitStopsItsOwnMembersAtTheLimit();
    void zeroChangeResendsEveryMember();
    void reachesUnitsNotInUse();
    void statusReportsBringTheGroupGainBackInLine();
    void joiningTheGroupStartsFromTheReportedGain();
    void movesStopAtTheEndsOfTheIntRange();
};

void TestGainGroups::enteredGainMovesTheGroupOnEveryUnit()
{
    System system;
    Channel *first = system.member(0, 0, 1, 20);
    Channel *second = system.member(1, 2, 1, 30);
    system.member(1, 3, 2, 50); // another group stays where it is

    QVERIFY(system.models.at(0)->setProperty(0, "gainRole", 25));

    QCOMPARE(system.sent, (QStringList{"192.168.1.20 CMD_PGNS=1,25", "192.168.1.21 CMD_PGNS=3,35",
                                       "192.168.1.20 CMD_PGNS=1,25"}));
    QCOMPARE(first->gain(), 25);
    QCOMPARE(second->gain(), 35);
    QCOMPARE(first->reportedGain(), 20); // until the unit reports
}

void TestGainGroups::stepMovesMembersWithoutClampingSingleOnes()
{
    System system;
    Channel *high = system.member(0, 0, 0, 68);
    Channel *low = system.member(0, 1, 0, 60);

    QVERIFY(system.models.at(0)->propertyChange(1, "gainUpRole"));

    QCOMPARE(system.sent,
             (QStringList{"192.168.1.20 CMD_PGNS=1,69", "192.168.1.20 CMD_PGNS=2,61"}));
    QCOMPARE(high->gain(), 69);
    QCOMPARE(low->gain(), 61);
}

void TestGainGroups::eachUnitStopsItsOwnMembersAtTheLimit_data()
{
    QTest::addColumn<int>("gainOnFirst");
    QTest::addColumn<int>("gainOnSecond");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QStringList>("sent");

    QTest::newRow("top on one unit only")
        << 68 << 60 << "gainUpRole" << QStringList{"192.168.1.21 CMD_PGNS=1,61"};
    QTest::newRow("beyond the top")
        << 70 << 67 << "gainUpRole" << QStringList{"192.168.1.21 CMD_PGNS=1,68"};
    QTest::newRow("bottom on one unit only")
        << 0 << 5 << "gainDownRole" << QStringList{"192.168.1.21 CMD_PGNS=1,4"};
    QTest::newRow("all at the bottom") << 0 << 0 << "gainDownRole" << QStringList{};
    QTest::newRow("below the bottom") << -2 << 0 << "gainDownRole" << QStringList{};
    QTest::newRow("away from the limit")
        << 68 << 68 << "gainDownRole"
        << QStringList{"192.168.1.20 CMD_PGNS=1,67", "192.168.1.21 CMD_PGNS=1,67"};
}

void TestGainGroups::eachUnitStopsItsOwnMembersAtTheLimit()
{
    QFETCH(int, gainOnFirst);
    QFETCH(int, gainOnSecond);
    QFETCH(QString, step);
    System system;
    Channel *first = system.member(0, 0, 3, 0);
    first->setGroupGain(gainOnFirst);
    system.member(1, 0, 3, gainOnSecond);
    QSignalSpy firstChanged(system.models.at(0), &PreampModel::dataChanged);

    QVERIFY(system.models.at(0)->propertyChange(0, step));

    QTEST(system.sent, "sent");
    const bool firstMoved = system.sent.join(' ').contains("192.168.1.20");
    // The originating row's own dataChanged always follows; the group's only when it moved.
    QCOMPARE(firstChanged.count(), firstMoved ? 2 : 1);
}

void TestGainGroups::zeroChangeResendsEveryMember()
{
    System system;
    system.member(0, 0, 1, 40);
    system.member(0, 5, 1, 10);
    system.member(1, 7, 1, 68);

    QVERIFY(system.models.at(0)->setProperty(0, "gainRole", 40));

    QCOMPARE(system.sent,
             (QStringList{"192.168.1.20 CMD_PGNS=1,40", "192.168.1.20 CMD_PGNS=6,10",
                          "192.168.1.21 CMD_PGNS=8,68", "192.168.1.20 CMD_PGNS=1,40"}));
}

void TestGainGroups::reachesUnitsNotInUse()
{
    // The slot has no unit and is offline; it still moves its members, and only the transport's
    // refusal of the unset address keeps the command off the network.
    System system;
    system.member(0, 0, 2, 10);
    Channel *unused = system.member(9, 4, 2, 15);

    QVERIFY(system.models.at(0)->propertyChange(0, "gainUpRole"));

    QCOMPARE(unused->gain(), 16);
    QVERIFY(system.sent.contains("0.0.0.0 CMD_PGNS=5,16"));
}

void TestGainGroups::statusReportsBringTheGroupGainBackInLine()
{
    System system;
    PreampModel *unit = system.models.at(0);
    Channel *pushed = system.member(0, 0, 1, 68);
    pushed->setGroupGain(70);

    unit->statusUpdated(statusReporting(0, 68), unit->ipAddr());
    QCOMPARE(pushed->gain(), 70); // keeps its overshoot while the unit reports the limit
    QCOMPARE(pushed->reportedGain(), 68);

    unit->statusUpdated(statusReporting(0, 40), unit->ipAddr());
    QCOMPARE(pushed->gain(), 40);
}

void TestGainGroups::joiningTheGroupStartsFromTheReportedGain()
{
    System system;
    PreampModel *unit = system.models.at(0);
    Channel *ch = unit->channel(3);
    ch->setGain(12);

    QVERIFY(unit->setProperty(3, "groupRole", true));
    QCOMPARE(ch->gain(), 12);
    QCOMPARE(ch->groupGain(), 12);
    ch->setGroupGain(30);
    QVERIFY(unit->setProperty(3, "groupRole", false));
    QCOMPARE(ch->groupGain(), 0);
    QCOMPARE(ch->gain(), 12);
    QVERIFY(system.sent.isEmpty());
}

// Gains from a hand-edited preset can be any int; a group move must not overflow (the sanitized
// build aborts on signed overflow).
void TestGainGroups::movesStopAtTheEndsOfTheIntRange()
{
    constexpr int most = std::numeric_limits<int>::max();
    constexpr int least = std::numeric_limits<int>::min();
    System system;
    Channel *huge = system.member(0, 0, 0, most);
    Channel *normal = system.member(0, 1, 0, 10);

    QVERIFY(system.models.at(0)->propertyChange(1, "gainUpRole"));
    QCOMPARE(huge->gain(), most);
    QCOMPARE(normal->gain(), 11);

    huge->setGroupGain(least);
    QVERIFY(system.models.at(0)->setProperty(0, "gainRole", 25));
    QCOMPARE(huge->gain(), -1); // moved by the largest difference an int holds
    QCOMPARE(normal->gain(), most);
}

QTEST_MAIN(TestGainGroups)
#include "tst_gaingroups.moc"
