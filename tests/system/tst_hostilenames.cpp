#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QQmlApplicationEngine>
#include <QRegularExpression>

#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "system/PresetLoader.h"
#include "system/SystemManager.h"

namespace {

const QString unitHost = QStringLiteral("127.0.46.1");
// What a full sync sends: five commands per channel and five for the unit.
const QMap<QString, int> fullSync{
    {"CMD_NMCH", 8}, {"CMD_PIPS", 8}, {"CMD_PPHS", 8}, {"CMD_P48S", 8}, {"CMD_PGNS", 8},
    {"CMD_ADFS", 1}, {"CMD_NMDV", 1}, {"CMD_ADOC", 1}, {"CMD_ADTX", 1}, {"CMD_ADCK", 1}};
const int fullSyncCommands = 45;

QString defaultChannelName(int row)
{
    return QStringLiteral("Ch%1").arg(row + 1);
}

// A preset of one unit whose channel 1 carries the name; the other channels keep the names a
// unit has after a factory reset.
QByteArray presetWithName(const QString &address, const QString &name)
{
    QJsonArray channels;
    for (int row = 0; row < 8; ++row)
        channels.append(QJsonObject{{"gain", 10 + row},
                                    {"group", false},
                                    {"groupNo", 0},
                                    {"name", row == 0 ? name : defaultChannelName(row)},
                                    {"no", row + 1},
                                    {"phantom", false},
                                    {"phase", false},
                                    {"ribbon", false},
                                    {"scribble", name}});
    const QJsonObject unit{
        {"adc",
         QJsonObject{{"clkOutSource", 0}, {"clkSource", 0}, {"outFormat", 1}, {"sampleRate", 2}}},
        {"channels", channels},
        {"ipAddr", address},
        {"sys", QJsonObject()}};
    const QJsonObject root{{"activePreamps", 1},
                           {"groups", QJsonArray()},
                           {"preamps", QJsonArray{unit}},
                           {"presetName", "hostile.cvp"}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QMap<QString, int> syncCodes(const QJsonObject &stat)
{
    QMap<QString, int> codes;
    const QJsonObject counted = stat.value("codes").toObject();
    for (auto it = counted.begin(); it != counted.end(); ++it) {
        if (it.key() != Commands::statusCode) // the status poll the sync's answers start
            codes[it.key()] = it.value().toInt();
    }
    return codes;
}

} // namespace

// Channel and unit names with characters that mean something in a URL, non-ASCII text and very
// long texts, taken from a preset file and sent by the full sync to a simulated unit: each
// name travels inside the one command it belongs to, to the unit's host and path.
class TestHostileNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void reachTheUnitInsideTheirCommand_data();
    void reachTheUnitInsideTheirCommand();

private:
    IsolatedHome m_home;
    SimulatorProcess m_sim;
    QQmlApplicationEngine *m_engine = nullptr;
    NetworkCom *m_transport = nullptr;
    SystemManager *m_manager = nullptr;
};

void TestHostileNames::initTestCase()
{
    QVERIFY2(m_sim.start({unitHost + ":0"}, {"--base-id", "61"}), qPrintable(m_sim.errorString()));
    m_engine = new QQmlApplicationEngine;
    m_transport = new NetworkCom;
    m_manager = new SystemManager(m_transport, m_engine);
}

void TestHostileNames::cleanupTestCase()
{
    const QList<PreampModel *> models = m_manager->preamps();
    delete m_manager;
    qDeleteAll(models);
    delete m_engine;
    delete m_transport;
}

void TestHostileNames::reachTheUnitInsideTheirCommand_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("atUnit");           // as the unit stores it; empty when it refuses
    const QString tooLong(9000, QLatin1Char('n')); // beyond what the unit reads of a request

    QTest::newRow("spaces") << " Kick  In "
                            << " Kick  In ";
    QTest::newRow("stray percent") << "100% loud %zz"
                                   << "100% loud %zz";
    // Parsed leniently: a "%" with two hex digits after it is an escape the unit decodes.
    QTest::newRow("percent escapes") << "%41%2F%26%3F"
                                     << "A/&?";
    QTest::newRow("ampersand and equals") << "Gtr&CMD_FREC=0&x=1"
                                          << "Gtr&CMD_FREC=0&x=1";
    QTest::newRow("hash ends the query") << "Vox#CMD_FREC=0"
                                         << "Vox";
    QTest::newRow("question mark, plus, comma") << "why?CMD_FREC=0+1,2"
                                                << "why?CMD_FREC=0+1,2";
    QTest::newRow("slashes") << "../../a/b//c\\d"
                             << "../../a/b//c\\d";
    QTest::newRow("another host") << "@127.0.0.2:80/?CMD_FREC=0 http://127.0.0.3/"
                                  << "@127.0.0.2:80/?CMD_FREC=0 http://127.0.0.3/";
    QTest::newRow("line breaks") << "a\tb\r\nHost: x\r\n\r\nGET /?CMD_FREC=0"
                                 << "a\tb\r\nHost: x\r\n\r\nGET /?CMD_FREC=0";
    QTest::newRow("non-ASCII") << QString::fromUtf8("B\u00fchne \u2013 \u65e5\u672c \U0001F3A4")
                               << QString::fromUtf8("B\u00fchne \u2013 \u65e5\u672c \U0001F3A4");
    QTest::newRow("long") << QString(4000, QLatin1Char('L')) << QString(4000, QLatin1Char('L'));
    QTest::newRow("long non-ASCII") << QString(1000, QChar(0x00fc)) << QString(1000, QChar(0x00fc));
    QTest::newRow("longer than the unit reads") << tooLong << QString();
}

void TestHostileNames::reachTheUnitInsideTheirCommand()
{
    QFETCH(QString, name);
    QFETCH(QString, atUnit);
    const bool refused = atUnit.isNull();
    PreampModel *model = m_manager->preamps().at(0);
    model->disconnect();
    m_sim.send(0, Commands::factoryReset());
    m_sim.send(0, "SIM_STAT=RESET");
    const QString factoryUnitName = QStringLiteral("octo-61");

    // The URLs the transport builds: the unit's host and port, the path "/", one command whose
    // text is the name as the unit will read it, and nothing on the wire that could end the
    // request line or start another request.
    const QString address = m_sim.address(0);
    const QString port = address.section(QLatin1Char(':'), 1);
    const QRegularExpression wire(
        QStringLiteral("^http://127\\.0\\.46\\.1:%1/\\?[!-\"$-~]*$").arg(port));
    const QString sent = refused ? name : atUnit;
    const QList<QPair<QString, QString>> commands{
        {Commands::setChannelName(1, name), QStringLiteral("1,") + sent},
        {Commands::setUnitName(name), sent}};
    for (const auto &[command, argument] : commands) {
        const QUrl url = NetworkCom::requestUrl(address, command);
        QCOMPARE(url.host(), unitHost);
        QCOMPARE(url.port(), port.toInt());
        QCOMPARE(url.path(), QStringLiteral("/"));
        QVERIFY(url.userInfo().isEmpty());
        const QString onWire = QString::fromLatin1(url.adjusted(QUrl::RemoveFragment).toEncoded());
        QVERIFY2(wire.match(onWire).hasMatch(), qPrintable(onWire.left(200)));
        const auto parsed =
            Commands::parse(QUrl::fromPercentEncoding(url.query(QUrl::FullyEncoded).toLatin1()));
        QVERIFY(parsed);
        QCOMPARE(parsed->code, command.left(8));
        QCOMPARE(parsed->argument, argument);
    }

    // The preset file keeps the name whole, and the recall pushes it to the unit.
    const QString path = m_home.path() + "/hostile.cvp";
    QFile preset(path);
    QVERIFY(preset.open(QIODevice::WriteOnly));
    preset.write(presetWithName(address, name));
    preset.close();
    // A preset holds no unit name: the sync sends the one the model has, here the same text.
    model->setData(model->index(0), name, PreampModel::PreampNameRole);
    QSignalSpy errors(m_transport, &NetworkCom::replyError);
    m_manager->presetLoader()->loadPreset(QUrl::fromLocalFile(path), 3);
    QCOMPARE(model->ipAddr(), address);
    QCOMPARE(model->channel(0)->name(), name);
    QCOMPARE(model->channel(0)->scribbleStrip(), name);

    // Exactly the sync's commands reached the unit, nothing else; a name the unit cannot read
    // costs its own command and no other.
    QMap<QString, int> expected = fullSync;
    if (refused) {
        expected[Commands::channelNameCode] -= 1;
        expected.remove(Commands::unitNameCode);
    }
    QTRY_COMPARE(syncCodes(m_sim.send(0, "SIM_STAT").value("sim").toObject()), expected);
    QTRY_COMPARE(errors.count(), refused ? 2 : 0);
    model->disconnect(); // the answers brought the unit online, which starts its status poll
    const QJsonObject stat = m_sim.send(0, "SIM_STAT").value("sim").toObject();
    const int polls = stat.value("codes").toObject().value(Commands::statusCode).toInt();
    QCOMPARE(stat.value("requests").toInt() - polls, fullSyncCommands - (refused ? 2 : 0));

    const QJsonObject status = m_sim.send(0, Commands::status());
    const QJsonArray onUnit = status.value("channels").toArray();
    QCOMPARE(onUnit.at(0).toObject().value("name").toString(),
             refused ? defaultChannelName(0) : atUnit);
    for (int row = 1; row < 8; ++row) {
        QCOMPARE(onUnit.at(row).toObject().value("name").toString(), defaultChannelName(row));
        QCOMPARE(onUnit.at(row).toObject().value("gain").toInt(), 10 + row);
    }
    QCOMPARE(status.value("sys").toObject().value("name").toString(),
             refused ? factoryUnitName : atUnit);
}

QTEST_MAIN(TestHostileNames)
#include "tst_hostilenames.moc"
