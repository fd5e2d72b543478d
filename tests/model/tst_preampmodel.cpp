#include <QtTest>

#include "model/PreampModel.h"
#include "support/LogCapture.h"

// The model as the interface reads it: eight rows, the roles by number and by name, the unit
// properties QML writes, and the channel list.
class TestPreampModel : public QObject
{
    Q_OBJECT

private slots:
    // Each property is written on a fresh model with a value of its own, twice.
    void propertiesStartAtDefaultsAndNotifyOnlyOnChange()
    {
        QStringList defaults;
        const QMetaObject *meta = &PreampModel::staticMetaObject;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            PreampModel fresh;
            const QMetaProperty property = meta->property(i);
            if (!property.hasNotifySignal())
                continue; // the channel list
            defaults << QStringLiteral("%1=%2").arg(property.name(),
                                                    property.read(&fresh).toString());
            QVariant written(i);
            QVERIFY(written.convert(property.userType()));
            QSignalSpy spy(&fresh, property.notifySignal());
            QVERIFY(property.write(&fresh, written) && property.write(&fresh, written));
            QCOMPARE(property.read(&fresh), written);
            const bool carriesValue = property.notifySignal().parameterCount() == 1;
            QCOMPARE(spy,
                     QList<QVariantList>{carriesValue ? QVariantList{written} : QVariantList()});
        }
        QCOMPARE(defaults.join(' '),
                 QStringLiteral("preampID=0 sampleRate=0 clkSource=0 outFormat=0 "
                                "clkOutSource=0 online=0 clkStatus=false "
                                "preampName= ipAddr=0.0.0.0"));
    }

    // Rows are named by role number; "value" is written to the property of the published name, on
    // the model for unit roles and on channel 3 for channel roles, and read back through row 3.
    void eachRoleIsPublishedAndReadsItsField_data()
    {
        QTest::addColumn<QString>("invokable");
        QTest::addColumn<QString>("published");
        QTest::addColumn<QString>("value");

        // clang-format off
        QTest::newRow("257") << "idRole" << "preampID" << "7";
        QTest::newRow("258") << "onlineRole" << "online" << "2";
        QTest::newRow("259") << "clkStatusRole" << "clkStatus" << "true";
        QTest::newRow("260") << "sampleRateRole" << "sampleRate" << "3";
        QTest::newRow("261") << "clkSourceRole" << "clkSource" << "1";
        QTest::newRow("262") << "outFormatRole" << "outFormat" << "2";
        QTest::newRow("263") << "clkOutSourceRole" << "clkOutSource" << "4";
        QTest::newRow("264") << "preampNameRole" << "preampName" << "Stage Left";
        QTest::newRow("265") << "phantomRole" << "phantom" << "true";
        QTest::newRow("266") << "phaseRole" << "phase" << "true";
        QTest::newRow("267") << "ribbonRole" << "ribbon" << "true";
        QTest::newRow("268") << "groupRole" << "group" << "true";
        QTest::newRow("269") << "groupNameRole" << "groupName" << "2";
        QTest::newRow("270") << "gainRole" << "gain" << "70";
        QTest::newRow("271") << "nameRole" << "name" << "Snare";
        QTest::newRow("272") << "numberRole" << "number" << "4";
        QTest::newRow("273") << "meterLevelRole" << "meterLevel" << "41";
        QTest::newRow("274") << "overRole" << "over" << "true";
        QTest::newRow("275") << "scribbleStripRole" << "scribbleStrip" << "SN";
        // clang-format on
    }

    // getData takes the invokable name, by row number or by model index.
    void eachRoleIsPublishedAndReadsItsField()
    {
        QFETCH(QString, invokable);
        QFETCH(QString, published);
        QFETCH(QString, value);
        const int role = QByteArray(QTest::currentDataTag()).toInt();

        PreampModel m;
        const bool unitRole = role <= PreampModel::PreampNameRole;
        QObject *owner = unitRole ? static_cast<QObject *>(&m) : m.channel(3);
        QVERIFY(owner->setProperty(published.toLatin1(), value));
        if (role == PreampModel::GainRole) { // the role reads the group's 70, not the unit's 68
            m.channel(3)->setGroup(true);
            m.channel(3)->setGain(68);
        }
        QCOMPARE(m.roleNames().value(role), published.toLatin1());
        QCOMPARE(m.data(m.index(3), role).toString(), value);
        QCOMPARE(m.getData(QVariant(3), invokable).toString(), value);
        QCOMPARE(m.getData(m.index(3), invokable).toString(), value);
        QVERIFY(!m.getData(QVariant(3), published).isValid());
        // Unit roles read the same on every row; channel roles read row 6's defaults there.
        QCOMPARE(m.data(m.index(6), role) == m.data(m.index(3), role), unitRole);
    }

    // Eight editable rows, indexes without range checks, nothing read outside rows and roles.
    void rowsAndRolesAreFixed()
    {
        PreampModel m;
        QCOMPARE(m.rowCount(m.index(3)), 8);
        QCOMPARE(m.flags(m.index(5)), Qt::ItemIsSelectable | Qt::ItemIsEditable);
        QCOMPARE(m.index(12, 2).row() + m.index(12, 2).column(), 14);
        QCOMPARE(m.roleNames().size(), 19);
        QVERIFY(!m.data(m.index(8), PreampModel::IdRole).isValid());
        QVERIFY(!m.data(m.index(-1), PreampModel::IdRole).isValid());
        QVERIFY(!m.data(m.index(0), Qt::UserRole).isValid());
        QVERIFY(!m.data(m.index(0), PreampModel::ScribbleStripRole + 1).isValid());
        LogCapture log;
        QVERIFY(!m.getData(QVariant(8), QStringLiteral("gainRole")).isValid());
        QVERIFY(!m.getData(m.index(-1), QStringLiteral("idRole")).isValid());
        QCOMPARE(log.lines(), QStringList({"GetData Failed: Index 8 out of Bounds",
                                           "GetData Failed: Index -1 out of Bounds"}));
    }

    void channelListIsReadOnlyAndFixed()
    {
        PreampModel m;
        QQmlListProperty<Channel> list = m.channels();
        QVERIFY(!list.append && !list.clear && !list.replace && !list.removeLast);
        QCOMPARE(list.count(&list), 8);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(list.at(&list, i), m.channel(i));
        const QList<Channel *> channels = m.channelList();
        QCOMPARE(QSet<Channel *>(channels.begin(), channels.end()).size(), 8);
    }
};

QTEST_GUILESS_MAIN(TestPreampModel)
#include "tst_preampmodel.moc"
