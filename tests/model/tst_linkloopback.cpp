#include <QtTest>

#include <QQmlApplicationEngine>
#include <QTimer>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/SimulatorProcess.h"
#include "system/SystemManager.h"

// A unit model wired to the real transport the way the program wires it, talking to a simulated
// unit over loopback. This suite runs in real time: the watchdog needs 6 s to declare a silent
// unit offline and the recovery poll runs every 5 s.
class TestLinkLoopback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void comesOnlineAfterInit();
    void followsChangesMadeOnTheUnit();
    void goesOverdueThenOfflineWhenTheUnitFallsSilent();
    void comesBackByItselfWhenTheUnitAnswersAgain();

private:
    SimulatorProcess m_sim;
    QQmlApplicationEngine *m_engine = nullptr;
    NetworkCom *m_transport = nullptr;
    SystemManager *m_manager = nullptr;
    PreampModel *m_model = nullptr;
};

void TestLinkLoopback::initTestCase()
{
    QVERIFY2(m_sim.start({"127.0.23.1:0"}, {"--base-id", "41"}), qPrintable(m_sim.errorString()));
    m_engine = new QQmlApplicationEngine;
    m_transport = new NetworkCom;
    m_manager = new SystemManager(m_transport, m_engine);
    m_model = m_manager->preamps().at(0);
    m_model->setIP(m_sim.address(0));
}

void TestLinkLoopback::cleanupTestCase()
{
    const QList<PreampModel *> models = m_manager->preamps();
    delete m_manager;
    qDeleteAll(models);
    delete m_engine;
    delete m_transport;
}

void TestLinkLoopback::comesOnlineAfterInit()
{
    QSignalSpy online(m_model, &PreampModel::onlineChanged);
    m_model->init();

    QTRY_COMPARE(m_model->online(), int(PreampModel::Online));
    QCOMPARE(online.count(), 1);
    QCOMPARE(m_model->preampID(), 41);
    QCOMPARE(m_model->preampName(), QStringLiteral("octo-41"));
    QTRY_VERIFY(m_model->channel(0)->number() == 1);
    QVERIFY(m_model->clkStatus());
    QVERIFY(m_model->meterTimer()->isActive());
}

void TestLinkLoopback::followsChangesMadeOnTheUnit()
{
    m_sim.send(0, "CMD_P48S=3,ON");
    m_sim.send(0, "CMD_PGNS=1,30");
    m_sim.send(0, "CMD_NMCH=2,Snare");
    m_sim.send(0, "CMD_ADFS=4");

    QTRY_VERIFY(m_model->channel(2)->phantom());
    QTRY_COMPARE(m_model->channel(0)->gain(), 30);
    QTRY_COMPARE(m_model->channel(1)->name(), QStringLiteral("Snare"));
    QTRY_COMPARE(m_model->sampleRate(), 4);
    // Meters flow while the unit is online and shown.
    QTRY_VERIFY(m_model->channel(0)->meterLevel() > 0);
}

void TestLinkLoopback::goesOverdueThenOfflineWhenTheUnitFallsSilent()
{
    QSignalSpy offline(m_model, &PreampModel::offline);
    m_sim.send(0, "SIM_SLNT");

    QTRY_COMPARE_WITH_TIMEOUT(m_model->online(), int(PreampModel::StatusOverdue), 4000);
    QVERIFY(!m_model->meterTimer()->isActive());
    QCOMPARE(offline.count(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(offline.count(), 1, 6000);
    QCOMPARE(m_model->online(), int(PreampModel::Offline));
    QVERIFY(!m_model->netTimer()->isActive());
    // The requests to the silent unit time out and fail, yet the slow recovery poll runs on.
    QVERIFY(m_model->statusTimer()->isActive());
    QCOMPARE(m_model->statusTimer()->interval(), PreampModel::offlineStatusIntervalMs);
}

void TestLinkLoopback::comesBackByItselfWhenTheUnitAnswersAgain()
{
    QTest::qWait(NetworkCom::transferTimeoutMs + 200); // let a recovery request time out first
    QVERIFY(m_model->statusTimer()->isActive());
    QSignalSpy online(m_model, &PreampModel::onlineChanged);
    m_sim.send(0, "SIM_CLER");

    QTRY_COMPARE_WITH_TIMEOUT(m_model->online(), int(PreampModel::Online), 7000);
    QCOMPARE(online.count(), 1);
    QCOMPARE(m_model->statusTimer()->interval(), PreampModel::awakeStatusIntervalMs);
    QVERIFY(m_model->meterTimer()->isActive());
    QTRY_VERIFY(m_model->channel(2)->phantom());
}

QTEST_MAIN(TestLinkLoopback)
#include "tst_linkloopback.moc"
