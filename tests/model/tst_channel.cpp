#include <QtTest>

#include "model/Channel.h"

// How a channel's gain reads while it takes part in a gain group. The properties' defaults and
// notification are checked with the model's roles in tst_preampmodel.
class TestChannel : public QObject
{
    Q_OBJECT

private slots:
    void groupMembershipRebasesGroupGain()
    {
        Channel ch;
        ch.setGain(30);
        ch.setGroup(true);
        ch.setGain(40);
        QSignalSpy gainSpy(&ch, &Channel::gainChanged);
        QCOMPARE(ch.gain(), 30); // the group's view while grouped
        ch.setGroup(true);       // every write re-bases
        QCOMPARE(ch.gain(), 40);
        ch.setGroup(false);
        QCOMPARE(ch.groupGain(), 0);
        QCOMPARE(gainSpy.count(), 0); // although the gain read differently
    }

    void groupGainFollowsReportedGain_data()
    {
        QTest::addColumn<int>("groupGain");
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("expected");

        QTest::newRow("35 ignores 35") << 35 << 35 << 35;
        QTest::newRow("0 ignores 70") << 0 << 70 << 0;
        QTest::newRow("68 ignores 0") << 68 << 0 << 68;
        QTest::newRow("0 takes 1") << 0 << 1 << 1;
        QTest::newRow("20 takes 70") << 20 << 70 << 70;
        QTest::newRow("67 takes 68") << 67 << 68 << 68;
        QTest::newRow("70 keeps its overshoot at 68") << 70 << 68 << 70;
        QTest::newRow("70 takes 40") << 70 << 40 << 40;
    }

    void groupGainFollowsReportedGain()
    {
        QFETCH(int, groupGain);
        QFETCH(int, reported);
        QFETCH(int, expected);

        Channel ch;
        ch.setGain(groupGain);
        ch.setGroup(true);
        QSignalSpy spy(&ch, &Channel::groupGainChanged);
        ch.followReportedGain(reported);
        QCOMPARE(ch.groupGain(), expected);
        QCOMPARE(spy.count(), expected != groupGain ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestChannel)
#include "tst_channel.moc"
