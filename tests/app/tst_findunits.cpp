#include <QtTest>

#include <QQuickItem>
#include <QQuickWindow>

#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "support/WindowItems.h"
#include "system/SystemManager.h"
#include "system/UnitScanner.h"

namespace {

// The units run on 127.0.51.x alone: the suites CTest runs beside this one have simulated units
// on 127.0.0.x and 127.0.21-49.x, and the search would find any of them inside its range. A
// search asks every address on one port, so the units listen on a fixed one.
const QString range = QStringLiteral("127.0.51.1-20:18051");

} // namespace

// The "Find units" panel in the complete program on a real X server (Xvfb): a search of the
// simulator's addresses, the units found added to the setup list, and "Connect".
class TestFindUnits : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void foundUnitsAreAddedAndConnected();
    void cleanupTestCase() { m_graph.reset(); }

private:
    QQuickWindow *window() const { return qobject_cast<QQuickWindow *>(m_graph->window()); }
    QQuickItem *item(const char *name) const { return WindowItems::find(window(), name); }

    IsolatedHome m_home;
    SimulatorProcess m_sim;
    std::unique_ptr<ControllerGraph> m_graph;
};

void TestFindUnits::initTestCase()
{
    // Three units answer; the fourth is silent, so the search lasts one timeout.
    QVERIFY2(m_sim.start(
                 {"127.0.51.1:18051", "127.0.51.2:18051", "127.0.51.3:18051", "127.0.51.4:18051"},
                 {"--base-id", "41", "--fault", "4:SLNT"}),
             qPrintable(m_sim.errorString()));
    // The second unit is in the setup list already.
    QVERIFY(m_home.writeSavedState({m_sim.address(1)}));
    m_graph = std::make_unique<ControllerGraph>();
    QVERIFY(m_graph->isValid());
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    QTRY_COMPARE(WindowItems::setupField(window(), 0, "preampID").toInt(), 42);
}

void TestFindUnits::foundUnitsAreAddedAndConnected()
{
    QObject *panel = m_graph->window()->findChild<QObject *>("findUnitsPanel");
    auto *scanner = qobject_cast<UnitScanner *>(panel->property("scanner").value<QObject *>());
    QVERIFY(scanner);
    QVERIFY(WindowItems::click(window(), item("toolButton")));
    QTRY_VERIFY(panel->property("opened").toBool());
    QVERIFY(!scanner->isRunning()); // opening searches nothing

    // A bad range is explained beside the field and searches nothing.
    item("rangeField")->setProperty("text", "127.0.51.1/21");
    QVERIFY(WindowItems::click(window(), item("scanStartButton")));
    QVERIFY(item("rangeError")->isVisible());
    QVERIFY(!scanner->isRunning());

    item("rangeField")->setProperty("text", range);
    QVERIFY(WindowItems::click(window(), item("scanStartButton")));
    QVERIFY(!item("rangeError")->isVisible());
    QTRY_COMPARE(scanner->found(), 3);
    if (scanner->isRunning())
        QVERIFY(WindowItems::saveShot(window(), "find-units-searching.png"));
    QTRY_VERIFY(!scanner->isRunning());
    QCOMPARE(scanner->tried(), 20);
    QCOMPARE(item("scanResults")->property("count").toInt(), 3);
    QCOMPARE(scanner->tickedAddresses(), QStringList({m_sim.address(0), m_sim.address(2)}));
    QVERIFY(WindowItems::saveShot(window(), "find-units-found.png"));

    // Added after the listed unit, then sorted by ID as every answered ping sorts the list.
    QVERIFY(WindowItems::click(window(), item("scanAddButton")));
    QVERIFY(!item("scanMessage")->property("text").toString().isEmpty());
    for (int row = 0; row < 3; ++row) {
        QTRY_COMPARE(WindowItems::setupField(window(), row, "preampID").toInt(), 41 + row);
        QCOMPARE(WindowItems::setupField(window(), row, "ipAddr").toString(), m_sim.address(row));
        QVERIFY(WindowItems::setupField(window(), row, "activeEnable").toBool());
        QTRY_VERIFY(WindowItems::setupField(window(), row, "preampActive").toBool());
    }
    QVERIFY(scanner->tickedAddresses().isEmpty()); // all listed now

    QVERIFY(WindowItems::click(window(), item("scanCloseButton")));
    QTRY_VERIFY(!panel->property("visible").toBool());
    QVERIFY(WindowItems::click(window(), item("connectButton")));
    QTRY_COMPARE(m_graph->manager()->activePreamps(), 3);
    QTRY_VERIFY(!item("inputBlocker")->property("enabled").toBool());
    QVERIFY(WindowItems::click(window(), item("preampsButton")));
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(m_graph->model(slot)->ipAddr(), m_sim.address(slot));
        QTRY_COMPARE(m_graph->model(slot)->online(), int(PreampModel::Online));
    }
}

QTEST_MAIN(TestFindUnits)
#include "tst_findunits.moc"
