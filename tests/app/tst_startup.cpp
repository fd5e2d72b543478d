#include <QtTest>

#include <QJsonArray>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QWindow>

#include "app/Startup.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/LogCapture.h"
#include "system/SystemManager.h"

// Builds the object graph exactly as the program does and checks the wiring between window,
// manager, models and transport. No unit is contacted: addresses are plain text here.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void loadsTheWindow();
    void publishesTwelveModelsAndTheManager();
    void routesModelCommandsToTheTransport();
    void deliversReportsOnlyToTheModelWithThatAddress();
    void deliversReplyErrorsToEveryModel();
    void closingTheWindowStoresTheLastSetupAndTheState();
    void closingTheWindowEndsTheProgram();
    void refusesToStartWithoutAWindow();

private:
    IsolatedHome m_home;
};

void TestStartup::loadsTheWindow()
{
    ControllerGraph graph;
    auto *window = qobject_cast<QWindow *>(graph.window());
    QVERIFY(window);
    QCOMPARE(window->title(), QStringLiteral("Corvane octo Preamp Remote Controller v1.3"));
    QCOMPARE(window->size(), QSize(1600, 900));
    QCOMPARE(window->property("color").value<QColor>(), QColor("#19191a"));
}

void TestStartup::publishesTwelveModelsAndTheManager()
{
    ControllerGraph graph;
    QQmlContext *context = graph.engine()->rootContext();
    QCOMPARE(graph.manager()->preamps().size(), 12);
    for (int i = 0; i < 12; ++i) {
        const QString name = QStringLiteral("preampModel%1").arg(i + 1);
        QCOMPARE(context->contextProperty(name).value<QObject *>(), graph.model(i));
    }
    QCOMPARE(context->contextProperty("systemManager").value<QObject *>(), graph.manager());
    // The first start has no saved state: the preset folder falls back to the home folder.
    QCOMPARE(context->contextProperty("presetFolder").toUrl(), QUrl::fromLocalFile(m_home.path()));
}

void TestStartup::routesModelCommandsToTheTransport()
{
    // Every model starts on the unset address, which the transport refuses with a log line: the
    // line proves the command reached it.
    ControllerGraph graph;
    LogCapture log;
    for (PreampModel *model : graph.manager()->preamps())
        model->statusTrigger();
    QCOMPARE(log.count("Invalid IP Address"), 12);
}

void TestStartup::deliversReportsOnlyToTheModelWithThatAddress()
{
    ControllerGraph graph;
    for (int i = 0; i < 12; ++i)
        graph.model(i)->setIP(QStringLiteral("192.168.1.%1").arg(20 + i));
    const QJsonObject status{
        {"sys", QJsonObject{{"id", 77}}}, {"adc", QJsonObject()}, {"channels", QJsonArray()}};

    emit graph.transport()->statusUpdate(status, "192.168.1.25");
    emit graph.transport()->meterUpdate(QJsonObject{{"meter", QJsonObject{{"1", 40}}}},
                                        "192.168.1.26");

    for (int i = 0; i < 12; ++i)
        QCOMPARE(graph.model(i)->online(), i == 5 || i == 6 ? int(PreampModel::Online) : 0);
    QCOMPARE(graph.model(5)->preampID(), 77);
    QCOMPARE(graph.model(6)->channel(0)->meterLevel(), 40);
}

void TestStartup::deliversReplyErrorsToEveryModel()
{
    ControllerGraph graph;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = 0; i < 12; ++i) {
        graph.model(i)->setIP(i == 3 ? "192.168.1.31" : "192.168.1.30");
        spies.push_back(std::make_unique<QSignalSpy>(graph.model(i), &PreampModel::netErr));
    }

    emit graph.transport()->replyError("Connection refused", "192.168.1.30");

    for (int i = 0; i < 12; ++i)
        QCOMPARE(spies.at(size_t(i))->count(), i == 3 ? 0 : 1);
}

void TestStartup::closingTheWindowStoresTheLastSetupAndTheState()
{
    ControllerGraph graph;
    QFile::remove(m_home.stateFile());
    LogCapture log;

    QVERIFY(QMetaObject::invokeMethod(graph.window(), "close"));

    QVERIFY(log.contains("Closing"));
    QVERIFY(QFile::exists(m_home.stateFile()));
    QVERIFY(QFile::exists(QDir(m_home.dataDirectory()).filePath("last.cvp")));
}

void TestStartup::closingTheWindowEndsTheProgram()
{
    ControllerGraph graph;
    Startup::endWithWindow(graph.engine());
    // Another window on screen: the toolkit on its own would not count the closed one as the
    // last, and would keep running.
    QWindow other;
    other.show();
    QEventLoop loop;
    QTimer::singleShot(0, graph.window(),
                       [&graph] { QMetaObject::invokeMethod(graph.window(), "close"); });
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });

    QCOMPARE(loop.exec(), 0); // ended by the program's quit, not by the time limit
}

void TestStartup::refusesToStartWithoutAWindow()
{
    QQmlApplicationEngine engine;
    NetworkCom transport;
    LogCapture log;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("NoSuchWindow"));

    const auto manager = Startup::start(&engine, &transport, QUrl("qrc:/NoSuchWindow.qml"));

    QVERIFY(!manager);
    const QStringList failures = log.lines().filter("Cannot start");
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures.first().contains("NoSuchWindow.qml"));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
