#include <QtTest>

#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/FileSizeLimit.h"
#include "support/IsolatedHome.h"
#include "support/LogCapture.h"
#include "system/PresetLoader.h"
#include "system/SystemManager.h"

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A known setup: slot k has address 10.0.0.k+1, converter values k, and channel j of it is
// named "uK-J", numbered j+1, with gain 10*k+j and phantom power on even channels.
void setUp(ControllerGraph &graph, int active)
{
    graph.manager()->setActivePreamps(active);
    graph.manager()->setGroups({"Drums", "Vox"});
    for (int k = 0; k < 12; ++k) {
        PreampModel *model = graph.model(k);
        model->setIP(QStringLiteral("10.0.0.%1").arg(k + 1));
        model->setSampleRate(k % 9);
        model->setClkSource(k % 4);
        model->setOutFormat(k % 2);
        model->setClkOutSource((k + 1) % 2);
        for (int j = 0; j < 8; ++j) {
            Channel *ch = model->channel(j);
            ch->setName(QStringLiteral("u%1-%2").arg(k).arg(j));
            ch->setNumber(j + 1);
            ch->setGain(10 * k + j);
            ch->setPhantom(j % 2 == 0);
            ch->setScribbleStrip(j == 7 ? QStringLiteral("spare \"DI\"") : QString());
        }
    }
    // A grouped channel stores its group gain.
    graph.model(0)->channel(1)->setGroupName(1);
    graph.model(0)->channel(1)->setGroup(true);
    graph.model(0)->channel(1)->setGroupGain(70);
}

// The document the known setup must produce, written out by hand.
QByteArray expectedDocument(int active, const QString &name)
{
    QStringList units;
    for (int k = 0; k < active; ++k) {
        QStringList channels;
        for (int j = 0; j < 8; ++j) {
            const bool grouped = k == 0 && j == 1;
            channels << QStringLiteral(
                            "{\"gain\":%1,\"group\":%2,\"groupNo\":%3,\"name\":\"u%4-%5\","
                            "\"no\":%6,\"phantom\":%7,\"phase\":false,\"ribbon\":false,"
                            "\"scribble\":\"%8\"}")
                            .arg(grouped ? 70 : 10 * k + j)
                            .arg(grouped ? "true" : "false")
                            .arg(grouped ? 1 : 0)
                            .arg(k)
                            .arg(j)
                            .arg(j + 1)
                            .arg(j % 2 == 0 ? "true" : "false")
                            .arg(j == 7 ? "spare \\\"DI\\\"" : "");
        }
        units << QStringLiteral("{\"adc\":{\"clkOutSource\":%1,\"clkSource\":%2,\"outFormat\":%3,"
                                "\"sampleRate\":%4},\"channels\":[%5],\"ipAddr\":\"10.0.0.%6\","
                                "\"sys\":{}}")
                     .arg((k + 1) % 2)
                     .arg(k % 4)
                     .arg(k % 2)
                     .arg(k % 9)
                     .arg(channels.join(','))
                     .arg(k + 1);
    }
    return QStringLiteral("{\"activePreamps\":%1,\"groups\":[\"Drums\",\"Vox\"],\"preamps\":[%2],"
                          "\"presetName\":\"%3\"}")
        .arg(active)
        .arg(units.join(','))
        .arg(name)
        .toUtf8();
}

// The commands a model emitted, without status requests.
QStringList settingCommands(const QSignalSpy &sent)
{
    QStringList commands;
    for (const QList<QVariant> &args : sent) {
        if (args.at(1).toString() != QLatin1String("CMD_PSTS"))
            commands << args.at(1).toString();
    }
    return commands;
}

} // namespace

class TestPresetLoader : public QObject
{
    Q_OBJECT

private slots:
    void storesTheActiveUnitsExactly_data();
    void storesTheActiveUnitsExactly();
    void recallRestoresByLoadType_data();
    void recallRestoresByLoadType();
    void recallReadsOddFilesLeniently_data();
    void recallReadsOddFilesLeniently();
    void recallKeepsConverterCodesTheUnitDoesNotKnow_data();
    void recallKeepsConverterCodesTheUnitDoesNotKnow();
    void keepsTheCloseTimeStoreBesideTheState();
    void failedStoreKeepsThePreviousPreset();

private:
    IsolatedHome m_home;
};

void TestPresetLoader::storesTheActiveUnitsExactly_data()
{
    QTest::addColumn<int>("active");
    QTest::newRow("two units") << 2;
    QTest::newRow("twelve units") << 12;
}

void TestPresetLoader::storesTheActiveUnitsExactly()
{
    QFETCH(int, active);
    ControllerGraph graph;
    setUp(graph, active);
    const QString path = m_home.path() + "/Stage A.cvp";

    graph.manager()->savePreset(QUrl::fromLocalFile(path));

    QCOMPARE(readFile(path), expectedDocument(active, "Stage A.cvp"));
}

void TestPresetLoader::recallRestoresByLoadType_data()
{
    QTest::addColumn<int>("loadType");
    QTest::addColumn<bool>("addresses");
    QTest::addColumn<bool>("settings");
    QTest::newRow("0: nothing but the counts") << 0 << false << false;
    QTest::newRow("1: addresses") << 1 << true << false;
    QTest::newRow("2: settings") << 2 << false << true;
    QTest::newRow("3: both") << 3 << true << true;
    QTest::newRow("5: neither") << 5 << false << false;
}

void TestPresetLoader::recallRestoresByLoadType()
{
    QFETCH(int, loadType);
    QFETCH(bool, addresses);
    QFETCH(bool, settings);
    const QString path = m_home.path() + "/a.b.cvp";
    {
        ControllerGraph stored;
        setUp(stored, 2);
        stored.manager()->savePreset(QUrl::fromLocalFile(path));
    }
    ControllerGraph graph;
    SystemManager *manager = graph.manager();
    QSignalSpy actives(manager, &SystemManager::activesChanged);
    QSignalSpy loaded(manager, &SystemManager::presetLoaded);
    QSignalSpy sentFirst(graph.model(0), &PreampModel::sendCommand);
    QSignalSpy sentSecond(graph.model(1), &PreampModel::sendCommand);

    manager->loadPreset(QUrl::fromLocalFile(path), loadType);

    QCOMPARE(actives.count(), 1);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(manager->activePreamps(), 2);
    QCOMPARE(manager->groups(), (QList<QString>{"Drums", "Vox"}));
    QCOMPARE(manager->currentPreset(), QStringLiteral("a"));
    QCOMPARE(graph.window()->property("currentPreset").toString(), QStringLiteral("a"));
    QCOMPARE(graph.model(1)->ipAddr(), addresses ? "10.0.0.2" : "0.0.0.0");
    const Channel *grouped = graph.model(0)->channel(1);
    QCOMPARE(graph.model(1)->channel(3)->name(), settings ? "u1-3" : "Channel");
    QCOMPARE(graph.model(1)->channel(3)->gain(), settings ? 13 : 0);
    QCOMPARE(graph.model(1)->clkSource(), settings ? 1 : 0);
    QCOMPARE(grouped->group(), settings);
    QCOMPARE(grouped->gain(), settings ? 70 : 0);
    // Restored settings are pushed to each unit as its full sync.
    // (The window then asks each listed unit for its ID and name; those pings are not counted.)
    QCOMPARE(settingCommands(sentFirst).size(), settings ? 45 : 0);
    QCOMPARE(settingCommands(sentSecond).size(), settings ? 45 : 0);
    if (settings)
        QCOMPARE(settingCommands(sentFirst).at(9), QStringLiteral("CMD_PGNS=2,70"));
}

void TestPresetLoader::recallReadsOddFilesLeniently_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("active");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("thirdAddress");

    QTest::newRow("too few units")
        << QByteArray(
               R"({"activePreamps":3,"preamps":[{"ipAddr":"10.1.1.1"},{}],"presetName":"Stage A.cvp"})")
        << 3 << "Stage A"
        << "";
    QTest::newRow("wrong types")
        << QByteArray(
               R"({"activePreamps":"3","preamps":{"ipAddr":7},"presetName":5,"groups":[1,"x"]})")
        << 0 << ""
        << "0.0.0.0";
    QTest::newRow("more than twelve")
        << QByteArray(R"({"activePreamps":99,"presetName":"big"})") << 12 << "big"
        << "";
    QTest::newRow("no active count") << QByteArray(R"({"presetName":"x.cvp"})") << 0 << "x"
                                     << "0.0.0.0";
    QTest::newRow("not JSON") << QByteArray("{broken") << -1 << ""
                              << "0.0.0.0";
    QTest::newRow("no file") << QByteArray() << -1 << ""
                             << "0.0.0.0";
}

void TestPresetLoader::recallReadsOddFilesLeniently()
{
    QFETCH(QByteArray, content);
    QFETCH(int, active);
    const QString path = m_home.path() + "/odd.cvp";
    QFile::remove(path);
    if (!content.isEmpty())
        writeFile(path, content);
    ControllerGraph graph;
    graph.manager()->setActivePreamps(1);
    QSignalSpy loaded(graph.manager(), &SystemManager::presetLoaded);
    LogCapture log;

    graph.manager()->loadPreset(QUrl::fromLocalFile(path), 3);

    QCOMPARE(loaded.count(), 1);
    if (active < 0) { // nothing changes
        QVERIFY(log.contains("Json Empty"));
        QCOMPARE(graph.manager()->activePreamps(), 1);
        return;
    }
    QCOMPARE(graph.manager()->activePreamps(), active);
    QTEST(graph.manager()->currentPreset(), "name");
    QTEST(graph.model(2)->ipAddr(), "thirdAddress");
    QCOMPARE(graph.model(0)->channel(0)->name(),
             active > 0 ? QString() : QStringLiteral("Channel"));
}

void TestPresetLoader::recallKeepsConverterCodesTheUnitDoesNotKnow_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("value"); // JSON text; empty: the key is missing
    QTest::addColumn<int>("expected");

    QTest::newRow("sample rate past the table") << "sampleRate" << QByteArray("9") << 4;
    QTest::newRow("clock source past the table") << "clkSource" << QByteArray("4") << 1;
    QTest::newRow("output format past the table") << "outFormat" << QByteArray("2") << 1;
    QTest::newRow("clock-out source past the table") << "clkOutSource" << QByteArray("2") << 1;
    QTest::newRow("negative") << "sampleRate" << QByteArray("-1") << 4;
    QTest::newRow("beyond int") << "clkSource" << QByteArray("4294967297") << 1;
    QTest::newRow("fraction") << "outFormat" << QByteArray("0.5") << 1;
    QTest::newRow("text") << "clkOutSource" << QByteArray(R"("1")") << 1;
    QTest::newRow("null") << "sampleRate" << QByteArray("null") << 4;
    QTest::newRow("missing reads as 0") << "sampleRate" << QByteArray() << 0;
}

void TestPresetLoader::recallKeepsConverterCodesTheUnitDoesNotKnow()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    QJsonObject adc{{"clkOutSource", 0}, {"clkSource", 3}, {"outFormat", 0}, {"sampleRate", 8}};
    if (value.isEmpty())
        adc.remove(key);
    else
        adc[key] = QJsonDocument::fromJson("[" + value + "]").array().at(0);
    const QJsonObject unit{{"adc", adc}, {"channels", QJsonArray{QJsonObject{{"name", "Kick"}}}}};
    const QString path = m_home.path() + "/codes.cvp";
    writeFile(
        path,
        QJsonDocument(QJsonObject{{"activePreamps", 1}, {"preamps", QJsonArray{unit}}}).toJson());
    ControllerGraph graph;
    PreampModel *model = graph.model(0);
    model->setClkOutSource(1);
    model->setClkSource(1);
    model->setOutFormat(1);
    model->setSampleRate(4);
    QSignalSpy sent(model, &PreampModel::sendCommand);
    LogCapture log;

    graph.manager()->loadPreset(QUrl::fromLocalFile(path), 2);

    QMap<QString, int> codes{
        {"clkOutSource", 0}, {"clkSource", 3}, {"outFormat", 0}, {"sampleRate", 8}};
    codes[key] = expected;
    QCOMPARE(model->clkOutSource(), codes["clkOutSource"]);
    QCOMPARE(model->clkSource(), codes["clkSource"]);
    QCOMPARE(model->outFormat(), codes["outFormat"]);
    QCOMPARE(model->sampleRate(), codes["sampleRate"]);
    QCOMPARE(model->channel(0)->name(), QStringLiteral("Kick"));
    const QStringList commands = settingCommands(sent);
    QCOMPARE(commands.size(), 45);
    QCOMPARE(commands.filter("CMD_AD"),
             (QStringList{QStringLiteral("CMD_ADFS=%1").arg(codes["sampleRate"]),
                          QStringLiteral("CMD_ADOC=%1").arg(codes["clkOutSource"]),
                          QStringLiteral("CMD_ADTX=%1").arg(codes["outFormat"]),
                          QStringLiteral("CMD_ADCK=%1").arg(codes["clkSource"])}));
    const QStringList refused = log.lines().filter("Preset Load: Invalid converter value:");
    QCOMPARE(refused.size(), value.isEmpty() ? 0 : 1);
    QVERIFY(refused.isEmpty() || refused.constFirst().contains('"' + key + '"'));
}

void TestPresetLoader::keepsTheCloseTimeStoreBesideTheState()
{
    ControllerGraph graph;
    setUp(graph, 1);

    graph.manager()->savePreset(PresetLoader::closingPresetText);

    const QString path = QDir(m_home.dataDirectory()).filePath("last.cvp");
    QCOMPARE(readFile(path), expectedDocument(1, "last.cvp"));

    ControllerGraph restarted;
    restarted.manager()->loadPreset(PresetLoader::closingPresetText, 3);
    QCOMPARE(restarted.model(0)->channel(2)->name(), QStringLiteral("u0-2"));
    QCOMPARE(restarted.manager()->currentPreset(), QStringLiteral("last"));
}

void TestPresetLoader::failedStoreKeepsThePreviousPreset()
{
    ControllerGraph graph;
    setUp(graph, 1);
    const QString path = m_home.path() + "/keep.cvp";
    graph.manager()->savePreset(QUrl::fromLocalFile(path));
    const QByteArray good = readFile(path);

    setUp(graph, 12);
    {
        FileSizeLimit fullDisk(64);
        graph.manager()->savePreset(QUrl::fromLocalFile(path));
    }

    QCOMPARE(readFile(path), good);
    QCOMPARE(QDir(m_home.path()).entryList({"keep*"}, QDir::Files), QStringList{"keep.cvp"});
}

QTEST_MAIN(TestPresetLoader)
#include "tst_presetloader.moc"
