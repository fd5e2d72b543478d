#include <QtTest>

#include <QJsonArray>

#include "LoadRuns.h"
#include "SoakRun.h"
#include "support/SimulatorProcess.h"

// The benchmarks' engine and soak, a few seconds each: every request the program sends must end
// and every reply object must be released, and a unit that goes silent must not collect more
// requests than the transport lets a unit hold.
class TestBenchSmoke : public QObject
{
    Q_OBJECT

private slots:
    void twelveAwakeUnitsLeaveNoReplyBehind();
    void silentUnitsBacklogStaysBounded();
};

void TestBenchSmoke::twelveAwakeUnitsLeaveNoReplyBehind()
{
    QStringList listen;
    for (int unit = 1; unit <= 12; ++unit)
        listen << QStringLiteral("127.0.40.%1:0").arg(unit);
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(listen), qPrintable(simulator.errorString()));

    const QJsonObject result = LoadRuns::engine(simulator.addresses(), 12, {500, 2500});
    QVERIFY2(!result.contains("error"), qPrintable(result.value("error").toString()));
    const QJsonObject sent = result.value("sent").toObject();
    QCOMPARE(sent.size(), 12);
    for (const QJsonValue &unit : sent)
        QVERIFY(unit.toObject().value("CMD_METR").toInt() > 0); // online and polled for meters
    QCOMPARE(result.value("errors").toInt(), 0);
    QCOMPARE(result.value("unansweredAfterStop").toInt(), 0);
    QCOMPARE(result.value("pendingAfterStop").toInt(), 0);
}

void TestBenchSmoke::silentUnitsBacklogStaysBounded()
{
    // Each window silences the next unit for longer than a transfer timeout.
    const QJsonObject result = SoakRun::run({2, 4000, 3000});
    QVERIFY2(!result.contains("error"), qPrintable(result.value("error").toString()));
    const QJsonArray windows = result.value("windows").toArray();
    QCOMPARE(windows.size(), 2);
    for (const QJsonValue &value : windows) {
        const QJsonObject window = value.toObject();
        QVERIFY(window.value("errors").toInt() > 0); // the silence was noticed
        QVERIFY2(window.value("silentMaxPending").toInt() <= SoakRun::pendingBound(),
                 qPrintable(QStringLiteral("%1 requests outstanding to the silent unit")
                                .arg(window.value("silentMaxPending").toInt())));
    }
    QCOMPARE(result.value("unansweredAfterStop").toInt(), 0);
    QCOMPARE(result.value("pendingAfterStop").toInt(), 0);
}

QTEST_GUILESS_MAIN(TestBenchSmoke)
#include "tst_benchsmoke.moc"
