#include <QtTest>

#include "model/Channel.h"

// A channel strip binds to these properties directly; reports rewrite them on every poll.
class TestChannel : public QObject
{
    Q_OBJECT

private slots:
    // Each property is written on a fresh channel with a value of its own, twice.
    void propertiesStartAtDefaultsAndNotifyOnEveryWrite()
    {
        QStringList defaults;
        const QMetaObject *meta = &Channel::staticMetaObject;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            Channel ch;
            const QMetaProperty property = meta->property(i);
            defaults << QStringLiteral("%1=%2").arg(property.name(), property.read(&ch).toString());
            QVariant written(i);
            QVERIFY(written.convert(property.userType()));
            QSignalSpy spy(&ch, property.notifySignal());
            QVERIFY(property.write(&ch, written) && property.write(&ch, written));
            QCOMPARE(property.read(&ch), written);
            QCOMPARE(spy.count(), 2);
        }
        QCOMPARE(defaults.join(' '), QStringLiteral("phantom=false phase=false ribbon=false "
                                                    "group=false groupName=0 gain=0 name=Channel "
                                                    "number=0 meterLevel=0 peakLevel=0 "
                                                    "scribbleStrip= over=false"));
    }

    void groupMembershipRebasesGroupGain()
    {
        Channel ch;
        ch.setGain(30);
        QSignalSpy gainSpy(&ch, &Channel::gainChanged);
        ch.setGroup(true);
        QCOMPARE(ch.groupGain(), 30);
        ch.setGain(40);
        QCOMPARE(ch.gain(), 30); // the group's view while grouped
        ch.setGroup(true);
        QCOMPARE(ch.groupGain(), 40);
        ch.setGroup(false);
        QCOMPARE(ch.groupGain(), 0);
        QCOMPARE(ch.gain(), 40);
        QCOMPARE(gainSpy.count(), 1); // from setGain(40) only
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
