#include <QtTest>

#include "model/PreampModel.h"
#include "support/LogCapture.h"

// The model as the interface reads it: eight rows, the roles by number and by name, the unit
// properties QML writes, and the channel list.
class TestPreampModel : public QObject
{
    Q_OBJECT

private slots:
    // Rows are named by role number. The property of the published name (on the model for unit
    // roles, on channel 3 for channel roles) starts at "initial" and is written "value" twice;
    // row 3 then reads "value" by role number and by invokable name.
    void eachRoleIsPublishedAndReadsItsField_data()
    {
        QTest::addColumn<QString>("invokable");
        QTest::addColumn<QString>("published");
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("value");

        // clang-format off
        QTest::newRow("257") << "idRole" << "preampID" << "0" << "7";
        QTest::newRow("258") << "onlineRole" << "online" << "0" << "2";
        QTest::newRow("259") << "clkStatusRole" << "clkStatus" << "false" << "true";
        QTest::newRow("260") << "sampleRateRole" << "sampleRate" << "0" << "3";
        QTest::newRow("261") << "clkSourceRole" << "clkSource" << "0" << "1";
        QTest::newRow("262") << "outFormatRole" << "outFormat" << "0" << "2";
        QTest::newRow("263") << "clkOutSourceRole" << "clkOutSource" << "0" << "4";
        QTest::newRow("264") << "preampNameRole" << "preampName" << "" << "Stage Left";
        QTest::newRow("265") << "phantomRole" << "phantom" << "false" << "true";
        QTest::newRow("266") << "phaseRole" << "phase" << "false" << "true";
        QTest::newRow("267") << "ribbonRole" << "ribbon" << "false" << "true";
        QTest::newRow("268") << "groupRole" << "group" << "false" << "true";
        QTest::newRow("269") << "groupNameRole" << "groupName" << "0" << "2";
        QTest::newRow("270") << "gainRole" << "gain" << "0" << "70";
        QTest::newRow("271") << "nameRole" << "name" << "Channel" << "Snare";
        QTest::newRow("272") << "numberRole" << "number" << "0" << "4";
        QTest::newRow("273") << "meterLevelRole" << "meterLevel" << "0" << "41";
        QTest::newRow("274") << "overRole" << "over" << "false" << "true";
        QTest::newRow("275") << "scribbleStripRole" << "scribbleStrip" << "" << "SN";
        // clang-format on
    }

    void eachRoleIsPublishedAndReadsItsField()
    {
        QFETCH(QString, invokable);
        QFETCH(QString, published);
        QFETCH(QString, initial);
        QFETCH(QString, value);
        const int role = QByteArray(QTest::currentDataTag()).toInt();

        PreampModel m;
        const bool unitRole = role <= PreampModel::PreampNameRole;
        QObject *owner = unitRole ? static_cast<QObject *>(&m) : m.channel(3);
        const QMetaObject *meta = owner->metaObject();
        const QMetaProperty property = meta->property(meta->indexOfProperty(qPrintable(published)));
        QCOMPARE(property.read(owner).toString(), initial);
        QSignalSpy notified(owner, property.notifySignal());
        QVERIFY(property.write(owner, value) && property.write(owner, value));
        // The model notifies real changes only; a channel notifies every write, as strips expect.
        QCOMPARE(notified.count(), unitRole ? 1 : 2);
        if (role == PreampModel::GainRole) { // the role reads the group's 70, not the unit's 68
            m.channel(3)->setGroup(true);
            m.channel(3)->setGain(68);
        }
        QCOMPARE(m.roleNames().value(role), published.toLatin1());
        QCOMPARE(m.data(m.index(3), role).toString(), value);
        QCOMPARE(m.getData(QVariant(3), invokable).toString(), value);
        QCOMPARE(m.getData(m.index(3), invokable).toString(), value);
        // Unit roles read the same on every row; channel roles read row 6's defaults there.
        QCOMPARE(m.data(m.index(6), role) == m.data(m.index(3), role), unitRole);
    }

    // Eight editable rows, indexes without range checks, nothing read outside rows and roles,
    // and a channel list QML cannot change.
    void rowsRolesAndChannelsAreFixed()
    {
        PreampModel m;
        QCOMPARE(m.rowCount(m.index(3)), 8);
        QCOMPARE(m.flags(m.index(5)), Qt::ItemIsSelectable | Qt::ItemIsEditable);
        QCOMPARE(m.index(12, 2).row() + m.index(12, 2).column(), 14);
        QCOMPARE(m.ipAddr(), QStringLiteral("0.0.0.0"));
        QCOMPARE(m.roleNames().size(), 19);
        QVERIFY(!m.getData(QVariant(3), QStringLiteral("gain")).isValid()); // a published name
        QVERIFY(!m.data(m.index(8), PreampModel::IdRole).isValid());
        QVERIFY(!m.data(m.index(-1), PreampModel::IdRole).isValid());
        QVERIFY(!m.data(m.index(0), Qt::UserRole).isValid());
        QVERIFY(!m.data(m.index(0), PreampModel::ScribbleStripRole + 1).isValid());
        LogCapture log;
        QVERIFY(!m.getData(QVariant(8), QStringLiteral("gainRole")).isValid());
        QVERIFY(!m.getData(m.index(-1), QStringLiteral("idRole")).isValid());
        QCOMPARE(log.lines(), QStringList({"GetData Failed: Index 8 out of Bounds",
                                           "GetData Failed: Index -1 out of Bounds"}));
        QQmlListProperty<Channel> list = m.channels(); // read-only, the model's own eight
        QVERIFY(!list.append && !list.clear && !list.replace && !list.removeLast);
        QCOMPARE(list.count(&list), 8);
        const QList<Channel *> channels = m.channelList();
        QCOMPARE(QSet<Channel *>(channels.begin(), channels.end()).size(), 8);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(list.at(&list, i), channels.at(i));
    }
};

QTEST_GUILESS_MAIN(TestPreampModel)
#include "tst_preampmodel.moc"
