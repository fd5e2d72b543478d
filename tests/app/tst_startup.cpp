#include <QtTest>

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
    void wiresTheTwelveModels();
    void closingTheWindowEndsTheProgram();
    void refusesToStartWithoutAWindow();

private:
    IsolatedHome m_home;
};

// Each model is published under its own name; a report reaches only the model with its address,
// an error every model with its address.
void TestStartup::wiresTheTwelveModels()
{
    ControllerGraph graph;
    QQmlContext *context = graph.engine()->rootContext();
    QCOMPARE(context->contextProperty("systemManager").value<QObject *>(), graph.manager());
    // The first start has no saved state: the preset folder falls back to the home folder.
    QCOMPARE(context->contextProperty("presetFolder").toUrl(), QUrl::fromLocalFile(m_home.path()));
    QCOMPARE(graph.manager()->preamps().size(), 12);
    std::vector<std::unique_ptr<QSignalSpy>> errors;
    for (int i = 0; i < 12; ++i) {
        const QString name = QStringLiteral("preampModel%1").arg(i + 1);
        QCOMPARE(context->contextProperty(name).value<QObject *>(), graph.model(i));
        graph.model(i)->setIP(QStringLiteral("192.168.1.%1").arg(20 + std::min(i, 7)));
        errors.push_back(std::make_unique<QSignalSpy>(graph.model(i), &PreampModel::netErr));
    }

    emit graph.transport()->statusUpdate({{"sys", QJsonObject{{"id", 77}}}}, "192.168.1.25");
    emit graph.transport()->meterUpdate({{"meter", QJsonObject{{"1", 40}}}}, "192.168.1.26");
    emit graph.transport()->replyError("Connection refused", "192.168.1.27"); // slots 7 to 11

    for (int i = 0; i < 12; ++i) {
        QCOMPARE(graph.model(i)->online(), i == 5 || i == 6 ? int(PreampModel::Online) : 0);
        QCOMPARE(errors.at(size_t(i))->count(), i >= 7 ? 1 : 0);
    }
    QCOMPARE(graph.model(5)->preampID(), 77);
    QCOMPARE(graph.model(6)->channel(0)->meterLevel(), 40);
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
    QCOMPARE(log.lines().filter("Cannot start").filter("NoSuchWindow.qml").size(), 1);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
