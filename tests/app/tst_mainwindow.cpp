#include <QtTest>

#include <QJsonArray>
#include <QQuickItem>
#include <QQuickWindow>

#include "device/Commands.h"
#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "support/WindowItems.h"
#include "system/RecallPreview.h"
#include "system/SystemManager.h"

namespace {

void turnWheel(QQuickWindow *window, QQuickItem *over, int steps)
{
    const QPointF at = over->mapToScene(QPointF(over->width() / 2, over->height() / 2));
    QWheelEvent event(at, window->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120 * steps),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QGuiApplication::sendEvent(window, &event);
}

// What a unit holds of the settings a recall sends, as the unit itself reports it.
QJsonObject unitSettings(SimulatorProcess &sim, int unit)
{
    const QJsonObject status = sim.send(unit, "CMD_PSTS");
    QJsonObject adc = status.value("adc").toObject();
    adc.remove("clksts");
    QJsonArray channels;
    for (const QJsonValue &entry : status.value("channels").toArray()) {
        QJsonObject channel = entry.toObject();
        channel.remove("over");
        channels.append(channel);
    }
    return {{"name", status.value("sys")["name"]}, {"adc", adc}, {"channels", channels}};
}

// The commands a unit received since they were last taken, polls left out.
QStringList receivedCommands(SimulatorProcess &sim, int unit, bool take = true)
{
    return sim.send(unit, take ? "SIM_CLOG=RESET" : "SIM_CLOG")
        .value("sim")["commands"]
        .toVariant()
        .toStringList();
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

// Counts the commands other than the polls that these models hand to the transport.
class CommandCount
{
public:
    explicit CommandCount(const QList<PreampModel *> &models)
    {
        for (PreampModel *model : models)
            QObject::connect(model, &PreampModel::sendCommand, &m_context,
                             [this](const QString &, const QString &command) {
                                 if (command != Commands::status() && command != Commands::meters())
                                     m_commands << command;
                             });
    }
    QStringList commands() const { return m_commands; }

private:
    QObject m_context;
    QStringList m_commands;
};

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
    void tabbingThroughAddressesKeepsTheUnits();
    void connectAndPagingPollShownUnitsAtFullRate();
    void gainGroupsMoveChannelsOnBothUnits();
    void visitingAGainBeyondTheRangeMovesNoGroup();
    void recallDialogRestoresAStoredPreset();
    void previewApplySendsWhatLoadSendsAndUndoRestores();
    void cleanupTestCase() { m_graph.reset(); }

private:
    QQuickWindow *window() const { return qobject_cast<QQuickWindow *>(m_graph->window()); }
    QQuickItem *item(const char *name) const { return WindowItems::find(window(), name); }
    QQuickItem *strip(const char *page, int row) const
    {
        return WindowItems::listItem(WindowItems::find(item(page), "channelList"), row);
    }

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
    QVERIFY(!item("undoButton")->isEnabled()); // nothing recalled yet
    QVERIFY(WindowItems::saveShot(window(), "setup-view.png"));

    // A data change of any slot, slot 0 included, refreshes the row that shows its unit.
    PreampModel *first = m_graph->model(0);
    first->statusUpdated(QJsonObject{{"sys", QJsonObject{{"id", 23}, {"name", "Stage-L"}}}},
                         first->ipAddr());
    QCOMPARE(WindowItems::setupField(window(), 2, "name").toString(), QStringLiteral("Stage-L"));
}

// The units are listed as host:port. Visiting every address field, from the first row on with
// Tab, writes no address back and sends no unit a command: each row keeps its address and its
// lit lamp, each unit its address and its link, and the saved state still lists every unit.
void TestMainWindow::tabbingThroughAddressesKeepsTheUnits()
{
    auto *list = item("preampPane")->property("managementView").value<QQuickItem *>();
    QList<QQuickItem *> fields;
    QStringList shown;
    for (int row = 0; row < 3; ++row) {
        QQuickItem *rowItem = WindowItems::listItem(list, row);
        QVERIFY(rowItem);
        fields << WindowItems::find(rowItem, "addressField");
        shown << fields.last()->property("text").toString();
        QVERIFY(WindowItems::setupField(window(), row, "preampActive").toBool());
    }
    QCOMPARE(shown, (QStringList{m_sim.address(0), m_sim.address(1), m_sim.address(2)}));
    const QList<PreampModel *> models{m_graph->model(0), m_graph->model(1), m_graph->model(2)};
    CommandCount sent(models);

    QVERIFY(WindowItems::click(window(), fields.at(0)));
    QSet<QQuickItem *> visited;
    for (int tab = 0;
         tab < 30 && (visited.size() < 3 || fields.contains(window()->activeFocusItem())); ++tab) {
        if (fields.contains(window()->activeFocusItem()))
            visited << window()->activeFocusItem();
        QTest::keyClick(window(), Qt::Key_Tab);
    }
    QCOMPARE(visited.size(), 3);
    QVERIFY(!fields.contains(window()->activeFocusItem()));

    QCOMPARE(sent.commands(), QStringList());
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(WindowItems::setupField(window(), row, "ipAddr").toString(), m_sim.address(row));
        QCOMPARE(fields.at(row)->property("text").toString(), m_sim.address(row));
        QVERIFY(WindowItems::setupField(window(), row, "preampActive").toBool());
    }
    QStringList addresses;
    for (PreampModel *model : models) {
        QCOMPARE(model->online(), int(PreampModel::Online));
        addresses << model->ipAddr();
    }
    QCOMPARE(addresses, (QStringList{m_sim.address(2), m_sim.address(1), m_sim.address(0)}));
    QVERIFY(QMetaObject::invokeMethod(window(), "saveState", Q_ARG(QVariant, m_home.path())));
    QFile state(m_home.stateFile());
    QVERIFY(state.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(state.readAll()).split('\n').mid(0, 4),
             QStringList{"3"} + addresses);
}

void TestMainWindow::connectAndPagingPollShownUnitsAtFullRate()
{
    QSignalSpy counts(window(), SIGNAL(numPreampsChanged(QVariant)));
    QVERIFY(WindowItems::click(window(), item("connectButton")));
    QTRY_COMPARE(m_graph->manager()->activePreamps(), 3);
    // Counted up from 0 as the slots fill.
    QCOMPARE(counts.count(), 4);
    for (int count = 0; count < 4; ++count)
        QCOMPARE(counts.at(count).at(0).toInt(), count);
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

// Two channels of the first unit grouped, the upper one pushed beyond the top of the range:
// the unit holds 68 for it and its field shows 69. Clicking into that field and out of it again,
// and into the scribble strip and out with Escape, sends nothing; both gains stay on the unit.
void TestMainWindow::visitingAGainBeyondTheRangeMovesNoGroup()
{
    m_sim.send(0, "CMD_PGNS=6,60");
    m_sim.send(0, "CMD_PGNS=7,68");
    PreampModel *unit = m_graph->model(0);
    QTRY_VERIFY(unit->channel(5)->reportedGain() == 60 && unit->channel(6)->reportedGain() == 68);
    for (int row : {5, 6})
        QVERIFY(change(item("preamp1"), row, "groupNameRole", 0) &&
                change(item("preamp1"), row, "groupRole", true));
    for (int step = 1; step <= 2; ++step) {
        QVERIFY(change(item("preamp1"), 5, "gainUpRole"));
        QTRY_COMPARE(onUnit(m_sim, 0, 5, "gain").toInt(), 60 + step);
    }
    QCOMPARE(unit->channel(6)->gain(), 70);
    QQuickItem *groupedStrip = strip("preamp1", 6);
    QVERIFY(groupedStrip);
    QQuickItem *gainField = WindowItems::find(groupedStrip, "gainField");
    QTRY_COMPARE(gainField->property("text").toString(), QStringLiteral("69"));

    CommandCount sent({m_graph->model(0), m_graph->model(1)});
    QVERIFY(WindowItems::click(window(), gainField));
    QVERIFY(gainField->hasActiveFocus());
    QVERIFY(WindowItems::click(window(), WindowItems::find(groupedStrip, "scribbleField")));
    QVERIFY(!gainField->hasActiveFocus());
    QTest::keyClick(window(), Qt::Key_Escape);
    QCOMPARE(sent.commands(), QStringList());
    // Commands reach a unit in the order given: once a later one has arrived, so would have any
    // sent by the visit.
    QVERIFY(change(item("preamp1"), 0, "nameRole", "Probe"));
    QTRY_COMPARE(onUnit(m_sim, 0, 0, "name").toString(), QStringLiteral("Probe"));
    QCOMPARE(onUnit(m_sim, 0, 5, "gain").toInt(), 62);
    QCOMPARE(onUnit(m_sim, 0, 6, "gain").toInt(), 68);
    QCOMPARE(unit->channel(6)->gain(), 70);
}

void TestMainWindow::recallDialogRestoresAStoredPreset()
{
    const QUrl preset = QUrl::fromLocalFile(m_home.path() + "/Show.cvp");
    // Phantom power asked for on the page; the unit's report, not the click, lights the strip.
    QVERIFY(change(item("preamp2"), 2, "phantomRole"));
    QQuickItem *phantomStrip = strip("preamp2", 2);
    QVERIFY(phantomStrip);
    QTRY_VERIFY(phantomStrip->property("phantom").toBool());
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

// A preset that changes a gain and a name, a sample rate, and switches phantom power onto a
// ribbon channel: recalled with "Load", undone, previewed, left with "Back", then recalled with
// the preview's "Apply", which must send each unit exactly what "Load" sent, and undone again.
void TestMainWindow::previewApplySendsWhatLoadSendsAndUndoRestores()
{
    // Stored from the models changed by hand; the units' next reports change them back.
    const QUrl preset = QUrl::fromLocalFile(m_home.path() + "/Stage B.cvp");
    Channel *kick = m_graph->model(0)->channel(0);
    Channel *ribbon = m_graph->model(1)->channel(3);
    const QString kickName = kick->name(); // as the unit reports it; earlier cases rename it
    kick->setGain(40);
    kick->setName("Kick");
    ribbon->setRibbon(true);
    ribbon->setPhantom(true);
    m_graph->model(2)->setSampleRate(4);
    QVERIFY(QMetaObject::invokeMethod(window(), "savePreset", Q_ARG(QVariant, preset)));
    QTRY_VERIFY(kick->name() == kickName && !ribbon->ribbon() &&
                m_graph->model(2)->sampleRate() == 2);
    // A unit's commands, taken once the full syncs under way have all arrived: each ends with
    // the clock source.
    QList<QStringList> taken{{}, {}, {}};
    const auto takeSyncs = [&] {
        for (int unit = 0; unit < 3; ++unit) {
            QTRY_VERIFY(receivedCommands(m_sim, unit, false)
                            .join('\n')
                            .contains(QRegularExpression("CMD_ADCK=\\d+$")));
            taken[unit] = receivedCommands(m_sim, unit);
        }
    };
    takeSyncs();
    QList<QJsonObject> before;
    for (int unit = 0; unit < 3; ++unit)
        before << unitSettings(m_sim, unit);
    QObject *dialog = m_graph->window()->findChild<QObject *>("recallDialog");
    QObject *preview = dialog->findChild<QObject *>("recallPreview");
    // A popup's rows are laid out when the window draws it: an operator sees it before clicking.
    const auto opens = [&](QObject *popup, const char *button) {
        QVERIFY(WindowItems::click(window(), item(button)));
        QTRY_VERIFY(popup->property("opened").toBool());
        QSignalSpy drawn(window(), &QQuickWindow::frameSwapped);
        window()->update();
        QVERIFY(drawn.wait());
    };
    const auto undoRestores = [&] {
        QVERIFY(item("undoButton")->isEnabled());
        QCOMPARE(item("undoButton")->property("text").toString(), QString("undo Stage B"));
        QVERIFY(WindowItems::click(window(), item("undoButton")));
        for (int unit = 0; unit < 3; ++unit)
            QTRY_COMPARE(unitSettings(m_sim, unit), before.at(unit));
        takeSyncs();
    };

    // "Load", as the dialog always did; then undone.
    opens(dialog, "recallButton");
    QVERIFY(QMetaObject::invokeMethod(dialog, "fileChosen", Q_ARG(QVariant, preset),
                                      Q_ARG(QVariant, QUrl::fromLocalFile(m_home.path()))));
    QVERIFY(dialog->property("loadPreampSettings").toBool()); // kept from the last recall
    QVERIFY(WindowItems::click(window(), item("loadButton")));
    QTRY_COMPARE(window()->property("currentPreset").toString(), QStringLiteral("Stage B"));
    takeSyncs();
    const QList<QStringList> loaded = taken;
    for (const QStringList &commands : loaded)
        QCOMPARE(commands.size(), 45);
    QCOMPARE(onUnit(m_sim, 1, 3, "48V").toString(), QStringLiteral("on"));
    undoRestores();

    // The preview lists the changes and marks the ribbon channel; "Back" sends nothing.
    opens(dialog, "recallButton");
    opens(preview, "previewButton");
    RecallPreview *previewer = m_graph->manager()->recallPreview();
    QCOMPARE(previewer->summary(), QStringLiteral("3 units, 5 changes, 0 units offline"));
    QStringList shown;
    for (const QVariant &row : previewer->rows()) {
        const QVariantMap line = row.toMap();
        shown << QStringLiteral("%1 %2>%3%4")
                     .arg(line["setting"].toString(), line["before"].toString(),
                          line["after"].toString(), line["warning"].toBool() ? "!" : "");
    }
    for (const QString &change :
         {QStringLiteral("Gain -6>41"), QStringLiteral("Name \"%1\">\"Kick\"").arg(kickName),
          QStringLiteral("Ribbon off>on"), QStringLiteral("48V off>on!"),
          QStringLiteral("Sample rate 48 kHz>96 kHz")})
        QVERIFY2(shown.contains(change), qPrintable(shown.join(" | ")));
    QVERIFY(!item("applyButton")->isEnabled());
    QVERIFY(WindowItems::saveShot(window(), "recall-preview.png"));
    QList<QSignalSpy *> issued;
    for (int slot = 0; slot < 3; ++slot)
        issued << new QSignalSpy(m_graph->model(slot), &PreampModel::sendCommand);
    QVERIFY(WindowItems::click(window(), item("previewBackButton")));
    QTRY_VERIFY(!preview->property("visible").toBool());
    QVERIFY(dialog->property("opened").toBool());
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(issued.at(slot)->count(), 0);
        QVERIFY(receivedCommands(m_sim, slot, false).isEmpty());
    }
    qDeleteAll(issued);

    // "Apply", once the ribbon channel is confirmed: what "Load" sent, in the same order.
    opens(preview, "previewButton");
    QVERIFY(WindowItems::click(window(), item("ribbonConfirmation")));
    QVERIFY(item("applyButton")->isEnabled());
    QVERIFY(WindowItems::click(window(), item("applyButton")));
    QTRY_VERIFY(!dialog->property("visible").toBool());
    takeSyncs();
    QCOMPARE(taken, loaded);
    undoRestores();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
