#include <QtTest>

#include <QQmlApplicationEngine>

#include <map>
#include <memory>
#include <optional>

#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "sim/SimulatedUnit.h"
#include "support/FileSizeLimit.h"
#include "support/IsolatedHome.h"
#include "system/PresetFile.h"
#include "system/PresetLoader.h"
#include "system/RecallPreview.h"
#include "system/RecallUndo.h"
#include "system/SystemManager.h"

namespace {

using Copy = RecallPreview::Copy;
constexpr int unitsInUse = 3;

// The controller's objects without a window and without a network, beside three simulated units
// that are driven directly: the models' commands go to the unit of their address instead of the
// transport, and a unit's status reaches the models through the transport's report signal, as
// a poll's answer would.
class OfflineSetup
{
public:
    OfflineSetup()
    {
        for (int slot = 0; slot < unitsInUse; ++slot) {
            m_units[address(slot)] = std::make_unique<SimulatedUnit>(slot + 1);
            // Unit k's channel j has the gain step 10k + j, so units differ from each other.
            for (int ch = 1; ch <= Commands::channelCount; ++ch)
                unit(slot).handle(Commands::setGain(ch, 10 * (slot + 1) + ch));
            model(slot)->setIP(address(slot));
        }
        for (PreampModel *model : manager.preamps()) {
            QObject::disconnect(model, nullptr, &transport, nullptr);
            QObject::connect(model, &PreampModel::sendCommand,
                             [this](const QString &ip, const QString &command) {
                                 ++sent;
                                 if (m_units.count(ip))
                                     m_units.at(ip)->handle(command);
                             });
        }
        manager.setActivePreamps(unitsInUse);
        manager.recallPreview()->reportAges().setClock([this] { return now; });
    }
    ~OfflineSetup() { qDeleteAll(manager.preamps()); }

    static QString address(int slot) { return QStringLiteral("10.0.0.%1").arg(slot + 1); }
    PreampModel *model(int slot) const { return manager.preamps().at(slot); }
    SimulatedUnit &unit(int slot) { return *m_units.at(address(slot)); }
    QJsonObject unitStatus(int slot)
    {
        return QJsonDocument::fromJson(unit(slot).handle(Commands::status()).body).object();
    }
    void report(int slot) { emit transport.statusUpdate(unitStatus(slot), address(slot)); }
    void reportAll()
    {
        for (int slot = 0; slot < unitsInUse; ++slot)
            report(slot);
    }

    QQmlApplicationEngine engine;
    NetworkCom transport;
    SystemManager manager{&transport, &engine};
    int sent = 0;
    qint64 now = 100000;

private:
    std::map<QString, std::unique_ptr<SimulatedUnit>> m_units;
};

// Sets a value of a preset by path ("1/channels/2/gain" in unit 1, "/activePreamps" at the top);
// the value "~" removes the key.
QVariant edited(QVariant node, QStringList keys, const QJsonValue &value)
{
    const QString key = keys.takeFirst();
    if (node.type() == QVariant::List) {
        QVariantList list = node.toList();
        while (list.size() <= key.toInt())
            list.append(QVariantMap());
        list[key.toInt()] = edited(list.value(key.toInt()), keys, value);
        return list;
    }
    QVariantMap map = node.toMap();
    if (!keys.isEmpty())
        map[key] = edited(map.value(key), keys, value);
    else if (value.isUndefined())
        map.remove(key);
    else
        map[key] = value.toVariant();
    return map;
}

QByteArray presetWith(const QByteArray &preset, const QStringList &edits)
{
    QVariant root = QJsonDocument::fromJson(preset).object().toVariantMap();
    for (const QString &edit : edits) {
        const QString path = edit.section('=', 0, 0), text = edit.section('=', 1);
        QStringList keys = path.split('/');
        keys.first().isEmpty() ? void(keys.removeFirst()) : void(keys.prepend("preamps"));
        const QJsonValue value =
            text == "~" ? QJsonValue(QJsonValue::Undefined)
                        : QJsonDocument::fromJson("[" + text.toUtf8() + "]").array().at(0);
        root = edited(root, keys, value);
    }
    return QJsonDocument(QJsonObject::fromVariantMap(root.toMap())).toJson(QJsonDocument::Compact);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A change as "slot channel setting before>after", "!" when it is phantom power on a ribbon.
QStringList describe(const RecallPreview::Result &result)
{
    QStringList lines;
    for (const RecallPreview::Unit &unit : result.units) {
        for (const RecallPreview::Change &change : unit.changes)
            lines << QStringLiteral("%1 %2 %3 %4>%5%6")
                         .arg(unit.slot + 1)
                         .arg(change.channel)
                         .arg(RecallPreview::settingLabel(change.setting),
                              RecallPreview::valueText(change.setting, change.before),
                              RecallPreview::valueText(change.setting, change.after),
                              change.ribbonPhantom ? "!" : "");
    }
    return lines;
}

} // namespace

// The recall preview's change list and the undo of a recall, against simulated units driven
// directly: no window, no network, no timers.
class TestRecallPreview : public QObject
{
    Q_OBJECT

private:
    IsolatedHome m_home;

private slots:
    void listsWhatTheRecallWouldChange_data()
    {
        QTest::addColumn<int>("loadType");
        QTest::addColumn<QStringList>("setup"); // u<k>:command to unit k, unheard:<k>, offline:<k>
        QTest::addColumn<QStringList>("edits"); // of a preset of the setup as it is
        QTest::addColumn<QStringList>(
            "units");                   // "slot copy inUse" for each slot the recall touches
        QTest::addColumn<int>("count"); // changes in all
        QTest::addColumn<QStringList>("listed"); // some of them, or all when as many as count
        QTest::addColumn<int>("offline");
        QTest::addColumn<QString>("problem"); // a part of the one problem; empty: none
        const QStringList threeInUse{"1 Reported 1", "2 Reported 1", "3 Reported 1"};
        // A unit not heard from counts as offline, as its model has never been online.
        const auto row =
            [&](const char *tag, int type, QStringList setup, QStringList edits, int count,
                QStringList listed, QStringList units = {}) {
                QTest::newRow(tag)
                    << type << setup << edits << (units.isEmpty() ? threeInUse : units) << count
                    << listed << int(setup.filter(QRegularExpression("^(offline|unheard):")).size())
                    << QString();
            };
        // Each kind of setting; the gain as the strip shows it (step + 1, -6 for step 0).
        row("nothing differs", 2, {}, {}, 0, {});
        row("gain", 2, {}, {"0/channels/2/gain=30"}, 1, {"1 3 Gain 14>31"});
        row("gain beyond the range", 3, {}, {"0/channels/2/gain=75"}, 1, {"1 3 Gain 14>69"});
        row("48V", 2, {}, {"1/channels/0/phantom=true"}, 1, {"2 1 48V off>on"});
        row("phase", 2, {"u0:CMD_PPHS=8,ON"}, {"0/channels/7/phase=false"}, 1,
            {"1 8 Phase on>off"});
        row("ribbon", 2, {}, {"2/channels/4/ribbon=true"}, 1, {"3 5 Ribbon off>on"});
        row("name", 2, {}, {"0/channels/0/name=\"Kick\""}, 1, {"1 1 Name \"Ch1\">\"Kick\""});
        row("sample rate", 2, {}, {"1/adc/sampleRate=4"}, 1, {"2 0 Sample rate 48 kHz>96 kHz"});
        row("clock source", 2, {}, {"1/adc/clkSource=3"}, 1, {"2 0 Clock source Internal>Dante"});
        row("output format", 2, {}, {"1/adc/outFormat=0"}, 1,
            {"2 0 Output format Professional>Consumer"});
        row("clock out", 2, {}, {"1/adc/clkOutSource=1"}, 1, {"2 0 Clock out Internal>External"});
        row("missing values read as the loader reads them", 2, {}, {"0/channels/1/name=~"}, 1,
            {"1 2 Name \"Ch2\">(empty)"});
        // What each load type looks at.
        row("1: addresses only", 1, {}, {"0/ipAddr=\"10.0.0.9\"", "0/channels/2/gain=30"}, 1,
            {"1 0 Address 10.0.0.1>10.0.0.9"}, {"1 NotReported 1", "2 Reported 1", "3 Reported 1"});
        row("2: addresses not", 2, {}, {"0/ipAddr=\"10.0.0.9\""}, 0, {});
        row("0: neither", 0, {}, {"0/ipAddr=\"10.0.0.9\"", "0/channels/2/gain=30"}, 0, {});
        // With addresses, the settings go to the unit now at the address, the unit name too.
        row("3: units swapped", 3, {}, {"0/ipAddr=\"10.0.0.2\"", "1/ipAddr=\"10.0.0.1\""}, 2 * 10,
            {"1 0 Address 10.0.0.1>10.0.0.2", "1 0 Unit name \"octo-2\">\"octo-1\"",
             "1 1 Gain 22>12", "2 0 Unit name \"octo-1\">\"octo-2\"", "2 8 Gain 19>29"});
        row("3: one unit named twice", 3, {}, {"1/ipAddr=\"10.0.0.1\""}, 10,
            {"2 0 Address 10.0.0.2>10.0.0.1", "2 0 Unit name \"octo-1\">\"octo-2\"",
             "2 1 Gain 12>22"});
        row("3: a unit not heard from", 3, {}, {"0/ipAddr=\"10.0.0.7\""}, 1 + 45,
            {"1 0 Address 10.0.0.1>10.0.0.7", "1 0 Unit name ?>\"octo-1\"", "1 1 48V ?>off",
             "1 8 Gain ?>19"},
            {"1 NotReported 1", "2 Reported 1", "3 Reported 1"});
        // Offline units, units not heard from and slots beyond the units in use.
        row("offline unit", 2, {"offline:1"}, {"1/channels/0/gain=0"}, 1, {"2 1 Gain 22>-6"});
        row("unit in use not heard from", 2, {"unheard:2"}, {}, 45, {"3 1 Name ?>\"Channel\""},
            {"1 Reported 1", "2 Reported 1", "3 NotReported 1"});
        row("slot beyond, no unit", 3, {}, {"/activePreamps=4"}, 1, {"4 0 Address 0.0.0.0>(empty)"},
            {"1 Reported 1", "2 Reported 1", "3 Reported 1", "4 NoUnit 0"});
        row("slot beyond, a unit in use", 3, {}, {"/activePreamps=4", "3/ipAddr=\"10.0.0.3\""}, 20,
            {"4 0 Address 0.0.0.0>10.0.0.3", "4 1 Gain 32>-6", "4 0 Unit name \"octo-3\">(empty)",
             "4 0 Sample rate 48 kHz>off"},
            {"1 Reported 1", "2 Reported 1", "3 Reported 1", "4 Reported 0"});
        row("fewer units", 2, {}, {"/activePreamps=2"}, 0, {}, {"1 Reported 1", "2 Reported 1"});
        // Phantom power on a ribbon channel: ribbon on in the preset, on the unit, or both.
        row("48V on, ribbon in the preset only", 2, {},
            {"0/channels/2/phantom=true", "0/channels/2/ribbon=true"}, 2,
            {"1 3 Ribbon off>on", "1 3 48V off>on!"});
        row("48V on, ribbon on the unit only", 2, {"u0:CMD_PIPS=3,ON"},
            {"0/channels/2/phantom=true", "0/channels/2/ribbon=false"}, 2,
            {"1 3 Ribbon on>off", "1 3 48V off>on!"});
        row("48V on, ribbon on the unit, none in the preset", 2, {"u0:CMD_PIPS=3,ON"},
            {"0/channels/2/phantom=true", "0/channels/2/ribbon=~"}, 2,
            {"1 3 Ribbon on>off", "1 3 48V off>on!"});
        row("48V on, ribbon on both", 2, {"u0:CMD_PIPS=3,ON"}, {"0/channels/2/phantom=true"}, 1,
            {"1 3 48V off>on!"});
        row("48V already on", 2, {"u0:CMD_PIPS=3,ON", "u0:CMD_P48S=3,ON"}, {"0/channels/2/gain=0"},
            1, {"1 3 Gain 14>-6"});
        row("48V on, ribbon, unit not heard from", 2, {"unheard:0"},
            {"0/channels/2/phantom=true", "0/channels/2/ribbon=true"}, 45, {"1 3 48V ?>on!"},
            {"1 NotReported 1", "2 Reported 1", "3 Reported 1"});
        // Files the loader takes in part only are held back, in words; count -1: not checked.
        const auto held = [](const char *tag, int type, QStringList edits, const char *problem) {
            QTest::newRow(tag) << type << QStringList() << edits << QStringList() << -1
                               << QStringList() << 0 << QString(problem);
        };
        held("no unit count", 2, {"/activePreamps=\"3\""}, "no number of units");
        held("no unit list", 1, {"/preamps={}"}, "no list of units");
        held("sample rate outside its table", 2, {"1/adc/sampleRate=9"},
             "Slot 2: the file's sample rate (9)");
        held("clock source outside its table", 3, {"0/adc/clkSource=\"1\""},
             "clock source (\"1\")");
        held("clock out not a whole number", 2, {"2/adc/clkOutSource=0.5"}, "clock out (0.5)");
    }

    void listsWhatTheRecallWouldChange()
    {
        QFETCH(int, loadType);
        QFETCH(QStringList, setup);
        QFETCH(QStringList, edits);
        QFETCH(QStringList, units);
        QFETCH(int, count);
        QFETCH(QStringList, listed);
        QFETCH(QString, problem);
        OfflineSetup graph;
        for (const QString &step : setup) {
            if (step.startsWith('u'))
                graph.unit(step.mid(1, 1).toInt()).handle(step.mid(3));
        }
        QStringList heard;
        for (int slot = 0; slot < unitsInUse; ++slot) {
            if (!setup.contains(QStringLiteral("unheard:%1").arg(slot))) {
                graph.report(slot);
                heard << OfflineSetup::address(slot);
            }
            if (setup.contains(QStringLiteral("offline:%1").arg(slot)))
                graph.model(slot)->setData(graph.model(slot)->index(0), int(PreampModel::Offline),
                                           PreampModel::OnlineRole);
        }
        const QString path = m_home.path() + "/preview.cvp";
        const QByteArray current = graph.manager.presetLoader()->presetBytes("preview.cvp");
        QVERIFY(writeFile(path, presetWith(current, edits)));
        graph.now += 4000;

        RecallPreview *preview = graph.manager.recallPreview();
        preview->build(QUrl::fromLocalFile(path), loadType);

        const RecallPreview::Result &result = preview->result();
        QCOMPARE(preview->canApply(), problem.isEmpty());
        QCOMPARE(result.problems.size(), problem.isEmpty() ? 0 : 1);
        QVERIFY2(problem.isEmpty() || result.problems.constFirst().contains(problem),
                 qPrintable(result.problems.join(" | ")));
        // Building a preview changes nothing and sends nothing.
        QCOMPARE(graph.sent, 0);
        QCOMPARE(graph.manager.presetLoader()->presetBytes("preview.cvp"), current);
        if (count < 0)
            return;
        QStringList unitLines;
        for (const RecallPreview::Unit &unit : result.units) {
            unitLines << QStringLiteral("%1 %2 %3")
                             .arg(unit.slot + 1)
                             .arg(QMetaEnum::fromType<Copy>().valueToKey(int(unit.copy)))
                             .arg(unit.slotInUse);
            // How old the copy is that the old values come from.
            QCOMPARE(unit.ageMs, heard.contains(unit.address) ? 4000 : -1);
        }
        QCOMPARE(unitLines, units);
        const QStringList changes = describe(result);
        QCOMPARE(changes.size(), count);
        for (const QString &line : listed)
            QVERIFY2(changes.contains(line), qPrintable(changes.join(" | ")));
        QTEST(result.offlineCount, "offline");
        QCOMPARE(result.ribbonWarnings, changes.filter("!").size());
    }

    void undoRestoresTheSetupBeforeTheRecall_data()
    {
        QTest::addColumn<int>("loadType");
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("1: addresses") << 1 << false;
        QTest::newRow("2: settings") << 2 << false;
        QTest::newRow("3: both") << 3 << false;
        QTest::newRow("snapshot not written") << 2 << true;
    }

    void undoRestoresTheSetupBeforeTheRecall()
    {
        QFETCH(int, loadType);
        QFETCH(bool, diskFull);
        OfflineSetup graph;
        graph.reportAll();
        graph.model(1)->channel(4)->setScribbleStrip("Snare top");
        graph.manager.setGroups({"Drums"});
        graph.manager.setCurrentPreset("Show");
        QList<QJsonObject> unitsBefore;
        for (int slot = 0; slot < unitsInUse; ++slot)
            unitsBefore << graph.unitStatus(slot);
        PresetLoader *loader = graph.manager.presetLoader();
        const QByteArray before = loader->presetBytes("Show.cvp");
        const QString path = m_home.path() + "/Stage B.cvp";
        QVERIFY(writeFile(
            path,
            presetWith(before, {"/activePreamps=2", "/presetName=\"Stage B.cvp\"", "/groups=[]",
                                "0/ipAddr=\"10.0.0.2\"", "1/ipAddr=\"10.0.0.1\"",
                                "0/channels/3/gain=60", "1/adc/sampleRate=6"})));
        RecallUndo *undo = graph.manager.recallUndo();
        QFile::remove(RecallUndo::path());
        {
            std::optional<FileSizeLimit> fullDisk;
            if (diskFull)
                fullDisk.emplace(16);
            loader->loadPreset(QUrl::fromLocalFile(path), loadType);
        }
        QCOMPARE(graph.manager.currentPreset(), QString("Stage B"));
        QCOMPARE(undo->available(), !diskFull);
        QCOMPARE(undo->problem().isEmpty(), !diskFull);
        if (diskFull)
            return;
        // The snapshot is a preset, byte for byte what "store" writes for the setup before.
        QCOMPARE(readFile(RecallUndo::path()), before);
        QVERIFY(PresetFile::read(RecallUndo::path()).refusal.isEmpty());
        // After a restart the file is still there, to be recalled by hand.
        QVERIFY(!OfflineSetup().manager.recallUndo()->available());
        QCOMPARE(readFile(RecallUndo::path()), before);
        QCOMPARE(undo->undoes(), QString("Stage B"));
        QCOMPARE(undo->loadType(), loadType);
        graph.reportAll();
        const QByteArray recalled = loader->presetBytes("Stage B.cvp");
        // A refused file changes nothing and keeps the undo.
        loader->loadPreset(QUrl::fromLocalFile(m_home.path() + "/none.cvp"), 2);
        QVERIFY(undo->available());

        loader->loadPreset(undo->file(), undo->loadType());
        graph.reportAll();
        QCOMPARE(loader->presetBytes("Show.cvp"), before);
        QCOMPARE(graph.manager.currentPreset(), QString("Show"));
        for (int slot = 0; slot < unitsInUse; ++slot)
            QCOMPARE(graph.unitStatus(slot), unitsBefore.at(slot));
        // Undoing the undo brings the recall back.
        QCOMPARE(undo->undoes(), QString("Show"));
        loader->loadPreset(undo->file(), undo->loadType());
        graph.reportAll();
        QCOMPARE(loader->presetBytes("Stage B.cvp"), recalled);
    }
};

QTEST_MAIN(TestRecallPreview)
#include "tst_recallpreview.moc"
