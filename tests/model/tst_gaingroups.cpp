#include <QtTest>

#include <QJsonArray>
#include <QQmlApplicationEngine>

#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/HttpTestPeer.h"
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
            // Recorded only: no unit answers at these addresses.
            QObject::disconnect(model, nullptr, &transport, nullptr);
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

    // Channel 1 reported at gain 10, grouped alone or not; then the operator's changes ("+", "-",
    // "=gain") and what reaches the model ("sN" a status report, "cN" a channel report of gain N,
    // "e" a failed request). Status polls go on while commands wait, so a report may show the
    // unit before it has taken the operator's last change: until the unit reports the requested
    // gain, a group does not follow reports and steps go as the gain they reach.
    void requestedGainHoldsUntilReported_data()
    {
        QTest::addColumn<bool>("grouped");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("gain");

        const auto row = [](const char *name, bool grouped, const char *events, const char *sent,
                            int gain) {
            QTest::newRow(name) << grouped << QString(events) << QString(sent) << gain;
        };
        // clang-format off
        row("group: stale reports do not undo steps", true, "+ s10 + s11 s12 s9",
            "PGNS=1,11 | PGNS=1,12", 9);
        row("group: entered gain", true, "=30 s10 +", "PGNS=1,30 | PGNS=1,30 | PGNS=1,31", 31);
        row("group: channel report is no proof", true, "+ c11 s10", "PGNS=1,11", 11);
        row("group: three reports wait", true, "+ s10 s10 s10", "PGNS=1,11", 11);
        row("group: the fourth lapses", true, "+ s10 s10 s10 s10", "PGNS=1,11", 10);
        row("group: a move starts the count anew", true, "+ s10 s10 s10 + s10",
            "PGNS=1,11 | PGNS=1,12", 12);
        row("group: failed request", true, "+ e s10", "PGNS=1,11", 10);
        row("steps outrunning the unit", false, "+ + -", "PGNU=1 | PGNS=1,12 | PGNS=1,11", 10);
        row("step taken, channel report", false, "+ c11 +", "PGNU=1 | PGNU=1", 11);
        row("step taken, status report", false, "+ s11 -", "PGNU=1 | PGND=1", 11);
        row("step from an entered gain", false, "=30 +", "PGNS=1,30 | PGNS=1,31", 10);
        row("steps at the top", false, "=68 c68 + +", "PGNS=1,68 | PGNU=1 | PGNS=1,68", 68);
        row("step after a failed request", false, "+ e +", "PGNU=1 | PGNU=1", 10);
        row("step after the wait lapsed", false, "+ s10 s10 s10 s10 +", "PGNU=1 | PGNU=1", 10);
        // clang-format on
    }

    void requestedGainHoldsUntilReported()
    {
        QFETCH(bool, grouped);
        QFETCH(QString, events);
        PreampModel unit;
        unit.setIP(QStringLiteral("192.168.1.20"));
        unit.setData(unit.index(0), 2, PreampModel::OnlineRole);
        Channel *ch = unit.channel(0);
        ch->setGain(10);
        ch->setGroup(grouped);
        QStringList sent;
        connect(&unit, &PreampModel::sendCommand, this,
                [&sent](const QString &, QString command) { sent << command.remove("CMD_"); });
        const auto report = [](int gain) {
            const QJsonObject entry{{"no", 1}, {"gain", gain}};
            return QJsonObject{{"channels", QJsonArray{entry}}};
        };

        for (const QString &event : events.split(' ')) {
            const int value = event.mid(1).toInt();
            if (event == "+" || event == "-")
                QVERIFY(unit.propertyChange(0, event == "+" ? "gainUpRole" : "gainDownRole"));
            else if (event.startsWith('='))
                QVERIFY(unit.setProperty(0, "gainRole", value));
            else if (event.startsWith('s'))
                unit.statusUpdated(report(value), unit.ipAddr());
            else if (event.startsWith('c'))
                unit.channelUpdated(report(value), unit.ipAddr());
            else
                unit.errorReceived(QStringLiteral("Operation canceled"), unit.ipAddr());
        }

        QTEST(sent.join(" | "), "sent");
        QTEST(ch->gain(), "gain");
    }

    void heldStepsReachASlowUnit_data()
    {
        QTest::addColumn<int>("members"); // of the group; 0: one channel, not grouped
        QTest::addColumn<int>("serviceMs");
        QTest::newRow("one channel, 300 ms") << 0 << 300;
        QTest::newRow("eight grouped, 60 ms") << 8 << 60;
    }

    // An operator holds "gain up" on a unit that works on one request at a time and whose
    // answers to commands carry no report, so that only its status reports keep its watchdog
    // satisfied. No step is refused, the unit stays online and keeps being polled, and once the
    // button is let go the unit gets at most one waiting gain per held channel before it holds
    // the operator's last values.
    void heldStepsReachASlowUnit()
    {
        QFETCH(int, members);
        QFETCH(int, serviceMs);
        constexpr int steps = 12; // three seconds at the button's repeat: longer than the watchdog
        constexpr int repeatMs = 250;
        HttpTestPeer peer;
        QVERIFY(peer.listen(QStringLiteral("127.0.23.1")));
        peer.setServiceMs(serviceMs);
        peer.setAnswering([](const QString &command) {
            return RequestQueue::isPoll(command) ? HttpTestPeer::defaultAnswer(command)
                                                 : HttpTestPeer::Answer{200, "{}"};
        });
        NetworkCom transport;
        PreampModel unit;
        connect(&unit, &PreampModel::sendCommand, &transport, &NetworkCom::command);
        connect(&transport, &NetworkCom::statusUpdate, &unit, &PreampModel::statusUpdated);
        connect(&transport, &NetworkCom::meterUpdate, &unit, &PreampModel::newMeterData);
        connect(&transport, &NetworkCom::replyError, &unit, &PreampModel::errorReceived);
        for (int row = 0; row < members; ++row) {
            unit.channel(row)->setGroupName(0);
            unit.channel(row)->setGroup(true);
        }
        unit.setIP(peer.address());
        unit.init();
        QTRY_COMPARE(unit.online(), int(PreampModel::Online));
        int lowest = unit.online();
        connect(&unit, &PreampModel::dataChanged, this,
                [&] { lowest = std::min(lowest, unit.online()); });
        const int statusBefore = peer.received().count("CMD_PSTS");
        int refused = 0;
        QElapsedTimer clock;
        clock.start();

        for (int step = 0; step < steps; ++step) {
            refused += unit.propertyChange(0, "gainUpRole") ? 0 : 1;
            QTest::qWait(repeatMs);
        }
        const double heldSeconds = clock.elapsed() / 1000.0;
        const QStringList atRelease = peer.received();
        unit.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(transport.pendingRequests(), 0, 10000);

        QCOMPARE(refused, 0);
        QCOMPARE(lowest, int(PreampModel::Online));
        const double statusPerSecond = (atRelease.count("CMD_PSTS") - statusBefore) / heldSeconds;
        QVERIFY2(statusPerSecond >= 1.5, qPrintable(QString::number(statusPerSecond)));
        QVERIFY(transport.mergedCommands() > 0);
        QStringList late = peer.received().mid(atRelease.size());
        late.erase(std::remove_if(late.begin(), late.end(), &RequestQueue::isPoll), late.end());
        QVERIFY2(late.size() <= std::max(members, 1), qPrintable(late.join(' ')));
        // After the first step every held channel is sent the gain the steps reached: its last
        // command sets the operator's last value.
        for (int channel = 1; channel <= std::max(members, 1); ++channel) {
            const QString prefix = Commands::setGain(channel, 0).chopped(1);
            const QStringList sent = peer.received().filter(prefix);
            QCOMPARE(sent.value(sent.size() - 1), Commands::setGain(channel, steps));
        }
    }
};

QTEST_MAIN(TestGainGroups)
#include "tst_gaingroups.moc"
