#include <QtTest>

#include <QQuickItem>
#include <QQuickWindow>

#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "support/WindowItems.h"
#include "system/ShowLog.h"
#include "system/ShowLogModel.h"
#include "system/SystemManager.h"

namespace {

using Event = ShowLogEntry::Event;

// Counted from the simulator's "ready", which leaves the program 13 s to start and be connected
// (a sanitized build on a busy machine takes most of that): unit 1 is silent from 13 s to 21 s
// and unlocked from 26 s to 29 s; channel 3 of unit 2 clips from 13 s to 33 s.
const QByteArray scenario("13000 1 SLNT 8000\n"
                          "13000 2 CLIP=3 20000\n"
                          "26000 1 UNLK 3000\n");
constexpr qint64 silenceAt = 13000, silenceMs = 8000, unlockAt = 26000, unlockMs = 3000;
constexpr qint64 clipAt = 13000, clipMs = 20000;
constexpr qint64 tolerance = 1000;

} // namespace

// The program (its own start-up, object graph and window) against two slow simulated units
// playing a scenario, operated as an operator would; what the show log holds afterwards, what
// its window shows, and its alarm mark.
class TestShowLogRun : public QObject
{
    Q_OBJECT

private slots:
    void recordsTheScenario();

private:
    QQuickItem *item(const char *name) const
    {
        return WindowItems::find(qobject_cast<QQuickWindow *>(m_graph->window()), name);
    }
    QList<ShowLogEntry> entries(Event event, int slot, int channel = 0) const;

    std::unique_ptr<ControllerGraph> m_graph;
    ShowLog *m_log = nullptr;
};

QList<ShowLogEntry> TestShowLogRun::entries(Event event, int slot, int channel) const
{
    QList<ShowLogEntry> found;
    for (int row = m_log->model()->rowCount() - 1; row >= 0; --row) {
        const ShowLogEntry &entry = m_log->model()->at(row);
        if (entry.event == event && entry.slot == slot && (!channel || entry.channel == channel))
            found << entry;
    }
    return found;
}

void TestShowLogRun::recordsTheScenario()
{
    IsolatedHome home;
    QFile file(home.path() + "/scenario.txt");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(scenario) == scenario.size());
    file.close();
    SimulatorProcess sim;
    QVERIFY2(sim.start({"127.0.53.1:0", "127.0.53.2:0"},
                       {"--scenario", file.fileName(), "--serial", "--service-ms", "20"}),
             qPrintable(sim.errorString()));
    const qint64 ready = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(home.writeSavedState(sim.addresses()));
    m_graph = std::make_unique<ControllerGraph>();
    auto *window = qobject_cast<QQuickWindow *>(m_graph->window());
    m_log = m_graph->manager()->findChild<ShowLog *>();
    QVERIFY(m_log && QTest::qWaitForWindowExposed(window));

    // Connected and shown: both units polled at full rate, their meters too.
    QTRY_VERIFY(WindowItems::setupField(window, 1, "preampActive").toBool());
    QVERIFY(WindowItems::click(window, item("connectButton")));
    QTRY_VERIFY(!item("inputBlocker")->property("enabled").toBool());
    QVERIFY(WindowItems::click(window, item("preampsButton")));
    QTRY_VERIFY(m_graph->model(1)->meterTimer()->isActive());
    for (int step = 0; step < 3; ++step)
        QVERIFY(WindowItems::click(window, item("gainUpButton")));
    QVERIFY2(QDateTime::currentMSecsSinceEpoch() - ready < silenceAt - 1000,
             "the program was not polling before the scenario began");
    QVERIFY(!item("logAlarm")->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(!entries(Event::ClockRegained, 1).isEmpty(), 40000);
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentMSecsSinceEpoch() - ready > clipAt + clipMs + 1000,
                             10000);
    QVERIFY(WindowItems::saveShot(window, "show-log-alarm.png"));
    QVERIFY(item("logAlarm")->isVisible());

    // Silent unit: declared offline, back after it answered again; both durations count from
    // its last answer before the silence.
    const QList<ShowLogEntry> offline = entries(Event::Offline, 1);
    const QList<ShowLogEntry> back = entries(Event::Back, 1);
    QCOMPARE(offline.size(), 1);
    QCOMPARE(back.size(), 1);
    QVERIFY(qAbs(offline.at(0).durationMs - (offline.at(0).timeMs - ready - silenceAt)) <
            tolerance);
    QVERIFY(back.at(0).timeMs >= ready + silenceAt + silenceMs);
    QVERIFY(qAbs(back.at(0).durationMs - (back.at(0).timeMs - ready - silenceAt)) < tolerance);
    // The clock: lost and regained, unlocked as long as the scenario had it.
    const QList<ShowLogEntry> lost = entries(Event::ClockLost, 1);
    QCOMPARE(lost.size(), 1);
    QVERIFY(qAbs(lost.at(0).timeMs - ready - unlockAt) < tolerance);
    QVERIFY(qAbs(entries(Event::ClockRegained, 1).at(0).durationMs - unlockMs) < tolerance);
    // The clipping channel: 20 s of overs in at most two entries, on no other channel.
    const QList<ShowLogEntry> overs = entries(Event::Over, 2, 3);
    QVERIFY(overs.size() >= 1 && overs.size() <= 2);
    QVERIFY(qAbs(overs.at(0).timeMs - ready - clipAt) < tolerance);
    QVERIFY(overs.at(0).count > 1 && overs.at(0).lastMs - overs.at(0).timeMs > 9000 - tolerance);
    QVERIFY(qAbs(overs.constLast().lastMs - ready - clipAt - clipMs) < tolerance);
    QCOMPARE(entries(Event::Over, 2).size(), overs.size());
    // The operator's three steps of channel 1 of unit 1: one entry.
    const QList<ShowLogEntry> steps = entries(Event::Changed, 1, 1);
    QCOMPARE(steps.size(), 1);
    QCOMPARE(steps.at(0).description(), QString::fromUtf8("gain -6 → 4"));
    QCOMPARE(steps.at(0).source, QStringLiteral("operator"));

    // Looking at the log clears the mark; it lists what happened, newest first.
    QVERIFY(WindowItems::click(window, item("logButton")));
    QTRY_VERIFY(item("logEntries") && item("logEntries")->isVisible());
    QVERIFY(!item("logAlarm")->isVisible());
    QCOMPARE(item("logEntries")->property("count").toInt(), m_log->model()->rowCount());
    QVERIFY(WindowItems::saveShot(window, "show-log.png"));
    QVERIFY(WindowItems::click(window, item("logKindOvers")));
    QTRY_VERIFY(item("logEntries")->property("count").toInt() < m_log->model()->rowCount());
    QVERIFY(WindowItems::click(window, item("logKindOvers")));
    QVERIFY(WindowItems::click(window, item("logCloseButton")));
    m_graph.reset();
}

QTEST_MAIN(TestShowLogRun)
#include "tst_showlogrun.moc"
