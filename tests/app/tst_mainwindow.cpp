#include <QtTest>

#include <QJsonArray>
#include <QQuickItem>
#include <QQuickWindow>

#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "support/WindowItems.h"
#include "system/SystemManager.h"

namespace {

void turnWheel(QQuickWindow *window, QQuickItem *over, int steps)
{
    const QPointF at = over->mapToScene(QPointF(over->width() / 2, over->height() / 2));
    QWheelEvent event(at, window->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120 * steps),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QGuiApplication::sendEvent(window, &event);
}

// A channel's field as the unit itself reports it.
QJsonValue onUnit(SimulatorProcess &sim, int unit, int row, const char *key)
{
    return sim.send(unit, "CMD_PSTS").value("channels").toArray().at(row).toObject().value(key);
}

// What a page's controls do to a channel: set a role to a value, or press it (no value).
bool change(QQuickItem *page, int channel, const char *role, const QVariant &value = {})
{
    return value.isValid() ? QMetaObject::invokeMethod(page, "channelChange", Q_ARG(int, channel),
                                                       Q_ARG(QString, role), Q_ARG(QVariant, value))
                           : QMetaObject::invokeMethod(page, "channelPropertyChange",
                                                       Q_ARG(int, channel), Q_ARG(QString, role));
}

} // namespace

// The complete program against three simulated units: the real start-up code, the real window
// under a real X server (Xvfb), operated through its controls. CTest runs it once more against
// slow units (tst_mainwindow_slow), so a group move's whole chain also meets a serial unit.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void restoredUnitsAreListedInIdOrder();
    void connectAndPagingPollShownUnitsAtFullRate();
    void gainGroupsMoveChannelsOnBothUnits();
    void recallDialogRestoresAStoredPreset();
    void cleanupTestCase() { m_graph.reset(); }

private:
    QQuickWindow *window() const { return qobject_cast<QQuickWindow *>(m_graph->window()); }
    QQuickItem *item(const char *name) const { return WindowItems::find(window(), name); }

    IsolatedHome m_home;
    SimulatorProcess m_sim;
    std::unique_ptr<ControllerGraph> m_graph;
};

void TestMainWindow::initTestCase()
{
    QVERIFY2(m_sim.start({"127.0.26.1:0", "127.0.26.2:0", "127.0.26.3:0"}, {"--base-id", "21"}),
             qPrintable(m_sim.errorString()));
    // Listed in reverse, so the sort by ID has rows to move.
    QVERIFY(m_home.writeSavedState({m_sim.address(2), m_sim.address(1), m_sim.address(0)}));
    m_graph = std::make_unique<ControllerGraph>();
    QVERIFY(m_graph->isValid());
    QVERIFY(QTest::qWaitForWindowExposed(window()));
}

void TestMainWindow::restoredUnitsAreListedInIdOrder()
{
    for (int row = 0; row < 3; ++row) {
        QTRY_COMPARE(WindowItems::setupField(window(), row, "preampID").toInt(), 21 + row);
        QCOMPARE(WindowItems::setupField(window(), row, "ipAddr").toString(), m_sim.address(row));
    }
    QVERIFY(!WindowItems::setupField(window(), 3, "ipAddr").isValid());
    QVERIFY(WindowItems::saveShot(window(), "setup-view.png"));

    // A data change of any slot, slot 0 included, refreshes the row that shows its unit.
    PreampModel *first = m_graph->model(0);
    first->statusUpdated(QJsonObject{{"sys", QJsonObject{{"id", 23}, {"name", "Stage-L"}}}},
                         first->ipAddr());
    QCOMPARE(WindowItems::setupField(window(), 2, "name").toString(), QStringLiteral("Stage-L"));
}

void TestMainWindow::connectAndPagingPollShownUnitsAtFullRate()
{
    QVERIFY(WindowItems::click(window(), item("connectButton")));
    QTRY_COMPARE(m_graph->manager()->activePreamps(), 3);
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(m_graph->model(slot)->ipAddr(), m_sim.address(slot)); // rows in ID order
    // The busy period after Connect takes all pointer input and ends by itself.
    QVERIFY(item("inputBlocker")->property("enabled").toBool());
    QTRY_VERIFY(!item("inputBlocker")->property("enabled").toBool());

    QVERIFY(WindowItems::click(window(), item("preampsButton")));
    for (int slot = 0; slot < 3; ++slot)
        QTRY_COMPARE(m_graph->model(slot)->online(), int(PreampModel::Online));

    turnWheel(window(), item("unitView"), -1);
    QCOMPARE(window()->property("topPreamp").toInt(), 1);
    QVERIFY(!item("preamp1")->isVisible() && item("preamp2")->isVisible() &&
            item("preamp3")->isVisible());
    QCOMPARE(m_graph->model(0)->statusTimer()->interval(), PreampModel::asleepStatusIntervalMs);
    QVERIFY(!m_graph->model(0)->meterTimer()->isActive());
    QVERIFY(m_graph->model(1)->meterTimer()->isActive() &&
            m_graph->model(2)->meterTimer()->isActive());
    turnWheel(window(), item("unitView"), -1); // at the end: three units, two shown
    QCOMPARE(window()->property("topPreamp").toInt(), 1);

    QVERIFY(WindowItems::click(window(), item("pageUpButton")));
    QCOMPARE(window()->property("topPreamp").toInt(), 0);
    QVERIFY(m_graph->model(0)->meterTimer()->isActive());
    QTRY_VERIFY(m_graph->model(0)->channel(0)->meterLevel() > 0);
    QTest::qWait(500); // let the meters move before the picture
    QVERIFY(WindowItems::saveShot(window(), "unit-view.png"));
}

void TestMainWindow::gainGroupsMoveChannelsOnBothUnits()
{
    for (const char *name : {"preamp1", "preamp2"})
        QVERIFY(change(item(name), 4, "groupNameRole", 1) &&
                change(item(name), 4, "groupRole", true));
    QVERIFY(change(item("preamp1"), 4, "gainUpRole"));

    // On both units, and back in both models with the units' next reports.
    for (int unit : {0, 1}) {
        QTRY_COMPARE(onUnit(m_sim, unit, 4, "gain").toInt(), 1);
        QTRY_COMPARE(m_graph->model(unit)->channel(4)->reportedGain(), 1);
        QTRY_COMPARE(m_graph->model(unit)->channel(4)->gain(), 1);
    }
}

void TestMainWindow::recallDialogRestoresAStoredPreset()
{
    const QUrl preset = QUrl::fromLocalFile(m_home.path() + "/Show.cvp");
    // Phantom power asked for on the page; the unit's report, not the click, lights the strip.
    QVERIFY(change(item("preamp2"), 2, "phantomRole"));
    QQuickItem *strip = nullptr;
    QVERIFY(QMetaObject::invokeMethod(WindowItems::find(item("preamp2"), "channelList"),
                                      "itemAtIndex", Q_RETURN_ARG(QQuickItem *, strip),
                                      Q_ARG(int, 2)));
    QTRY_VERIFY(strip && strip->property("phantom").toBool());
    QVERIFY(QMetaObject::invokeMethod(window(), "savePreset", Q_ARG(QVariant, preset)));
    QVERIFY(QFile::exists(preset.toLocalFile()));
    m_sim.send(1, "CMD_P48S=3,OFF");
    QTRY_VERIFY(!m_graph->model(1)->channel(2)->phantom());

    QVERIFY(WindowItems::click(window(), item("recallButton")));
    QObject *dialog = m_graph->window()->findChild<QObject *>("recallDialog");
    QTRY_VERIFY(dialog->property("opened").toBool());
    QVERIFY(!m_graph->model(0)->isCommunicating()); // recall stops the units first
    QVERIFY(WindowItems::saveShot(window(), "recall-dialog.png"));
    QVERIFY(QMetaObject::invokeMethod(dialog, "fileChosen", Q_ARG(QVariant, preset),
                                      Q_ARG(QVariant, QUrl::fromLocalFile(m_home.path()))));
    dialog->setProperty("loadPreampSettings", true);
    QVERIFY(QMetaObject::invokeMethod(dialog, "load"));

    QTRY_COMPARE(window()->property("currentPreset").toString(), QStringLiteral("Show"));
    QTRY_COMPARE(onUnit(m_sim, 1, 2, "48V").toString(), QStringLiteral("on"));
    QVERIFY(m_graph->model(0)->isCommunicating()); // started again with the unit view shown
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
