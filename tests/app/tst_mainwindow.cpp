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

// Items made by a Repeater have no object parent, so the visual tree is searched too.
QQuickItem *item(QQuickWindow *window, const char *name)
{
    if (auto *found = window->findChild<QQuickItem *>(name))
        return found;
    return WindowItems::find(window, QString::fromLatin1(name));
}

void click(QQuickWindow *window, QQuickItem *target)
{
    QVERIFY(WindowItems::click(window, target));
}

void turnWheel(QQuickWindow *window, QQuickItem *over, int steps)
{
    const QPointF at = over->mapToScene(QPointF(over->width() / 2, over->height() / 2));
    QWheelEvent event(at, window->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120 * steps),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QGuiApplication::sendEvent(window, &event);
}

// The rows of the setup list, as (preampID, ipAddr).
QList<QPair<int, QString>> setupRows(QQuickWindow *window)
{
    auto *view = item(window, "setupView");
    auto *rows =
        qobject_cast<QAbstractItemModel *>(view->property("preampSetupModel").value<QObject *>());
    if (!rows)
        return {};
    const QHash<int, QByteArray> roles = rows->roleNames();
    QList<QPair<int, QString>> list;
    for (int row = 0; row < rows->rowCount(); ++row) {
        const QModelIndex index = rows->index(row, 0);
        list.append({rows->data(index, roles.key("preampID")).toInt(),
                     rows->data(index, roles.key("ipAddr")).toString()});
    }
    return list;
}

void saveShot(QQuickWindow *window, const QString &name)
{
    const QString folder = qEnvironmentVariable("OCTO_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        QVERIFY(window->grabWindow().save(QDir(folder).filePath(name)));
}

} // namespace

// The complete program against three simulated units: the real start-up code, the real window
// under a real X server (Xvfb), operated through its controls.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void restoredUnitsAreListedInIdOrder();
    void connectAndPagingPollShownUnitsAtFullRate();
    void pageControlsReachTheUnitAndComeBack();
    void gainGroupsMoveChannelsOnBothUnits();
    void recallDialogRestoresAStoredPreset();
    void closingAndRestartingKeepsTheUnitsInTheirSlots();
    void cleanupTestCase() { m_graph.reset(); }

private:
    QQuickWindow *window() const { return qobject_cast<QQuickWindow *>(m_graph->window()); }

    IsolatedHome m_home;
    SimulatorProcess m_sim;
    std::unique_ptr<ControllerGraph> m_graph;
};

void TestMainWindow::initTestCase()
{
    QVERIFY2(m_sim.start({"127.0.26.1:0", "127.0.26.2:0", "127.0.26.3:0"}, {"--base-id", "21"}),
             qPrintable(m_sim.errorString()));
    // Listed in reverse, so the sort by ID has rows to move.
    QDir().mkpath(m_home.dataDirectory());
    QFile state(m_home.stateFile());
    QVERIFY(state.open(QIODevice::WriteOnly));
    state.write(QStringLiteral("3\n%1\n%2\n%3\nfile://%4\n")
                    .arg(m_sim.address(2), m_sim.address(1), m_sim.address(0), m_home.path())
                    .toUtf8());
    state.close();
    m_graph = std::make_unique<ControllerGraph>();
    QVERIFY(m_graph->isValid());
    QVERIFY(QTest::qWaitForWindowExposed(window()));
}

void TestMainWindow::restoredUnitsAreListedInIdOrder()
{
    const QList<QPair<int, QString>> sorted{
        {21, m_sim.address(0)}, {22, m_sim.address(1)}, {23, m_sim.address(2)}};
    QTRY_COMPARE(setupRows(window()), sorted);
    saveShot(window(), "setup-view.png");

    // A data change of any slot, slot 0 included, refreshes the row that shows its unit.
    PreampModel *first = m_graph->model(0);
    const QJsonObject renamed{{"sys", QJsonObject{{"id", 23}, {"name", "Stage-L"}}},
                              {"adc", QJsonObject()},
                              {"channels", QJsonArray()}};
    first->statusUpdated(renamed, first->ipAddr());
    auto *rows = qobject_cast<QAbstractItemModel *>(
        item(window(), "setupView")->property("preampSetupModel").value<QObject *>());
    const int nameRole = rows->roleNames().key("name");
    QCOMPARE(rows->data(rows->index(2, 0), nameRole).toString(), QStringLiteral("Stage-L"));
}

void TestMainWindow::connectAndPagingPollShownUnitsAtFullRate()
{
    click(window(), item(window(), "connectButton"));
    SystemManager *manager = m_graph->manager();
    QTRY_COMPARE(manager->activePreamps(), 3);
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(m_graph->model(slot)->ipAddr(), m_sim.address(slot)); // rows in ID order
    // The busy period after Connect takes all pointer input and ends by itself.
    QVERIFY(item(window(), "inputBlocker")->property("enabled").toBool());
    QTRY_VERIFY(!item(window(), "inputBlocker")->property("enabled").toBool());

    click(window(), item(window(), "preampsButton"));
    for (int slot = 0; slot < 3; ++slot)
        QTRY_COMPARE(m_graph->model(slot)->online(), int(PreampModel::Online));

    turnWheel(window(), item(window(), "unitView"), -1);
    QCOMPARE(window()->property("topPreamp").toInt(), 1);
    QVERIFY(!item(window(), "preamp1")->isVisible());
    QVERIFY(item(window(), "preamp2")->isVisible() && item(window(), "preamp3")->isVisible());
    QCOMPARE(m_graph->model(0)->statusTimer()->interval(), PreampModel::asleepStatusIntervalMs);
    QVERIFY(!m_graph->model(0)->meterTimer()->isActive());
    QVERIFY(m_graph->model(1)->meterTimer()->isActive() &&
            m_graph->model(2)->meterTimer()->isActive());
    turnWheel(window(), item(window(), "unitView"), -1); // at the end: three units, two shown
    QCOMPARE(window()->property("topPreamp").toInt(), 1);

    click(window(), item(window(), "pageUpButton"));
    QCOMPARE(window()->property("topPreamp").toInt(), 0);
    QVERIFY(m_graph->model(0)->meterTimer()->isActive());
    QTRY_VERIFY(m_graph->model(0)->channel(0)->meterLevel() > 0);
    QTest::qWait(500); // let the meters move before the picture
    saveShot(window(), "unit-view.png");
}

void TestMainWindow::pageControlsReachTheUnitAndComeBack()
{
    QQuickItem *page = item(window(), "preamp2");
    QVERIFY(QMetaObject::invokeMethod(page, "channelPropertyChange", Q_ARG(int, 2),
                                      Q_ARG(QString, "phantomRole")));
    QVERIFY(QMetaObject::invokeMethod(page, "channelChange", Q_ARG(int, 0),
                                      Q_ARG(QString, "gainRole"), Q_ARG(QVariant, 30)));

    QTRY_VERIFY(m_graph->model(1)->channel(2)->phantom());
    QTRY_COMPARE(m_graph->model(1)->channel(0)->gain(), 30);
    const QJsonArray onUnit = m_sim.send(1, "CMD_PSTS").value("channels").toArray();
    QCOMPARE(onUnit.at(2).toObject().value("48V").toString(), QStringLiteral("on"));
    QCOMPARE(onUnit.at(0).toObject().value("gain").toInt(), 30);
    // The unit's report, not the click, lights the strip's button.
    QQuickItem *strip = nullptr;
    QVERIFY(QMetaObject::invokeMethod(WindowItems::find(page, "channelList"), "itemAtIndex",
                                      Q_RETURN_ARG(QQuickItem *, strip), Q_ARG(int, 2)));
    QTRY_VERIFY(strip && strip->property("phantom").toBool());
}

void TestMainWindow::gainGroupsMoveChannelsOnBothUnits()
{
    for (const char *name : {"preamp1", "preamp2"}) {
        QQuickItem *page = item(window(), name);
        QVERIFY(QMetaObject::invokeMethod(page, "channelChange", Q_ARG(int, 4),
                                          Q_ARG(QString, "groupNameRole"), Q_ARG(QVariant, 1)));
        QVERIFY(QMetaObject::invokeMethod(page, "channelChange", Q_ARG(int, 4),
                                          Q_ARG(QString, "groupRole"), Q_ARG(QVariant, true)));
    }
    QVERIFY(QMetaObject::invokeMethod(item(window(), "preamp1"), "channelPropertyChange",
                                      Q_ARG(int, 4), Q_ARG(QString, "gainUpRole")));

    for (int unit : {0, 1})
        QTRY_COMPARE(m_sim.send(unit, "CMD_PSTS")
                         .value("channels")
                         .toArray()
                         .at(4)
                         .toObject()
                         .value("gain")
                         .toInt(),
                     1);
}

void TestMainWindow::recallDialogRestoresAStoredPreset()
{
    const QUrl preset = QUrl::fromLocalFile(m_home.path() + "/Show.cvp");
    QVERIFY(QMetaObject::invokeMethod(window(), "savePreset", Q_ARG(QVariant, preset)));
    QVERIFY(QFile::exists(preset.toLocalFile()));
    m_sim.send(1, "CMD_P48S=3,OFF");
    QTRY_VERIFY(!m_graph->model(1)->channel(2)->phantom());

    click(window(), item(window(), "recallButton"));
    QObject *dialog = m_graph->window()->findChild<QObject *>("recallDialog");
    QTRY_VERIFY(dialog->property("opened").toBool());
    QVERIFY(!m_graph->model(0)->isCommunicating()); // recall stops the units first
    saveShot(window(), "recall-dialog.png");
    QVERIFY(QMetaObject::invokeMethod(dialog, "fileChosen", Q_ARG(QVariant, preset),
                                      Q_ARG(QVariant, QUrl::fromLocalFile(m_home.path()))));
    dialog->setProperty("loadPreampSettings", true);
    QVERIFY(QMetaObject::invokeMethod(dialog, "load"));

    QTRY_COMPARE(window()->property("currentPreset").toString(), QStringLiteral("Show"));
    QTRY_COMPARE(m_sim.send(1, "CMD_PSTS")
                     .value("channels")
                     .toArray()
                     .at(2)
                     .toObject()
                     .value("48V")
                     .toString(),
                 QStringLiteral("on"));
    QVERIFY(m_graph->model(0)->isCommunicating()); // started again with the unit view shown
}

void TestMainWindow::closingAndRestartingKeepsTheUnitsInTheirSlots()
{
    QVERIFY(window()->close());
    m_graph = std::make_unique<ControllerGraph>();
    QCOMPARE(m_graph->manager()->activePreamps(), 3);
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(m_graph->model(slot)->ipAddr(), m_sim.address(slot));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
