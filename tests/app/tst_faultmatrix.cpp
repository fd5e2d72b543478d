#include <QtTest>

#include <QElapsedTimer>
#include <QQuickItem>
#include <QQuickWindow>

#include <algorithm>

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
const QColor litColour("#00ff00");

// Each CTest entry runs a few rows on a loopback range of its own, so entries run in parallel.
QString subnet()
{
    return qEnvironmentVariable("OCTO_FAULT_SUBNET", QStringLiteral("127.0.42"));
}

void click(QQuickWindow *window, QQuickItem *target)
{
    QVERIFY(WindowItems::click(window, target));
}

// Requests a unit received per second while a window of time was open.
struct Rates
{
    double status = 0;
    double total = 0;
};

// SIM_STAT counters of several units, each between its own reset and its own reading.
class RateWindow
{
public:
    RateWindow(SimulatorProcess &sim, QList<int> units) : m_sim(sim), m_units(std::move(units))
    {
        m_clock.start();
        for (int unit : m_units) {
            m_sim.send(unit, QStringLiteral("SIM_STAT=RESET"));
            m_opened[unit] = m_clock.elapsed();
        }
    }

    QMap<int, Rates> read() const
    {
        QMap<int, Rates> rates;
        for (int unit : m_units) {
            const QJsonObject stat =
                m_sim.send(unit, QStringLiteral("SIM_STAT")).value("sim").toObject();
            const double seconds = double(m_clock.elapsed() - m_opened.value(unit)) / 1000;
            rates[unit] = {stat.value("codes").toObject().value("CMD_PSTS").toInt() / seconds,
                           stat.value("requests").toInt() / seconds};
        }
        return rates;
    }

private:
    SimulatorProcess &m_sim;
    QList<int> m_units;
    QElapsedTimer m_clock;
    QMap<int, qint64> m_opened;
};

// What the faulty unit's page shows, sampled, and the worst link state any other unit reached.
class LinkWatch
{
public:
    LinkWatch(QQuickItem *panel, const QList<PreampModel *> &others) : m_panel(panel)
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { sample(); });
        m_timer.start(sampleMs);
        sample();
        for (PreampModel *model : others) {
            m_connections << QObject::connect(model, &PreampModel::dataChanged, [this, model] {
                m_othersWorst = std::min(m_othersWorst, model->online());
            });
        }
    }
    ~LinkWatch()
    {
        for (const QMetaObject::Connection &connection : qAsConst(m_connections))
            QObject::disconnect(connection);
    }

    void markFaultEnd()
    {
        m_faultEndMs = m_clock.elapsed();
        if (m_panel->property("online").toInt() == PreampModel::Online)
            m_backAt = m_faultEndMs; // never away
    }
    // The distinct link states the page showed, in order ("2,1,0,2").
    QString states() const { return m_states.join(QLatin1Char(',')); }
    qint64 firstSeenMs(int state) const { return m_firstSeen.value(state, -1); }
    qint64 backAfterFaultMs() const
    {
        return m_backAt < 0 || m_faultEndMs < 0 ? -1 : m_backAt - m_faultEndMs;
    }
    bool clockUnlockSeen() const { return m_clockUnlockSeen; }
    int lampMismatches() const { return m_lampMismatches; }
    int othersWorst() const { return m_othersWorst; }

private:
    void sample()
    {
        const int online = m_panel->property("online").toInt();
        const QString text = QString::number(online);
        if (m_states.isEmpty() || m_states.constLast() != text) {
            m_states << text;
            if (!m_firstSeen.contains(online))
                m_firstSeen[online] = m_clock.elapsed();
            if (online == PreampModel::Online && m_faultEndMs >= 0 && m_backAt < 0)
                m_backAt = m_clock.elapsed();
        }
        const auto *lamp = WindowItems::find(m_panel, QStringLiteral("onlineLamp"));
        const bool lit = lamp->property("color").value<QColor>() == litColour;
        if (lit != (online == PreampModel::Online))
            ++m_lampMismatches;
        if (!m_panel->property("clkStatus").toBool())
            m_clockUnlockSeen = true;
    }

    QQuickItem *m_panel;
    QElapsedTimer m_clock;
    QTimer m_timer;
    QList<QMetaObject::Connection> m_connections;
    QStringList m_states;
    QMap<int, qint64> m_firstSeen;
    qint64 m_faultEndMs = -1;
    qint64 m_backAt = -1;
    bool m_clockUnlockSeen = false;
    int m_lampMismatches = 0;
    int m_othersWorst = PreampModel::Online;
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
    QQuickItem *page(int slot) const;
    void setGainThroughPage(int slot, int gain);

    IsolatedHome m_home;
    SimulatorProcess m_sim;
    std::unique_ptr<ControllerGraph> m_graph;
};

QQuickItem *TestFaultMatrix::page(int slot) const
{
    return WindowItems::find(window(), QStringLiteral("preamp%1").arg(slot + 1));
}

void TestFaultMatrix::initTestCase()
{
    QStringList listen;
    for (int k = 1; k <= unitCount; ++k)
        listen << QStringLiteral("%1.%2:0").arg(subnet()).arg(k);
    QVERIFY2(m_sim.start(listen), qPrintable(m_sim.errorString()));
    QVERIFY(m_home.writeSavedState(m_sim.addresses()));

    // As an operator starts a show: the listed units are pinged, "Connect" takes them all,
    // "Preamps" shows the first two pages and starts every unit at full rate.
    m_graph = std::make_unique<ControllerGraph>();
    QVERIFY(m_graph->isValid());
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    QTRY_VERIFY(m_graph->model(unitCount - 1)->preampID() == unitCount);
    click(window(), WindowItems::find(window(), "connectButton"));
    QTRY_COMPARE(m_graph->manager()->activePreamps(), unitCount);
    QTRY_VERIFY(!WindowItems::find(window(), "inputBlocker")->property("enabled").toBool());
    click(window(), WindowItems::find(window(), "preampsButton"));
    for (int slot = 0; slot < unitCount; ++slot) {
        QCOMPARE(m_graph->model(slot)->ipAddr(), m_sim.address(slot));
        QTRY_COMPARE(m_graph->model(slot)->online(), int(PreampModel::Online));
        QVERIFY(m_graph->model(slot)->meterTimer()->isActive());
    }
    QVERIFY(page(0)->isVisible() && page(1)->isVisible());
}

void TestFaultMatrix::setGainThroughPage(int slot, int gain)
{
    QVERIFY(QMetaObject::invokeMethod(page(slot), "channelChange", Q_ARG(int, 0),
                                      Q_ARG(QString, "gainRole"), Q_ARG(QVariant, gain)));
    QTRY_COMPARE(m_graph->model(slot)->channel(0)->gain(), gain);
}

void TestFaultMatrix::survivesFault_data()
{
    QTest::addColumn<int>("slot"); // the faulty unit; slots 0 and 1 have their pages shown
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("faultMs");
    QTest::addColumn<QString>("states"); // the link states its page shows, in order

    // Long enough for a unit that fails every request to be declared offline (6 s).
    const int longFault = 8000;
    const QString lostAndBack = QStringLiteral("2,1,0,2");
    QTest::newRow("silent") << 0 << QString("SIM_SLNT=%1").arg(longFault) << longFault
                            << lostAndBack;
    QTest::newRow("refused") << 1 << QString("SIM_RFSE=%1").arg(longFault) << longFault
                             << lostAndBack;
    QTest::newRow("httpError") << 0 << QString("SIM_HERR=503,%1").arg(longFault) << longFault
                               << lostAndBack;
    QTest::newRow("garbage") << 1 << QString("SIM_GRBG=%1").arg(longFault) << longFault
                             << lostAndBack;
    QTest::newRow("truncated") << 0 << QString("SIM_TRNC=%1").arg(longFault) << longFault
                               << lostAndBack;
    // Every reply comes after the transport has given up on it.
    QTest::newRow("slow")
        << 1 << QString("SIM_DLAY=%1,%2").arg(NetworkCom::transferTimeoutMs + 1000).arg(longFault)
        << longFault << lostAndBack;
    // The unit keeps answering; only its clock lamp blinks.
    QTest::newRow("clockUnlocked") << 0 << QString("SIM_UNLK=4000") << 4000 << QString("2");
    // A short boot still costs the unit its place until the recovery poll finds it.
    QTest::newRow("reboot") << 1 << QString("SIM_BOOT=3000") << 3000 << lostAndBack;
    QTest::newRow("oversized") << 0 << QString("SIM_HUGE=%1").arg(longFault) << longFault
                               << lostAndBack;
}

void TestFaultMatrix::survivesFault()
{
    QFETCH(int, slot);
    QFETCH(QString, fault);
    QFETCH(int, faultMs);
    QFETCH(QString, states);
    const bool reboot = fault.startsWith(QLatin1String("SIM_BOOT"));
    const bool clockFault = fault.startsWith(QLatin1String("SIM_UNLK"));
    PreampModel *unit = m_graph->model(slot);
    QQuickItem *panel = WindowItems::find(page(slot), QStringLiteral("statusPanel"));
    QVERIFY(panel && page(slot)->isVisible());
    for (int k = 0; k < unitCount; ++k)
        QTRY_COMPARE(m_graph->model(k)->online(), int(PreampModel::Online));
    if (reboot)
        setGainThroughPage(slot, 30);

    QList<int> others;
    QList<PreampModel *> otherModels;
    for (int k = 0; k < unitCount; ++k) {
        if (k != slot) {
            others << k;
            otherModels << m_graph->model(k);
        }
    }
    const RateWindow baselineWindow(m_sim, others);
    QTest::qWait(baselineMs);
    const QMap<int, Rates> baseline = baselineWindow.read();

    LinkWatch watch(panel, otherModels);
    const RateWindow faultWindow(m_sim, others);
    m_sim.send(slot, QStringLiteral("SIM_STAT=RESET"));
    int status = 0;
    m_sim.send(slot, fault, &status);
    QCOMPARE(status, 200);
    QTest::qWait(faultMs);
    watch.markFaultEnd();
    const QMap<int, Rates> during = faultWindow.read();

    // Waits on the samples, so the time back is when the page showed the unit online.
    QTRY_VERIFY_WITH_TIMEOUT(watch.backAfterFaultMs() >= 0, comeBackMs + 1000);
    QTRY_VERIFY(panel->property("clkStatus").toBool()); // the next status report brings it
    const qint64 back = watch.backAfterFaultMs();

    // The other eleven units: still online all along, polled as before.
    const double statusRate = 1000.0 / PreampModel::awakeStatusIntervalMs;
    for (int k : qAsConst(others)) {
        QVERIFY2(qAbs(during[k].total / baseline[k].total - 1) <= rateTolerance,
                 qPrintable(QString("unit %1: %2 requests/s during the fault, %3 before")
                                .arg(k + 1)
                                .arg(during[k].total)
                                .arg(baseline[k].total)));
        QVERIFY2(
            qAbs(during[k].status / statusRate - 1) <= rateTolerance,
            qPrintable(QString("unit %1: %2 status polls/s").arg(k + 1).arg(during[k].status)));
    }
    QCOMPARE(watch.othersWorst(), int(PreampModel::Online));

    QCOMPARE(watch.states(), states);
    QCOMPARE(watch.lampMismatches(), 0);
    if (states != QLatin1String("2")) {
        // Six seconds after the last report before the fault, which is at most one status
        // interval earlier.
        const qint64 offlineAt = watch.firstSeenMs(PreampModel::Offline);
        QVERIFY2(offlineAt >= offlineAfterMs - PreampModel::awakeStatusIntervalMs - sampleMs &&
                     offlineAt <= offlineAfterMs + 500,
                 qPrintable(QString::number(offlineAt)));
    }
    QVERIFY2(back >= 0 && back <= comeBackMs, qPrintable(QString::number(back)));
    QCOMPARE(watch.clockUnlockSeen(), clockFault);
    if (clockFault)
        QVERIFY(!panel->findChild<QObject *>(QStringLiteral("clockBlink"))
                     ->property("running")
                     .toBool());
    if (reboot) {
        // The program takes the rebooted unit's factory settings as they are reported.
        QTRY_COMPARE(unit->channel(0)->gain(), 0);
        QCOMPARE(m_sim.send(slot, "SIM_STAT").value("sim").toObject().value("boots").toInt(), 2);
    }
    // Through the fault and the recovery the unit was only polled: nothing was pushed to it.
    const QJsonObject codes =
        m_sim.send(slot, "SIM_STAT").value("sim").toObject().value("codes").toObject();
    QStringList pushed = codes.keys();
    pushed.removeAll(QStringLiteral("CMD_PSTS"));
    pushed.removeAll(QStringLiteral("CMD_METR"));
    QVERIFY2(pushed.isEmpty(), qPrintable(pushed.join(' ')));
    QVERIFY(unit->meterTimer()->isActive());
    QCOMPARE(unit->statusTimer()->interval(), PreampModel::awakeStatusIntervalMs);
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
