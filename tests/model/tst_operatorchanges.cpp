#include <QtTest>

#include "model/PreampModel.h"
#include "support/LogCapture.h"

namespace {

const QString unitAddress = QStringLiteral("192.168.1.20");

// A model whose unit counts as online (or not), with some stored state to send back.
struct Unit
{
    explicit Unit(bool online)
    {
        model.setIP(unitAddress);
        model.setData(model.index(0), online ? 2 : 0, PreampModel::OnlineRole);
        model.setData(model.index(0), 2, PreampModel::SampleRateRole);
        model.setData(model.index(0), 1, PreampModel::ClkSourceRole);
        model.setData(model.index(0), 1, PreampModel::OutFormatRole);
        model.setData(model.index(0), 0, PreampModel::ClkOutSourceRole);
        model.setData(model.index(0), "Stage", PreampModel::PreampNameRole);
        sent.clear();
        changed.clear();
    }
    QStringList commands() const
    {
        QStringList texts;
        for (const QList<QVariant> &args : sent) {
            if (args.at(0).toString() == unitAddress)
                texts << args.at(1).toString();
        }
        return texts;
    }
    PreampModel model;
    QSignalSpy sent{&model, &PreampModel::sendCommand};
    QSignalSpy changed{&model, &PreampModel::dataChanged};
};

} // namespace

// Operator edits become commands byte for byte, and only while the unit is online.
class TestOperatorChanges : public QObject
{
    Q_OBJECT

private slots:
    void setPropertySendsCommands_data();
    void setPropertySendsCommands();
    void setPropertyChangesTheModel();
    void setPropertyRejectsBadRowsAndRoles_data();
    void setPropertyRejectsBadRowsAndRoles();
    void propertyChangeSendsCommands_data();
    void propertyChangeSendsCommands();
    void propertyChangeTogglesGroupLocally();
    void setDataStoresWithoutCommands_data();
    void setDataStoresWithoutCommands();
    void fullSyncSendsFortyFiveCommandsInOrder();
    void factoryResetChangesNothingLocally();
};

void TestOperatorChanges::setPropertySendsCommands_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QStringList>("commands");

    const QStringList none;
    QTest::newRow("phantom on") << true << 2 << "phantomRole" << QVariant(true)
                                << QStringList{"CMD_P48S=3,ON"};
    QTest::newRow("phantom off") << true << 2 << "phantomRole" << QVariant(false)
                                 << QStringList{"CMD_P48S=3,OFF"};
    QTest::newRow("phase") << true << 0 << "phaseRole" << QVariant(true)
                           << QStringList{"CMD_PPHS=1,ON"};
    QTest::newRow("ribbon") << true << 7 << "ribbonRole" << QVariant(false)
                            << QStringList{"CMD_PIPS=8,OFF"};
    QTest::newRow("gain") << true << 4 << "gainRole" << QVariant(30)
                          << QStringList{"CMD_PGNS=5,30"};
    QTest::newRow("gain as text") << true << 4 << "gainRole" << QVariant("12")
                                  << QStringList{"CMD_PGNS=5,12"};
    QTest::newRow("name sent untrimmed")
        << true << 0 << "nameRole" << QVariant("Kick ") << QStringList{"CMD_NMCH=1,Kick "};
    QTest::newRow("over cleared") << true << 0 << "overRole" << QVariant(false)
                                  << QStringList{"CMD_DOVC=1"};
    QTest::newRow("over set sends nothing") << true << 0 << "overRole" << QVariant(true) << none;
    QTest::newRow("sample rate") << true << 0 << "sampleRateRole" << QVariant(4)
                                 << QStringList{"CMD_ADFS=4"};
    QTest::newRow("same sample rate") << true << 0 << "sampleRateRole" << QVariant(2) << none;
    QTest::newRow("clock source") << true << 3 << "clkSourceRole" << QVariant(3)
                                  << QStringList{"CMD_ADCK=3"};
    QTest::newRow("output format")
        << true << 0 << "outFormatRole" << QVariant(0) << QStringList{"CMD_ADTX=0"};
    QTest::newRow("clock out") << true << 0 << "clkOutSourceRole" << QVariant(1)
                               << QStringList{"CMD_ADOC=1"};
    QTest::newRow("unit name") << true << 0 << "preampNameRole" << QVariant("FOH Rack")
                               << QStringList{"CMD_NMDV=FOH Rack"};
    QTest::newRow("same unit name") << true << 0 << "preampNameRole" << QVariant("Stage") << none;
    for (const char *local : {"groupRole", "groupNameRole", "scribbleStripRole", "meterLevelRole",
                              "idRole", "onlineRole", "clkStatusRole"})
        QTest::newRow(local) << true << 1 << local << QVariant(1) << none;
    for (const char *role : {"phantomRole", "phaseRole", "ribbonRole", "gainRole", "nameRole",
                             "overRole", "sampleRateRole", "preampNameRole"})
        QTest::newRow(qPrintable(QStringLiteral("offline %1").arg(role)))
            << false << 1 << role << QVariant(0) << none;
}

void TestOperatorChanges::setPropertySendsCommands()
{
    QFETCH(bool, online);
    QFETCH(int, row);
    QFETCH(QString, role);
    QFETCH(QVariant, value);
    Unit unit(online);
    LogCapture log;

    QVERIFY(unit.model.setProperty(row, role, value));

    QTEST(unit.commands(), "commands");
    QCOMPARE(unit.changed.count(), 1);
    QCOMPARE(unit.changed.at(0).at(0).toModelIndex().row(), row);
    QCOMPARE(unit.changed.at(0).at(1).toModelIndex().row(), row);
    QVERIFY(unit.changed.at(0).at(2).value<QVector<int>>().isEmpty());
    QVERIFY(log.contains(QStringLiteral("\"%1\"  changed").arg(role)));
}

void TestOperatorChanges::setPropertyChangesTheModel()
{
    Unit online(true);
    Channel *ch = online.model.channel(0);
    online.model.setProperty(0, "phantomRole", true);
    online.model.setProperty(0, "nameRole", "  Kick ");
    online.model.setProperty(0, "gainRole", 30);
    online.model.setProperty(0, "scribbleStripRole", "mic 57");
    online.model.setProperty(0, "sampleRateRole", 6);
    QVERIFY(ch->phantom());
    QCOMPARE(ch->name(), QStringLiteral("Kick"));
    QCOMPARE(ch->gain(), 0); // changes only when the unit reports it
    QCOMPARE(ch->scribbleStrip(), QStringLiteral("mic 57"));
    QCOMPARE(online.model.sampleRate(), 6);

    Unit offline(false);
    offline.model.setProperty(0, "phantomRole", true);
    offline.model.setProperty(0, "sampleRateRole", 6);
    offline.model.setProperty(0, "idRole", 9);
    QVERIFY(!offline.model.channel(0)->phantom());
    QCOMPARE(offline.model.sampleRate(), 2);
    QCOMPARE(offline.model.preampID(), 9); // the local roles need no unit
}

void TestOperatorChanges::setPropertyRejectsBadRowsAndRoles_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("message");

    QTest::newRow("row 8 for a unit role") << 8 << "sampleRateRole"
                                           << "Property Set Failed: Index out of Bounds";
    QTest::newRow("negative row") << -1 << "gainRole"
                                  << "Property Set Failed: Index out of Bounds";
    QTest::newRow("published name") << 0 << "gain"
                                    << "Property Set Failed: Unknown Role";
    QTest::newRow("step role") << 0 << "gainUpRole"
                               << "Property Set Failed: Unknown Role";
    QTest::newRow("number") << 0 << "numberRole"
                            << "Property Set Failed: Unknown Role";
    QTest::newRow("case matters") << 0 << "GainRole"
                                  << "Property Set Failed: Unknown Role";
}

void TestOperatorChanges::setPropertyRejectsBadRowsAndRoles()
{
    QFETCH(int, row);
    QFETCH(QString, role);
    Unit unit(true);
    LogCapture log;

    QVERIFY(!unit.model.setProperty(row, role, 1));

    QFETCH(QString, message);
    QVERIFY(log.contains(message));
    QCOMPARE(unit.sent.count(), 0);
    QCOMPARE(unit.changed.count(), 0);
}

void TestOperatorChanges::propertyChangeSendsCommands_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("role");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("commands");

    const QStringList none;
    QTest::newRow("phantom toggle")
        << true << 2 << "phantomRole" << true << QStringList{"CMD_P48T=3"};
    QTest::newRow("phase toggle") << true << 1 << "phaseRole" << true << QStringList{"CMD_PPHT=2"};
    QTest::newRow("ribbon toggle")
        << true << 7 << "ribbonRole" << true << QStringList{"CMD_PIPT=8"};
    QTest::newRow("gain up") << true << 0 << "gainUpRole" << true << QStringList{"CMD_PGNU=1"};
    QTest::newRow("gain down") << true << 5 << "gainDownRole" << true << QStringList{"CMD_PGND=6"};
    QTest::newRow("name alone") << true << 0 << "nameRole" << true << QStringList{"CMD_NMCH=1"};
    QTest::newRow("over") << true << 3 << "overRole" << true << QStringList{"CMD_DOVC=4"};
    QTest::newRow("sample rate resent")
        << true << 0 << "sampleRateRole" << true << QStringList{"CMD_ADFS=2"};
    QTest::newRow("clock source resent")
        << true << 0 << "clkSourceRole" << true << QStringList{"CMD_ADCK=1"};
    QTest::newRow("format resent")
        << true << 0 << "outFormatRole" << true << QStringList{"CMD_ADTX=1"};
    QTest::newRow("clock out resent")
        << true << 0 << "clkOutSourceRole" << true << QStringList{"CMD_ADOC=0"};
    for (const char *quiet : {"idRole", "onlineRole", "clkStatusRole", "meterLevelRole"})
        QTest::newRow(quiet) << true << 0 << quiet << true << none;
    for (const char *refused : {"preampNameRole", "groupNameRole", "gainRole", "numberRole"})
        QTest::newRow(refused) << true << 0 << refused << false << none;
    QTest::newRow("scribble strip online") << true << 0 << "scribbleStripRole" << true << none;
    QTest::newRow("scribble strip offline") << false << 0 << "scribbleStripRole" << true << none;
    for (const char *role : {"phantomRole", "gainUpRole", "overRole", "idRole", "groupRole"})
        QTest::newRow(qPrintable(QStringLiteral("offline %1").arg(role)))
            << false << 0 << role << false << none;
    QTest::newRow("row out of range") << true << 8 << "phantomRole" << false << none;
}

void TestOperatorChanges::propertyChangeSendsCommands()
{
    QFETCH(bool, online);
    QFETCH(int, row);
    QFETCH(QString, role);
    QFETCH(bool, accepted);
    Unit unit(online);
    const bool phantomBefore = unit.model.channel(2)->phantom();
    LogCapture log;

    QCOMPARE(unit.model.propertyChange(row, role), accepted);

    QTEST(unit.commands(), "commands");
    QCOMPARE(unit.changed.count(), accepted ? 1 : 0);
    QCOMPARE(unit.model.channel(2)->phantom(), phantomBefore); // toggles happen on the unit
    if (!accepted && row < 8)
        QVERIFY(log.contains("Property Set Failed: Unknown Role"));
}

void TestOperatorChanges::propertyChangeTogglesGroupLocally()
{
    Unit unit(true);
    Channel *ch = unit.model.channel(1);
    ch->setGain(12);

    QVERIFY(unit.model.propertyChange(1, "groupRole"));
    QVERIFY(ch->group());
    QCOMPARE(ch->groupGain(), 12);
    QVERIFY(unit.model.propertyChange(1, "groupRole"));
    QVERIFY(!ch->group());
    QCOMPARE(ch->groupGain(), 0);
    QCOMPARE(unit.sent.count(), 0);
}

void TestOperatorChanges::setDataStoresWithoutCommands_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("unit name") << int(PreampModel::PreampNameRole) << QVariant("Rack") << true;
    QTest::newRow("gain") << int(PreampModel::GainRole) << QVariant(44) << true;
    QTest::newRow("number") << int(PreampModel::NumberRole) << QVariant(5) << true;
    QTest::newRow("name trimmed") << int(PreampModel::NameRole) << QVariant(" Tom ") << true;
    QTest::newRow("role 256") << int(Qt::UserRole) << QVariant(1) << false;
    QTest::newRow("role 276") << int(PreampModel::ScribbleStripRole) + 1 << QVariant(1) << false;
    QTest::newRow("edit role") << int(Qt::EditRole) << QVariant(1) << false;
}

void TestOperatorChanges::setDataStoresWithoutCommands()
{
    QFETCH(int, role);
    QFETCH(QVariant, value);
    Unit unit(false); // no online test applies
    unit.changed.clear();

    QTEST(unit.model.setData(unit.model.index(3), value, role), "accepted");

    QCOMPARE(unit.sent.count(), 0);
    QFETCH(bool, accepted);
    QCOMPARE(unit.changed.count(), accepted ? 1 : 0);
    if (accepted) {
        const QVariant stored = unit.model.data(unit.model.index(3), role);
        QCOMPARE(stored.toString(), value.toString().trimmed());
    }
    QVERIFY(!unit.model.setData(unit.model.index(8), value, PreampModel::GainRole));
}

void TestOperatorChanges::fullSyncSendsFortyFiveCommandsInOrder()
{
    Unit unit(false); // the full sync does not look at the link state
    Channel *second = unit.model.channel(1);
    second->setName("Snare");
    second->setRibbon(true);
    second->setGain(20);
    second->setGroup(true);
    second->setGroupGain(70);
    unit.model.channel(2)->setName(QString());
    unit.model.channel(2)->setPhantom(true);
    unit.model.channel(2)->setGain(33);

    unit.model.sendAllToPreamp();

    const QStringList sent = unit.commands();
    QCOMPARE(sent.size(), 45);
    QCOMPARE(sent.mid(0, 5), (QStringList{"CMD_NMCH=1,Channel", "CMD_PIPS=1,OFF", "CMD_PPHS=1,OFF",
                                          "CMD_P48S=1,OFF", "CMD_PGNS=1,0"}));
    QCOMPARE(sent.mid(5, 5), (QStringList{"CMD_NMCH=2,Snare", "CMD_PIPS=2,ON", "CMD_PPHS=2,OFF",
                                          "CMD_P48S=2,OFF", "CMD_PGNS=2,70"}));
    QCOMPARE(sent.mid(10, 5), (QStringList{"CMD_NMCH=3,", "CMD_PIPS=3,OFF", "CMD_PPHS=3,OFF",
                                           "CMD_P48S=3,ON", "CMD_PGNS=3,33"}));
    QCOMPARE(sent.mid(40), (QStringList{"CMD_ADFS=2", "CMD_NMDV=Stage", "CMD_ADOC=0", "CMD_ADTX=1",
                                        "CMD_ADCK=1"}));
    QCOMPARE(unit.changed.last().at(1).toModelIndex().row(), 7);
}

void TestOperatorChanges::factoryResetChangesNothingLocally()
{
    Unit unit(true);
    unit.model.channel(0)->setGain(40);
    unit.changed.clear();

    unit.model.setToDefault();

    QCOMPARE(unit.commands(), QStringList{"CMD_FREC=0"});
    QCOMPARE(unit.model.channel(0)->gain(), 40);
    QCOMPARE(unit.model.preampName(), QStringLiteral("Stage"));
    QCOMPARE(unit.changed.count(), 0);
}

QTEST_GUILESS_MAIN(TestOperatorChanges)
#include "tst_operatorchanges.moc"
