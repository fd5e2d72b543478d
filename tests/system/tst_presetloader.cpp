#include <QtTest>

#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/LogCapture.h"
#include "support/SimulatorProcess.h"
#include "system/PresetLoader.h"
#include "system/SystemManager.h"

namespace {

const QJsonObject presetCodes{
    {"clkOutSource", 0}, {"clkSource", 3}, {"outFormat", 0}, {"sampleRate", 8}};

// A preset of one unit as the program stores it. Channel k is named "In<k>" (channel 1: the
// given name, which every scribble strip holds too), with gain 10+k and phantom power on odd
// channels; channel 2 is in group 1 with the group gain 60, channel 8 in ribbon mode. The
// converter codes are presetCodes, but for key, which has the JSON value given or none.
QByteArray presetText(const QString &address, const QString &name, const QString &presetName,
                      const QString &key, const QByteArray &value)
{
    QJsonArray channels;
    for (int k = 1; k <= 8; ++k)
        channels.append(QJsonObject{{"gain", k == 2 ? 60 : 10 + k},
                                    {"group", k == 2},
                                    {"groupNo", k == 2 ? 1 : 0},
                                    {"name", k == 1 ? name : QStringLiteral("In%1").arg(k)},
                                    {"no", k},
                                    {"phantom", k % 2 == 1},
                                    {"phase", false},
                                    {"ribbon", k == 8},
                                    {"scribble", name}});
    QJsonObject adc = presetCodes;
    if (value.isEmpty())
        adc.remove(key);
    else
        adc[key] = QJsonDocument::fromJson("[" + value + "]").array().at(0);
    const QJsonObject unit{
        {"adc", adc}, {"channels", channels}, {"ipAddr", address}, {"sys", QJsonObject()}};
    const QJsonObject root{{"activePreamps", 1},
                           {"groups", QJsonArray{"Drums", "Vox"}},
                           {"preamps", QJsonArray{unit}},
                           {"presetName", presetName}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

// What reached a simulated unit besides polls, by command code; requests that carried no
// command count under "?".
QMap<QString, int> pushedCodes(const QJsonObject &stat)
{
    QMap<QString, int> codes;
    int uncounted = stat.value("requests").toInt();
    const QJsonObject counted = stat.value("codes").toObject();
    for (auto it = counted.begin(); it != counted.end(); ++it) {
        uncounted -= it.value().toInt();
        if (it.key() != Commands::statusCode && it.key() != Commands::meterCode)
            codes[it.key()] = it.value().toInt();
    }
    if (uncounted != 0)
        codes["?"] = uncounted;
    return codes;
}

} // namespace

// Presets recalled into the program's object graph, whose unit 1 is a simulated unit.
class TestPresetLoader : public QObject
{
    Q_OBJECT

private:
    IsolatedHome m_home;
    SimulatorProcess m_sim;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start({"127.0.46.1:0"}, {"--base-id", "61"}),
                 qPrintable(m_sim.errorString()));
    }

    void recallRestoresAndStoresAgain_data()
    {
        QTest::addColumn<int>("loadType");
        QTest::addColumn<bool>("closing"); // the close-time preset beside the saved state
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("atUnit"); // as the unit stores it; null when it refuses the name
        QTest::addColumn<QString>("key");    // a converter code of the preset ...
        QTest::addColumn<QByteArray>("value"); // ... with this JSON value; empty: missing
        QTest::addColumn<int>("code");         // what the model holds then
        const auto row = [](const char *tag, int loadType, const QString &name,
                            const QString &atUnit, bool closing = false) {
            QTest::newRow(tag) << loadType << closing << name << atUnit << "" << QByteArray() << 0;
        };
        row("0: nothing but the counts", 0, "Kick", "");
        row("1: addresses", 1, "Kick", "");
        row("2: settings", 2, "Kick", "");
        row("3: both", 3, "Kick", "Kick");
        row("5: neither", 5, "Kick", "");
        row("close-time preset", 3, "Kick", "Kick", true);
        // A unit answers a converter code outside its table with an HTTP error, which would stop
        // its polling: such a code is neither kept nor sent, and the model keeps its own.
        const auto code = [](const char *tag, const char *key, const QByteArray &value, int code) {
            QTest::newRow(tag) << 2 << false << "Kick" << QString("") << key << value << code;
        };
        code("sample rate past the table", "sampleRate", "9", 4);
        code("clock source past the table", "clkSource", "4", 1);
        code("output format past the table", "outFormat", "2", 1);
        code("clock-out source past the table", "clkOutSource", "2", 1);
        code("negative", "sampleRate", "-1", 4);
        code("beyond int", "clkSource", "4294967297", 1);
        code("fraction", "outFormat", "0.5", 1);
        code("text", "clkOutSource", R"("1")", 1);
        code("null", "sampleRate", "null", 4);
        code("missing reads as 0", "sampleRate", "", 0);
        // Names with characters that mean something in a URL or a request, non-ASCII and long
        // texts: each travels inside the one command it belongs to, to the unit's host and path.
        const auto kept = [&row](const char *tag, const QString &name) {
            row(tag, 3, name, name);
        };
        kept("spaces", " Kick  In ");
        // Parsed leniently: a "%" with two hex digits after it is an escape the unit decodes, once.
        row("percent escapes", 3, "%41%2F%26%3F", "A/&?");
        row("escaped percent", 3, "%2526", "%26");
        kept("empty", "");
        kept("ampersand and equals", "Gtr&CMD_FREC=0&x=1");
        kept("question mark, plus, comma", "why?CMD_FREC=0+1,2");
        kept("slashes", "../../a/b//c\\d");
        kept("another host", "@127.0.0.2:80/?CMD_FREC=0 http://127.0.0.3/");
        kept("line breaks", "a\tb\r\nHost: x\r\n\r\nGET /?CMD_FREC=0");
        kept("long non-ASCII", QString::fromUtf8("B\u00fchne \u2013 \u65e5\u672c \U0001F3A4") +
                                   QString(1000, QChar(0x00fc)));
        // Beyond what the unit reads of a request: it costs its own commands and no other.
        row("longer than the unit reads", 3, QString(9000, 'n'), QString());
    }

    void recallRestoresAndStoresAgain()
    {
        QFETCH(int, loadType);
        QFETCH(bool, closing);
        QFETCH(QString, name);
        QFETCH(QString, atUnit);
        QFETCH(QString, key);
        QFETCH(QByteArray, value);
        QFETCH(int, code);
        const bool addresses = loadType == 1 || loadType == 3;
        const bool settings = loadType == 2 || loadType == 3;
        const QString path = closing ? QDir(m_home.dataDirectory()).filePath("last.cvp")
                                     : m_home.path() + "/Stage A.v2.cvp";
        const QUrl url =
            closing ? QUrl(PresetLoader::closingPresetText) : QUrl::fromLocalFile(path);
        const QByteArray preset =
            presetText(m_sim.address(0), name, QFileInfo(path).fileName(), key, value);
        QDir().mkpath(QFileInfo(path).path());
        if (QFile file(path); file.open(QIODevice::WriteOnly))
            file.write(preset);
        m_sim.send(0, Commands::factoryReset());
        m_sim.send(0, "SIM_STAT=RESET");
        ControllerGraph graph;
        SystemManager *manager = graph.manager();
        PreampModel *model = graph.model(0);
        // A preset holds no unit name: the sync sends the one the model has, here the same text.
        model->setData(model->index(0), name, PreampModel::PreampNameRole);
        const QJsonObject own{
            {"clkOutSource", 1}, {"clkSource", 1}, {"outFormat", 1}, {"sampleRate", 4}};
        for (auto it = own.begin(); it != own.end(); ++it)
            QVERIFY(model->QObject::setProperty(qPrintable(it.key()), it.value().toInt()));
        LogCapture log;
        QSignalSpy actives(manager, &SystemManager::activesChanged);
        QSignalSpy loaded(manager, &SystemManager::presetLoaded);
        QSignalSpy sent(model, &PreampModel::sendCommand);
        QSignalSpy errors(graph.transport(), &NetworkCom::replyError);

        manager->loadPreset(url, loadType);

        QCOMPARE(actives.count(), 1);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(manager->activePreamps(), 1);
        QCOMPARE(manager->groups(), (QList<QString>{"Drums", "Vox"}));
        QCOMPARE(manager->currentPreset(), closing ? "last" : "Stage A");
        QCOMPARE(graph.window()->property("currentPreset").toString(), manager->currentPreset());
        QCOMPARE(model->ipAddr(), addresses ? m_sim.address(0) : "0.0.0.0");
        QCOMPARE(model->channel(0)->name(), settings ? name : "Channel");
        QCOMPARE(model->channel(7)->scribbleStrip(), settings ? name : "");
        QCOMPARE(model->channel(1)->group(), settings);
        QCOMPARE(model->channel(1)->gain(), settings ? 60 : 0);
        QJsonObject codes = settings ? presetCodes : own;
        if (settings && !key.isEmpty())
            codes[key] = code;
        QJsonObject held;
        for (auto it = own.begin(); it != own.end(); ++it)
            held[it.key()] = model->property(qPrintable(it.key())).toInt();
        QCOMPARE(held, codes);
        const QStringList refused = log.lines().filter("Preset Load: Invalid converter value:");
        QCOMPARE(refused.size(), settings && !value.isEmpty() ? 1 : 0);
        QVERIFY(refused.isEmpty() || refused.constFirst().contains('"' + key + '"'));
        // Restored settings are pushed to the unit as its full sync.
        // (The window then asks each listed unit for its ID and name; those pings are not counted.)
        QStringList commands;
        for (const QList<QVariant> &args : sent)
            commands << args.at(1).toString();
        commands.removeAll(Commands::status());
        QCOMPARE(commands.size(), settings ? 45 : 0);
        if (loadType == 3) {
            // Stored again before the unit answers, the setup is the file it came from.
            QVERIFY(QFile::remove(path));
            manager->savePreset(url);
            QFile stored(path);
            QVERIFY(stored.open(QIODevice::ReadOnly));
            QCOMPARE(stored.readAll(), preset);
        }

        // Exactly the sync's commands reached a unit with an address, nothing else; a name it
        // cannot read costs the two commands that carry it.
        const bool tooLong = atUnit.isNull();
        QMap<QString, int> expected;
        for (const QString &command : commands) {
            if (addresses && !(tooLong && command.contains(name)))
                ++expected[command.left(8)];
        }
        QTRY_COMPARE(pushedCodes(m_sim.send(0, "SIM_STAT").value("sim").toObject()), expected);
        QTRY_COMPARE(errors.count(), tooLong ? 2 : 0);
        if (!settings || !addresses)
            return;
        const QJsonObject status = m_sim.send(0, Commands::status());
        const QJsonArray onUnit = status.value("channels").toArray();
        QCOMPARE(onUnit.at(0)["name"].toString(), tooLong ? "Ch1" : atUnit);
        QCOMPARE(onUnit.at(1)["gain"].toInt(), 60);
        QCOMPARE(status.value("sys")["name"].toString(), tooLong ? "octo-61" : atUnit);
    }
};

QTEST_MAIN(TestPresetLoader)
#include "tst_presetloader.moc"
