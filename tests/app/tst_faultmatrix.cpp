#include <QtTest>

#include <QElapsedTimer>
#include <QQuickItem>
#include <QQuickWindow>

#include <algorithm>
#include <functional>
#include <utility>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "support/WindowItems.h"
#include "system/SystemManager.h"

namespace {

constexpr int unitCount = 12;
constexpr int baselineMs = 3000;
// The faulty unit must be back online this long after its fault has ended: offline after 6 s
// of silence, then a status poll every 5 s.
constexpr int comeBackMs = 12000;
constexpr int offlineAfterMs = PreampModel::awakeWatchdogMs * PreampModel::expiriesUntilOffline;
// How far another unit's request rate during a fault may stray from its own baseline.
constexpr double rateTolerance = 0.2;
constexpr int sampleMs = 20;

// Requests a unit received per second while a window of time was open.
struct Rates
{
    double status = 0, total = 0;
};

// The SIM_STAT rates of several units while during() runs, each unit timed from its own reset
// to its own reading: with serial units these requests alone take a good part of a second.
QMap<int, Rates> ratesWhile(SimulatorProcess &sim, const QList<int> &units,
                            const std::function<void()> &during)
{
    QElapsedTimer clock;
    clock.start();
    QMap<int, qint64> opened;
    for (int unit : units) {
        sim.send(unit, QStringLiteral("SIM_STAT=RESET"));
        opened[unit] = clock.elapsed();
    }
    during();
    QMap<int, Rates> rates;
    for (int unit : units) {
        const QJsonObject stat = sim.send(unit, "SIM_STAT").value("sim").toObject();
        const double seconds = double(clock.elapsed() - opened.value(unit)) / 1000;
        rates[unit] = {stat.value("codes").toObject().value("CMD_PSTS").toInt() / seconds,
                       stat.value("requests").toInt() / seconds};
    }
    return rates;
}

// What the faulty unit's page shows, sampled, the worst link state any other unit reached, and
// how soon the page shows the faulty unit online after a good answer that follows a failure.
class LinkWatch
{
public:
    LinkWatch(QQuickItem *panel, const QList<PreampModel *> &others, const NetworkCom *transport,
              const QString &address)
        : m_panel(panel)
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { sample(); });
        m_timer.start(sampleMs);
        sample();
        // Through the timer, so the connections end with the watch.
        for (PreampModel *model : others)
            QObject::connect(model, &PreampModel::dataChanged, &m_timer, [this, model] {
                othersWorst = std::min(othersWorst, model->online());
            });
        QObject::connect(transport, &NetworkCom::replyError, &m_timer,
                         [this, address](const QString &, const QString &ip) {
                             if (ip != address)
                                 return;
                             ++errors;
                             m_awaitingGood = true;
                         });
        for (const auto report : {&NetworkCom::statusUpdate, &NetworkCom::meterUpdate}) {
            QObject::connect(transport, report, &m_timer,
                             [this, address](const QJsonObject &, const QString &ip) {
                                 if (ip == address && std::exchange(m_awaitingGood, false))
                                     m_goodAtMs = m_clock.elapsed();
                             });
        }
    }

    // The longest time the page took to show the unit online after its first good answer that
    // followed a failure.
    qint64 backAfterGoodMs() const
    {
        return m_goodAtMs < 0 ? m_backAfterGoodMs
                              : std::max(m_backAfterGoodMs, m_clock.elapsed() - m_goodAtMs);
    }

    void markFaultEnd()
    {
        m_faultEndMs = m_clock.elapsed();
        sample(); // online now: never away
    }

    QStringList states; // the distinct link states the page showed, in order
    qint64 offlineAtMs = -1;
    qint64 backAfterFaultMs = -1;
    int errors = 0; // failed requests of the faulty unit
    bool clockUnlockSeen = false;
    int lampMismatches = 0;
    int othersWorst = PreampModel::Online;

private:
    void sample()
    {
        const int online = m_panel->property("online").toInt();
        if (states.isEmpty() || states.constLast() != QString::number(online))
            states << QString::number(online);
        if (online == PreampModel::Offline && offlineAtMs < 0)
            offlineAtMs = m_clock.elapsed();
        if (online == PreampModel::Online && m_faultEndMs >= 0 && backAfterFaultMs < 0)
            backAfterFaultMs = m_clock.elapsed() - m_faultEndMs;
        if (online == PreampModel::Online && m_goodAtMs >= 0) {
            m_backAfterGoodMs = backAfterGoodMs();
            m_goodAtMs = -1;
        }
        const QObject *lamp = WindowItems::find(m_panel, QStringLiteral("onlineLamp"));
        const bool lit = lamp->property("color").value<QColor>() == QColor("#00ff00");
        lampMismatches += lit != (online == PreampModel::Online) ? 1 : 0;
        clockUnlockSeen = clockUnlockSeen || !m_panel->property("clkStatus").toBool();
    }

    QQuickItem *m_panel;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_faultEndMs = -1;
    bool m_awaitingGood = false; // a request failed, and no good answer has come since
    qint64 m_goodAtMs = -1;      // that answer, until the page shows the unit online
    qint64 m_backAfterGoodMs = 0;
};

} // namespace

// Twelve simulated units, all in use and shown at full rate, one of them at fault at a time,
// against the whole program with its window. Runs in real time: the watchdog takes 6 s to
// declare a silent unit offline and the recovery poll runs every 5 s.
class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void survivesFault_data();
    void survivesFault();
    void cleanupTestCase() { m_graph.reset(); }

private:
    QQuickWindow *window() const { return qobject_cast<QQuickWindow *>(m_graph->window()); }
    QQuickItem *item(const QString &name) const { return WindowItems::find(window(), name); }

    IsolatedHome m_home;
    SimulatorProcess m_sim;
    std::unique_ptr<ControllerGraph> m_graph;
};

void TestFaultMatrix::initTestCase()
{
    // Each CTest entry runs a few rows on a loopback range of its own, so entries run in parallel.
    const QString subnet = qEnvironmentVariable("OCTO_FAULT_SUBNET", QStringLiteral("127.0.42"));
    QStringList listen;
    for (int k = 1; k <= unitCount; ++k)
        listen << QStringLiteral("%1.%2:0").arg(subnet).arg(k);
    QVERIFY2(m_sim.start(listen), qPrintable(m_sim.errorString()));
    QVERIFY(m_home.writeSavedState(m_sim.addresses()));

    // As an operator starts a show: the listed units are pinged, "Connect" takes them all,
    // "Preamps" shows the first two pages and starts every unit at full rate.
    m_graph = std::make_unique<ControllerGraph>();
    QVERIFY(m_graph->isValid());
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    QTRY_VERIFY(m_graph->model(unitCount - 1)->preampID() == unitCount);
    QVERIFY(WindowItems::click(window(), item("connectButton")));
    QTRY_COMPARE(m_graph->manager()->activePreamps(), unitCount);
    QTRY_VERIFY(!item("inputBlocker")->property("enabled").toBool());
    QVERIFY(WindowItems::click(window(), item("preampsButton")));
    for (int slot = 0; slot < unitCount; ++slot) {
        QCOMPARE(m_graph->model(slot)->ipAddr(), m_sim.address(slot));
        QTRY_COMPARE(m_graph->model(slot)->online(), int(PreampModel::Online));
        QVERIFY(m_graph->model(slot)->meterTimer()->isActive());
    }
    QVERIFY(item("preamp1")->isVisible() && item("preamp2")->isVisible());
}

void TestFaultMatrix::survivesFault_data()
{
    QTest::addColumn<int>("slot"); // the faulty unit; slots 0 and 1 have their pages shown
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("faultMs");
    QTest::addColumn<QString>("states"); // a pattern of the link states its page shows, in order

    // Long enough for a unit that fails every request to be declared offline (6 s).
    const int longFault = 8000;
    const auto lost = [longFault](const char *name, int slot, const QString &fault) {
        QTest::newRow(name) << slot << fault.arg(longFault) << longFault << QString("2,1,0,2");
    };
    lost("silent", 0, "SIM_SLNT=%1");
    lost("refused", 1, "SIM_RFSE=%1");
    lost("httpError", 0, "SIM_HERR=503,%1");
    lost("garbage", 1, "SIM_GRBG=%1");
    lost("truncated", 0, "SIM_TRNC=%1");
    // Every reply comes after the transport has given up on it.
    lost("slow", 1, QString("SIM_DLAY=%1,%2").arg(NetworkCom::transferTimeoutMs + 1000));
    lost("oversized", 0, "SIM_HUGE=%1");
    // The unit keeps answering; only its clock lamp blinks.
    QTest::newRow("clockUnlocked") << 0 << QString("SIM_UNLK=4000") << 4000 << QString("2");
    // A short boot: overdue while it refuses, back with its first answer, before the watchdog
    // could declare it offline, as failed requests do not stop its status poll.
    QTest::newRow("reboot") << 1 << QString("SIM_BOOT=3000") << 3000 << QString("2,1,2");
    // A unit that loses one answer, or trickles one until the transport gives up on it, answers
    // everything else: it may be overdue while its one poll lane is held, never offline.
    const QString neverOffline("2(,1,2)*");
    QTest::newRow("one lost answer") << 1 << QString("SIM_DROP") << 3000 << neverOffline;
    QTest::newRow("trickling answer")
        << 0 << QString("SIM_TRKL=1,400") << NetworkCom::requestDeadlineMs + 2000 << neverOffline;
}

void TestFaultMatrix::survivesFault()
{
    QFETCH(int, slot);
    QFETCH(QString, fault);
    QFETCH(int, faultMs);
    QFETCH(QString, states);
    const bool reboot = fault.startsWith(QLatin1String("SIM_BOOT"));
    PreampModel *unit = m_graph->model(slot);
    QQuickItem *page = item(QStringLiteral("preamp%1").arg(slot + 1));
    QQuickItem *panel = WindowItems::find(page, QStringLiteral("statusPanel"));
    QVERIFY(panel && page->isVisible());
    QList<PreampModel *> otherModels = m_graph->manager()->preamps();
    otherModels.removeAt(slot);
    QList<int> others;
    for (int k = 0; k < unitCount; ++k) {
        QTRY_COMPARE(m_graph->model(k)->online(), int(PreampModel::Online));
        if (k != slot)
            others << k;
    }
    if (reboot) {
        QVERIFY(QMetaObject::invokeMethod(page, "channelChange", Q_ARG(int, 0),
                                          Q_ARG(QString, "gainRole"), Q_ARG(QVariant, 30)));
        QTRY_COMPARE(unit->channel(0)->gain(), 30);
    }
    const QMap<int, Rates> baseline = ratesWhile(m_sim, others, [] { QTest::qWait(baselineMs); });

    LinkWatch watch(panel, otherModels, m_graph->transport(), unit->ipAddr());
    int status = 0;
    const QMap<int, Rates> during = ratesWhile(m_sim, others, [&] {
        m_sim.send(slot, QStringLiteral("SIM_STAT=RESET"));
        m_sim.send(slot, fault, &status);
        QTest::qWait(faultMs);
        watch.markFaultEnd();
    });
    QCOMPARE(status, 200);

    // Waits on the samples, so the time back is when the page showed the unit online.
    QTRY_VERIFY_WITH_TIMEOUT(watch.backAfterFaultMs >= 0, comeBackMs + 1000);
    QTRY_VERIFY(panel->property("clkStatus").toBool()); // the next status report brings it

    // The other eleven units: still online all along, polled as before.
    const double statusRate = 1000.0 / PreampModel::awakeStatusIntervalMs;
    for (int k : qAsConst(others)) {
        QVERIFY2(qAbs(during[k].total / baseline[k].total - 1) <= rateTolerance &&
                     qAbs(during[k].status / statusRate - 1) <= rateTolerance,
                 qPrintable(QString::asprintf("unit %d: %g requests/s and %g status polls/s "
                                              "during the fault, %g requests/s before",
                                              k + 1, during[k].total, during[k].status,
                                              baseline[k].total)));
    }
    QCOMPARE(watch.othersWorst, int(PreampModel::Online));

    const QRegularExpression shown(QRegularExpression::anchoredPattern(states));
    QVERIFY2(shown.match(watch.states.join(',')).hasMatch(), qPrintable(watch.states.join(',')));
    QCOMPARE(watch.lampMismatches, 0);
    QVERIFY2(watch.backAfterGoodMs() <= 1000, qPrintable(QString::number(watch.backAfterGoodMs())));
    // The lost and the trickled answer did fail.
    if (fault.startsWith(QLatin1String("SIM_DROP")) || fault.startsWith(QLatin1String("SIM_TRKL")))
        QVERIFY(watch.errors > 0);
    if (states.contains(QLatin1Char('0'))) {
        // Six seconds after the last report before the fault, which is at most one status
        // interval earlier.
        QVERIFY2(watch.offlineAtMs >=
                         offlineAfterMs - PreampModel::awakeStatusIntervalMs - sampleMs &&
                     watch.offlineAtMs <= offlineAfterMs + 500,
                 qPrintable(QString::number(watch.offlineAtMs)));
    }
    QVERIFY2(watch.backAfterFaultMs <= comeBackMs,
             qPrintable(QString::number(watch.backAfterFaultMs)));
    QCOMPARE(watch.clockUnlockSeen, fault.startsWith(QLatin1String("SIM_UNLK")));
    // The program takes the rebooted unit's factory settings as they are reported.
    if (reboot)
        QTRY_COMPARE(unit->channel(0)->gain(), 0);
    const QJsonObject stat = m_sim.send(slot, "SIM_STAT").value("sim").toObject();
    QCOMPARE(stat.value("boots").toInt(), reboot ? 2 : 1);
    // Through the fault and the recovery the unit was only polled: nothing was pushed to it.
    QStringList pushed = stat.value("codes").toObject().keys();
    pushed.removeAll(QStringLiteral("CMD_PSTS"));
    pushed.removeAll(QStringLiteral("CMD_METR"));
    QVERIFY2(pushed.isEmpty(), qPrintable(pushed.join(' ')));
    QVERIFY(unit->meterTimer()->isActive());
    QCOMPARE(unit->statusTimer()->interval(), PreampModel::awakeStatusIntervalMs);
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
