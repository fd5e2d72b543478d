#include <QtTest>

#include "model/PreampModel.h"

namespace {

const QString unitIp = QStringLiteral("192.168.1.20");

// A model at unitIp whose unit counts as online (or not), with converter settings and a name to
// send back. Commands to unitIp are recorded as plain text, any other as "address command".
struct Unit
{
    explicit Unit(bool online)
    {
        model.setIP(unitIp);
        model.setData(model.index(0), online ? 2 : 0, PreampModel::OnlineRole);
        model.setData(model.index(0), 2, PreampModel::SampleRateRole);
        model.setData(model.index(0), 1, PreampModel::ClkSourceRole);
        model.setData(model.index(0), 1, PreampModel::OutFormatRole);
        model.setData(model.index(0), "Stage", PreampModel::PreampNameRole);
        QObject::connect(&model, &PreampModel::sendCommand,
                         [this](const QString &ip, const QString &command) {
                             sent << (ip == unitIp ? command : ip + ' ' + command);
                         });
        changed.clear();
    }
    PreampModel model;
    QSignalSpy changed{&model, &PreampModel::dataChanged};
    QStringList sent;
};

} // namespace

// The model as the interface reads and writes it: the roles by number and by name, operator edits
// that become commands byte for byte (only while the unit is online), and the full sync.
class TestPreampModel : public QObject
{
    Q_OBJECT

private slots:
    // Rows are named by role number; a row without names is a role the model does not have.
    void eachRoleStoresAndReadsItsField_data()
    {
        QTest::addColumn<QString>("invokable");
        QTest::addColumn<QString>("published");
        QTest::addColumn<QString>("value");

        // clang-format off
        QTest::newRow("257") << "idRole" << "preampID" << "7";
        QTest::newRow("258") << "onlineRole" << "online" << "2";
        QTest::newRow("259") << "clkStatusRole" << "clkStatus" << "true";
        QTest::newRow("260") << "sampleRateRole" << "sampleRate" << "3";
        QTest::newRow("261") << "clkSourceRole" << "clkSource" << "3";
        QTest::newRow("262") << "outFormatRole" << "outFormat" << "2";
        QTest::newRow("263") << "clkOutSourceRole" << "clkOutSource" << "4";
        QTest::newRow("264") << "preampNameRole" << "preampName" << "Stage Left";
        QTest::newRow("265") << "phantomRole" << "phantom" << "true";
        QTest::newRow("266") << "phaseRole" << "phase" << "true";
        QTest::newRow("267") << "ribbonRole" << "ribbon" << "true";
        QTest::newRow("268") << "groupRole" << "group" << "true";
        QTest::newRow("269") << "groupNameRole" << "groupName" << "2";
        QTest::newRow("270") << "gainRole" << "gain" << "70";
        QTest::newRow("271") << "nameRole" << "name" << " Snare ";
        QTest::newRow("272") << "numberRole" << "number" << "4";
        QTest::newRow("273") << "meterLevelRole" << "meterLevel" << "41";
        QTest::newRow("274") << "overRole" << "over" << "true";
        QTest::newRow("275") << "scribbleStripRole" << "scribbleStrip" << "SN";
        QTest::newRow("2") << "" << "" << "1";
        QTest::newRow("256") << "" << "" << "1";
        QTest::newRow("276") << "" << "" << "1";
        // clang-format on
    }

    void eachRoleStoresAndReadsItsField()
    {
        QFETCH(QString, invokable);
        QFETCH(QString, published);
        QFETCH(QString, value);
        const int role = QByteArray(QTest::currentDataTag()).toInt();
        Unit unit(false);
        PreampModel &m = unit.model;

        for (int outside : {-1, 8}) {
            QVERIFY(!m.setData(m.index(outside), value, role));
            QVERIFY(!m.data(m.index(outside), role).isValid());
            QVERIFY(!m.getData(QVariant(outside), invokable).isValid());
        }
        QCOMPARE(m.setData(m.index(3), value, role), !published.isEmpty());
        QVERIFY(unit.sent.isEmpty()); // storing is no operator edit
        if (published.isEmpty()) {
            QVERIFY(!m.data(m.index(3), role).isValid());
            return;
        }
        QCOMPARE(unit.changed.count(), 1);
        const bool unitRole = role <= PreampModel::PreampNameRole;
        QObject *owner = unitRole ? static_cast<QObject *>(&m) : m.channel(3);
        const QString stored = role == PreampModel::NameRole ? value.trimmed() : value;
        QCOMPARE(owner->property(qPrintable(published)).toString(), stored);
        if (role == PreampModel::GainRole) { // the role reads the group's 70, not the unit's 68
            m.channel(3)->setGroup(true);
            m.channel(3)->setGain(68);
        }
        QCOMPARE(m.roleNames().value(role), published.toLatin1());
        QCOMPARE(m.data(m.index(3), role).toString(), stored);
        QCOMPARE(m.getData(m.index(3), invokable).toString(), stored);
        QVERIFY(!m.getData(QVariant(3), published).isValid()); // QML asks by invokable name
        // Unit roles read the same on every row; channel roles read row 6's defaults there.
        QCOMPARE(m.data(m.index(6), role) == m.data(m.index(3), role), unitRole);
        // Rewriting from QML: the model notifies real changes only, a channel every write, as
        // the strips expect of the reports' stream.
        const QMetaProperty property = owner->metaObject()->property(
            owner->metaObject()->indexOfProperty(qPrintable(published)));
        QSignalSpy notified(owner, property.notifySignal());
        QVERIFY(property.write(owner, stored) && property.write(owner, stored));
        QCOMPARE(notified.count(), unitRole ? 0 : 2);
    }

    // An operator edit on a row: a role with a value (setProperty) or, where "value" is invalid,
    // without one (propertyChange). "reads" is what the role reads afterwards, if valid.
    void operatorEditSendsCommands_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("role");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QVariant>("reads");

        const QVariant act;
        const QStringList none;
        auto add = [](const QString &tag, bool online, int row, const QString &role,
                      const QVariant &value, bool accepted, const QStringList &commands,
                      const QVariant &reads = QVariant()) {
            QTest::newRow(qPrintable(tag))
                << online << row << role << value << accepted << commands << reads;
        };
        // clang-format off
        add("phantom on", true, 2, "phantomRole", true, true, {"CMD_P48S=3,ON"}, true);
        add("phase", true, 0, "phaseRole", true, true, {"CMD_PPHS=1,ON"}, true);
        add("ribbon", true, 7, "ribbonRole", false, true, {"CMD_PIPS=8,OFF"});
        add("gain waits for the unit", true, 4, "gainRole", 30, true, {"CMD_PGNS=5,30"}, 0);
        add("gain as text", true, 4, "gainRole", "12", true, {"CMD_PGNS=5,12"});
        add("name untrimmed", true, 0, "nameRole", " Kick ", true, {"CMD_NMCH=1, Kick "}, "Kick");
        add("over cleared", true, 0, "overRole", false, true, {"CMD_DOVC=1"});
        add("over set sends nothing", true, 0, "overRole", true, true, none, true);
        add("sample rate", true, 0, "sampleRateRole", 4, true, {"CMD_ADFS=4"}, 4);
        add("same sample rate", true, 0, "sampleRateRole", 2, true, none);
        add("output format", true, 0, "outFormatRole", 0, true, {"CMD_ADTX=0"});
        add("clock out", true, 0, "clkOutSourceRole", 1, true, {"CMD_ADOC=1"});
        add("unit name", true, 0, "preampNameRole", "FOH", true, {"CMD_NMDV=FOH"}, "FOH");
        add("same unit name", true, 0, "preampNameRole", "Stage", true, none);
        add("scribble strip", true, 0, "scribbleStripRole", "mic 57", true, none, "mic 57");
        add("number", true, 0, "numberRole", 5, false, none);
        add("row 8", true, 8, "sampleRateRole", 4, false, none);
        add("row -1", true, -1, "gainRole", 4, false, none);
        add("published name", true, 0, "gain", 4, false, none);
        add("step with a value", true, 0, "gainUpRole", 4, false, none);
        add("case matters", true, 0, "GainRole", 4, false, none);
        add("offline phantom", false, 1, "phantomRole", true, true, none, false);
        add("offline id", false, 0, "idRole", 9, true, none, 9);
        add("group joined here", true, 1, "groupRole", true, true, none, true);
        for (const char *role : {"groupNameRole", "meterLevelRole", "onlineRole", "clkStatusRole"})
            add(QStringLiteral("%1 stays here").arg(role), true, 1, role, 1, true, none);
        add("offline unit name", false, 1, "preampNameRole", "FOH", true, none, "Stage");
        add("offline sample rate", false, 1, "sampleRateRole", 4, true, none, 2);

        add("phase toggle", true, 1, "phaseRole", act, true, {"CMD_PPHT=2"});
        add("ribbon toggle", true, 7, "ribbonRole", act, true, {"CMD_PIPT=8"});
        add("gain up", true, 0, "gainUpRole", act, true, {"CMD_PGNU=1"});
        add("gain down", true, 5, "gainDownRole", act, true, {"CMD_PGND=6"});
        add("name alone", true, 0, "nameRole", act, true, {"CMD_NMCH=1"});
        add("over", true, 3, "overRole", act, true, {"CMD_DOVC=4"});
        add("sample rate resent", true, 0, "sampleRateRole", act, true, {"CMD_ADFS=2"});
        add("clock source resent", true, 0, "clkSourceRole", act, true, {"CMD_ADCK=1"});
        add("format resent", true, 0, "outFormatRole", act, true, {"CMD_ADTX=1"});
        add("clock out resent", true, 0, "clkOutSourceRole", act, true, {"CMD_ADOC=0"});
        add("group toggled here", true, 1, "groupRole", act, true, none, true);
        add("scribble strip online", true, 0, "scribbleStripRole", act, true, none);
        add("scribble strip offline", false, 0, "scribbleStripRole", act, true, none);
        add("row out of range", true, 8, "phantomRole", act, false, none);
        for (const char *role : {"idRole", "onlineRole", "clkStatusRole", "meterLevelRole"})
            add(QStringLiteral("%1 quiet").arg(role), true, 0, role, act, true, none);
        for (const char *role : {"preampNameRole", "groupNameRole", "gainRole", "numberRole"})
            add(QStringLiteral("%1 refused").arg(role), true, 0, role, act, false, none);
        add("step refused offline", false, 0, "gainUpRole", act, false, none);
        // clang-format on
    }

    void operatorEditSendsCommands()
    {
        QFETCH(bool, online);
        QFETCH(int, row);
        QFETCH(QString, role);
        QFETCH(QVariant, value);
        QFETCH(QVariant, reads);
        Unit unit(online);

        const bool accepted = value.isValid() ? unit.model.setProperty(row, role, value)
                                              : unit.model.propertyChange(row, role);

        QTEST(accepted, "accepted");
        QTEST(unit.sent, "commands");
        // An accepted edit repaints its row, also when nothing changed: the window then copies
        // the model's values back into the page.
        QCOMPARE(unit.changed.count(), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(unit.changed.at(0).at(0).toModelIndex().row(), row);
            QCOMPARE(unit.changed.at(0).at(1).toModelIndex().row(), row);
        }
        if (reads.isValid())
            QCOMPARE(unit.model.data(unit.model.index(row), PreampModel::roleNumber(role)), reads);
    }

    void fullSyncSendsFortyFiveCommandsInOrder()
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

        QCOMPARE(unit.sent.size(), 45);
        QCOMPARE(
            unit.sent.mid(0, 15),
            (QStringList{"CMD_NMCH=1,Channel", "CMD_PIPS=1,OFF", "CMD_PPHS=1,OFF", "CMD_P48S=1,OFF",
                         "CMD_PGNS=1,0", "CMD_NMCH=2,Snare", "CMD_PIPS=2,ON", "CMD_PPHS=2,OFF",
                         "CMD_P48S=2,OFF", "CMD_PGNS=2,70", "CMD_NMCH=3,", "CMD_PIPS=3,OFF",
                         "CMD_PPHS=3,OFF", "CMD_P48S=3,ON", "CMD_PGNS=3,33"}));
        QCOMPARE(unit.sent.mid(40), (QStringList{"CMD_ADFS=2", "CMD_NMDV=Stage", "CMD_ADOC=0",
                                                 "CMD_ADTX=1", "CMD_ADCK=1"}));
        QCOMPARE(unit.changed.last().at(1).toModelIndex().row(), 7);
    }
};

QTEST_GUILESS_MAIN(TestPreampModel)
#include "tst_preampmodel.moc"
