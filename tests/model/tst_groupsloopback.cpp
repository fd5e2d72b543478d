#include <QtTest>

#include <QJsonArray>
#include <QQmlApplicationEngine>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/SimulatorProcess.h"
#include "system/SystemManager.h"

// Gain groups and factory resets end to end: twelve models wired as the program wires them,
// two of them polling simulated units over loopback.
class TestGroupsLoopback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void groupStepsReachBothUnitsAndKeepTheirOvershoot();
    void factoryResetComesBackWithTheNextStatus();

private:
    int gainOnUnit(int unit, int channel);
    void stepUntil(const QString &role, int gainOnFirstUnit, int gainOnSecondUnit);

    SimulatorProcess m_sim;
    QQmlApplicationEngine *m_engine = nullptr;
    NetworkCom *m_transport = nullptr;
    SystemManager *m_manager = nullptr;
};

void TestGroupsLoopback::initTestCase()
{
    QVERIFY2(m_sim.start({"127.0.24.1:0", "127.0.24.2:0"}), qPrintable(m_sim.errorString()));
    m_sim.send(0, "CMD_PGNS=1,66");
    m_sim.send(0, "CMD_PGNS=2,50");
    m_sim.send(1, "CMD_PGNS=2,60");
    m_engine = new QQmlApplicationEngine;
    m_transport = new NetworkCom;
    m_manager = new SystemManager(m_transport, m_engine);
    for (int unit : {0, 1}) {
        PreampModel *model = m_manager->preamps().at(unit);
        model->setIP(m_sim.address(unit));
        model->init();
        QTRY_COMPARE(model->online(), int(PreampModel::Online));
    }
    QTRY_COMPARE(m_manager->preamps().at(0)->channel(0)->gain(), 66);
    QTRY_COMPARE(m_manager->preamps().at(1)->channel(1)->gain(), 60);
}

void TestGroupsLoopback::cleanupTestCase()
{
    const QList<PreampModel *> models = m_manager->preamps();
    delete m_manager;
    qDeleteAll(models);
    delete m_engine;
    delete m_transport;
}

int TestGroupsLoopback::gainOnUnit(int unit, int channel)
{
    const QJsonObject status = m_sim.send(unit, "CMD_PSTS");
    for (const QJsonValue &entry : status.value("channels").toArray()) {
        if (entry.toObject().value("no").toInt() == channel)
            return entry.toObject().value("gain").toInt();
    }
    return -1;
}

// One press at a time, each seen through to both units' next reports, as an operator's
// auto-repeat does: commands and polls travel on parallel connections, and a status report
// that left a unit before a step arrived would pull that member's group gain back.
void TestGroupsLoopback::stepUntil(const QString &role, int gainOnFirstUnit, int gainOnSecondUnit)
{
    PreampModel *first = m_manager->preamps().at(0);
    PreampModel *second = m_manager->preamps().at(1);
    QVERIFY(first->propertyChange(0, role));
    QTRY_COMPARE(gainOnUnit(0, 1), gainOnFirstUnit);
    QTRY_COMPARE(gainOnUnit(1, 2), gainOnSecondUnit);
    QSignalSpy firstReports(first, &PreampModel::dataChanged);
    QSignalSpy secondReports(second, &PreampModel::dataChanged);
    QTRY_VERIFY(firstReports.count() >= 2 && first->channel(0)->reportedGain() == gainOnFirstUnit);
    QTRY_VERIFY(secondReports.count() >= 2 &&
                second->channel(1)->reportedGain() == gainOnSecondUnit);
}

void TestGroupsLoopback::groupStepsReachBothUnitsAndKeepTheirOvershoot()
{
    PreampModel *first = m_manager->preamps().at(0);
    PreampModel *second = m_manager->preamps().at(1);
    for (auto [model, row] : {std::pair{first, 0}, std::pair{first, 1}, std::pair{second, 1}}) {
        QVERIFY(model->setProperty(row, "groupNameRole", 1));
        QVERIFY(model->setProperty(row, "groupRole", true));
    }
    Channel *high = first->channel(0);
    Channel *low = second->channel(1);

    stepUntil("gainUpRole", 67, 61);
    stepUntil("gainUpRole", 68, 62);
    // A unit stops a group only when all its members are at the top; channel 2 is not, so
    // channel 1 is pushed to 69, which the unit clamps.
    stepUntil("gainUpRole", 68, 63);
    QTRY_COMPARE(gainOnUnit(0, 2), 53);
    QTest::qWait(2 * PreampModel::awakeStatusIntervalMs); // several status reports
    QCOMPARE(high->gain(), 69); // the member keeps its overshoot while the unit reports 68
    QCOMPARE(low->gain(), 63);

    stepUntil("gainDownRole", 68, 62);
    stepUntil("gainDownRole", 67, 61);
    QTRY_COMPARE(high->reportedGain(), 67);
    QCOMPARE(high->gain(), 67); // the group kept its spacing of 6 steps
    QCOMPARE(low->gain(), 61);
}

void TestGroupsLoopback::factoryResetComesBackWithTheNextStatus()
{
    PreampModel *first = m_manager->preamps().at(0);
    m_sim.send(0, "CMD_NMCH=3,Vox");
    QTRY_COMPARE(first->channel(2)->name(), QStringLiteral("Vox"));

    first->setToDefault();

    QTRY_COMPARE(first->channel(2)->name(), QStringLiteral("Ch3"));
    QTRY_COMPARE(first->channel(0)->reportedGain(), 0);
    QCOMPARE(first->channel(0)->gain(), 0); // a group gain inside the range follows the unit
    QCOMPARE(first->preampName(), QStringLiteral("octo-1"));
    QCOMPARE(first->sampleRate(), 2);
}

QTEST_GUILESS_MAIN(TestGroupsLoopback)
#include "tst_groupsloopback.moc"
