#include <QtTest>

#include <QJsonArray>
#include <QQmlApplicationEngine>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "system/SystemManager.h"

namespace {

// Twelve models wired to each other by the system manager, as the program wires them; the first
// two at units 192.168.1.20 and .21 that count as online. Every command any model emits is
// recorded in order as the address's last number and the command ("20 PGNS=1,25").
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
            QObject::connect(model, &PreampModel::sendCommand,
                             [this](const QString &ip, QString cmd) {
                                 sent << ip.section('.', -1) + ' ' + cmd.remove("CMD_");
                             });
        }
    }
    ~System() { qDeleteAll(models); }

    QQmlApplicationEngine engine;
    NetworkCom transport;
    SystemManager manager;
    QList<PreampModel *> models;
    QStringList sent;
};

} // namespace

// Gain groups span units: a move on one member moves every member on every unit by the same
// steps, and each member's group gain then follows what its unit reports.
class TestGainGroups : public QObject
{
    Q_OBJECT

private slots:
    // Members are "unit.row:group@gain", the gain as the unit reported it, which a member takes
    // as its group gain on joining. The move is "unit.row=gain" (an entered gain) or "unit.row+"
    // and "unit.row-" (a step). "gains" are the members' gains afterwards, in order.
    void moveReachesEveryMember_data()
    {
        QTest::addColumn<QString>("members");
        QTest::addColumn<QString>("move");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("gains");

        // clang-format off
        QTest::newRow("entered gain, both units, other group stays") << "0.0:1@20 1.2:1@30 1.3:2@50"
            << "0.0=25" << "20 PGNS=1,25 | 21 PGNS=3,35 | 20 PGNS=1,25" << "25 35 50";
        QTest::newRow("entered gain unchanged resends every member")
            << "0.0:1@40 0.5:1@10 1.7:1@68" << "0.0=40"
            << "20 PGNS=1,40 | 20 PGNS=6,10 | 21 PGNS=8,68 | 20 PGNS=1,40" << "40 10 68";
        QTest::newRow("step does not clamp single members")
            << "0.0:0@68 0.1:0@60" << "0.1+" << "20 PGNS=1,69 | 20 PGNS=2,61" << "69 61";
        QTest::newRow("top on one unit only")
            << "0.0:3@68 1.0:3@60" << "0.0+" << "21 PGNS=1,61" << "68 61";
        QTest::newRow("beyond the top")
            << "0.0:3@70 1.0:3@67" << "0.0+" << "21 PGNS=1,68" << "70 68";
        QTest::newRow("bottom on one unit only")
            << "0.0:3@0 1.0:3@5" << "0.0-" << "21 PGNS=1,4" << "0 4";
        QTest::newRow("below the bottom") << "0.0:3@-2 1.0:3@0" << "0.0-" << "" << "-2 0";
        QTest::newRow("away from the limit")
            << "0.0:3@68 1.0:3@68" << "0.0-" << "20 PGNS=1,67 | 21 PGNS=1,67" << "67 67";
        // The slot has no unit and is offline; it still moves its members, and only the
        // transport's refusal of the unset address keeps the command off the network.
        QTest::newRow("slot not in use")
            << "0.0:2@10 9.4:2@15" << "0.0+" << "20 PGNS=1,11 | 0 PGNS=5,16" << "11 16";
        // Gains from a hand-edited preset can be any int: moves stop at the ends of its range
        // (the sanitized build aborts on signed overflow).
        QTest::newRow("int top") << "0.0:0@2147483647 0.1:0@10" << "0.1+"
            << "20 PGNS=1,2147483647 | 20 PGNS=2,11" << "2147483647 11";
        QTest::newRow("int bottom") << "0.0:0@-2147483648 0.1:0@11" << "0.0=25"
            << "20 PGNS=1,-1 | 20 PGNS=2,2147483647 | 20 PGNS=1,25" << "-1 2147483647";
        // clang-format on
    }

    void moveReachesEveryMember()
    {
        QFETCH(QString, members);
        QFETCH(QString, move);
        System system;
        QList<QPair<Channel *, int>> joined;
        const QRegularExpression member(R"((\d+)\.(\d+):(\d+)@(-?\d+))");
        for (const QString &text : members.split(' ')) {
            const QRegularExpressionMatch m = member.match(text);
            Channel *ch = system.models.at(m.captured(1).toInt())->channel(m.captured(2).toInt());
            ch->setGain(m.captured(4).toInt());
            ch->setGroupName(m.captured(3).toInt());
            ch->setGroup(true);
            joined.append({ch, ch->gain()});
        }
        const QRegularExpressionMatch step =
            QRegularExpression(R"((\d+)\.(\d+)([=+-])(-?\d*))").match(move);
        PreampModel *unit = system.models.at(step.captured(1).toInt());
        const int row = step.captured(2).toInt();

        QVERIFY(step.captured(3) == "="
                    ? unit->setProperty(row, "gainRole", step.captured(4).toInt())
                    : unit->propertyChange(row, step.captured(3) == "+" ? "gainUpRole"
                                                                        : "gainDownRole"));

        QTEST(system.sent.join(" | "), "sent");
        QStringList gains;
        for (const auto &[ch, reported] : joined) {
            gains << QString::number(ch->gain());
            QCOMPARE(ch->reportedGain(), reported); // until the unit reports
        }
        QTEST(gains.join(' '), "gains");
    }

    // A grouped channel's gain after its unit reports a gain. Inside the range the group gain
    // follows the unit; a member pushed past a limit keeps its overshoot while the unit reports
    // that limit, so the group keeps its spacing.
    void groupGainFollowsReportedGain_data()
    {
        QTest::addColumn<int>("groupGain");
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("expected");

        QTest::newRow("35 ignores 35") << 35 << 35 << 35;
        QTest::newRow("0 ignores 70") << 0 << 70 << 0;
        QTest::newRow("68 ignores 0") << 68 << 0 << 68;
        QTest::newRow("0 takes 1") << 0 << 1 << 1;
        QTest::newRow("67 takes 68") << 67 << 68 << 68;
        QTest::newRow("70 keeps its overshoot at 68") << 70 << 68 << 70;
    }

    void groupGainFollowsReportedGain()
    {
        QFETCH(int, groupGain);
        QFETCH(int, reported);
        QFETCH(int, expected);
        PreampModel unit;
        Channel *ch = unit.channel(0);
        ch->setGroup(true);
        ch->setGroupGain(groupGain);
        QSignalSpy spy(ch, &Channel::groupGainChanged);

        const QJsonObject entry{{"no", 1}, {"gain", reported}};
        unit.statusUpdated(QJsonObject{{"channels", QJsonArray{entry}}}, unit.ipAddr());

        QCOMPARE(ch->gain(), expected);
        QCOMPARE(ch->reportedGain(), reported);
        QCOMPARE(spy.count(), expected != groupGain ? 1 : 0);
    }

    // A status poll already on its way when the operator steps a group answers with the gain
    // from before the step: the next step still counts from the stepped gain. The reports after
    // it are followed again.
    void reportFromBeforeAStepDoesNotUndoIt()
    {
        System system;
        PreampModel *unit = system.models.at(0);
        Channel *ch = unit->channel(0);
        ch->setGain(10);
        ch->setGroupName(1);
        ch->setGroup(true);
        const auto report = [unit](int gain) {
            const QJsonObject entry{{"no", 1}, {"gain", gain}};
            unit->statusUpdated(QJsonObject{{"channels", QJsonArray{entry}}}, unit->ipAddr());
        };
        QVERIFY(unit->propertyChange(0, "gainUpRole"));
        report(10);
        QCOMPARE(ch->gain(), 11);
        QVERIFY(unit->propertyChange(0, "gainUpRole"));
        QCOMPARE(system.sent.join(" | "), QStringLiteral("20 PGNS=1,11 | 20 PGNS=1,12"));
        report(12);
        report(9);
        QCOMPARE(ch->gain(), 9);
    }
};

QTEST_MAIN(TestGainGroups)
#include "tst_gaingroups.moc"
