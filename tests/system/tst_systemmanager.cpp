#include <QtTest>

#include <QQmlApplicationEngine>
#include <QQmlContext>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/FileSizeLimit.h"
#include "support/IsolatedHome.h"
#include "support/LogCapture.h"
#include "support/SimulatorProcess.h"
#include "system/SmallFile.h"
#include "system/SystemManager.h"

namespace {

void writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Removes a file, a named pipe, a link or an empty folder.
void removeEntry(const QString &path)
{
    QFile::remove(path);
    QDir().rmdir(path);
}

// Tells whether anyone opened a named pipe for reading, and lets such a reader go instead of
// leaving it, and the test, waiting for a writer: opening the writing end without blocking
// succeeds only while the pipe is open for reading, so the answer does not depend on timing.
class PipeWatch
{
public:
    explicit PipeWatch(const QString &path)
        : m_thread([this, name = QFile::encodeName(path)] {
              while (!m_stop) {
                  const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
                  if (fd >= 0) {
                      m_opened = true;
                      ::close(fd);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          })
    {}
    ~PipeWatch()
    {
        m_stop = true;
        m_thread.join();
    }
    bool opened() const { return m_opened; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_opened{false};
    std::thread m_thread;
};

void bringOnline(PreampModel *model, const QString &address)
{
    model->setIP(address);
    model->setData(model->index(0), int(PreampModel::Online), PreampModel::OnlineRole);
}

} // namespace

// The saved state across restarts: each restart builds a fresh object graph the way the program
// does, which restores the state file during start-up.
class TestSystemManager : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeEntry(m_home.stateFile()); }

    void firstStartFallsBackToTheHomeFolder();
    void restartBringsBackTheUnitsThatWereOnline();
    void closingWithLiveUnitsBringsThemBackInTheirSlots();
    void restoresOddStateFiles_data();
    void restoresOddStateFiles();
    void refusesWhatIsNoPresetOrState_data();
    void refusesWhatIsNoPresetOrState();
    void failedWriteKeepsThePreviousStateFile();
    void countWritesNotifyOnlyThroughTheAccessor();
    void enablesAGroupOnActiveUnitsOnly();
    void resetsActiveUnitsToDefaults();

private:
    IsolatedHome m_home;
};

void TestSystemManager::firstStartFallsBackToTheHomeFolder()
{
    LogCapture log;
    ControllerGraph graph;
    QCOMPARE(graph.manager()->activePreamps(), 0);
    QCOMPARE(graph.manager()->presetDir(), QUrl::fromLocalFile(m_home.path()));
    QVERIFY(log.lines().filter("Restore State: Cannot open file: ").size() == 1);
}

void TestSystemManager::restartBringsBackTheUnitsThatWereOnline()
{
    {
        ControllerGraph graph;
        bringOnline(graph.model(0), "192.168.1.20");
        graph.model(1)->setIP("192.168.1.21"); // offline: left out
        bringOnline(graph.model(2), "192.168.1.22");
        bringOnline(graph.model(3), "0.0.0.0"); // no unit: never written
        graph.manager()->saveState(QUrl("file:///srv/presets"));
        QCOMPARE(graph.engine()->rootContext()->contextProperty("presetFolder").toUrl(),
                 QUrl("file:///srv/presets"));
    }
    QCOMPARE(readText(m_home.stateFile()),
             QByteArray("2\n192.168.1.20\n192.168.1.22\nfile:///srv/presets\n"));

    ControllerGraph restarted;
    SystemManager *manager = restarted.manager();
    QCOMPARE(manager->activePreamps(), 2);
    QCOMPARE(restarted.model(0)->ipAddr(), QStringLiteral("192.168.1.20"));
    QCOMPARE(restarted.model(1)->ipAddr(), QStringLiteral("192.168.1.22"));
    QCOMPARE(restarted.model(2)->ipAddr(), QStringLiteral("0.0.0.0"));
    QCOMPARE(manager->presetDir(), QUrl("file:///srv/presets"));
}

void TestSystemManager::closingWithLiveUnitsBringsThemBackInTheirSlots()
{
    SimulatorProcess sim;
    QVERIFY2(sim.start({"127.0.25.1:0", "127.0.25.2:0"}), qPrintable(sim.errorString()));
    writeText(
        m_home.stateFile(),
        QStringLiteral("2\n%1\n%2\nfile:///p\n").arg(sim.address(0), sim.address(1)).toUtf8());
    {
        ControllerGraph graph;
        for (int slot : {0, 1}) {
            graph.model(slot)->init();
            QTRY_COMPARE(graph.model(slot)->online(), int(PreampModel::Online));
        }
        QVERIFY(QMetaObject::invokeMethod(graph.window(), "close"));
    }
    ControllerGraph restarted;
    QCOMPARE(restarted.manager()->activePreamps(), 2);
    QCOMPARE(restarted.model(0)->ipAddr(), sim.address(0));
    QCOMPARE(restarted.model(1)->ipAddr(), sim.address(1));
}

void TestSystemManager::restoresOddStateFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("active");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("folder");

    QTest::newRow("count not a number")
        << QByteArray("two\nfile:///a\n") << 0 << QStringList() << "file:///a";
    QTest::newRow("short file") << QByteArray("3\n10.0.0.1\n") << 3
                                << QStringList{"10.0.0.1", "", ""} << "";
    QTest::newRow("count above twelve")
        << QByteArray("40\n") << 12 << QStringList(QVector<QString>(12).toList()) << "";
    QTest::newRow("negative count")
        << QByteArray("-3\nfile:///b\n") << 0 << QStringList() << "file:///b";
    QTest::newRow("empty file") << QByteArray() << 0 << QStringList() << "";
}

void TestSystemManager::restoresOddStateFiles()
{
    QFETCH(QByteArray, content);
    writeText(m_home.stateFile(), content);
    ControllerGraph graph;
    SystemManager *manager = graph.manager();
    QSignalSpy restored(manager, &SystemManager::restored);

    manager->restoreState();

    QCOMPARE(restored.count(), 1);
    QTEST(manager->activePreamps(), "active");
    QFETCH(QStringList, addresses);
    for (int i = 0; i < addresses.size(); ++i)
        QCOMPARE(graph.model(i)->ipAddr(), addresses.at(i));
    QFETCH(QString, folder);
    if (folder.isEmpty()) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Prest Dir Invalid or Empty"));
        QCOMPARE(manager->presetDir(), QUrl(m_home.path())); // the read accessor's fallback
    } else {
        QCOMPARE(manager->presetDir(), QUrl(folder));
    }
}

void TestSystemManager::refusesWhatIsNoPresetOrState_data()
{
    QTest::addColumn<bool>("state");   // the saved state, else a preset
    QTest::addColumn<QString>("kind"); // "pipe", "folder", a device, or "file" with the content
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("size"); // the content is padded with empty lines to this size
    QTest::addColumn<QString>("refusal");

    const qint64 limit = SmallFile::largestSize;
    for (const bool state : {false, true}) {
        const char *reader = state ? "state" : "preset";
        const QByteArray good =
            state ? QByteArray("1\n10.0.0.1\nfile:///a\n")
                  : QByteArray(R"({"activePreamps":1,"preamps":[{"ipAddr":"10.0.0.1"}]})");
        QTest::addRow("%s: named pipe", reader)
            << state << "pipe" << QByteArray() << qint64(0) << "Not a regular file";
        QTest::addRow("%s: folder", reader)
            << state << "folder" << QByteArray() << qint64(0) << "Not a regular file";
        QTest::addRow("%s: endless device", reader)
            << state << "/dev/zero" << QByteArray() << qint64(0) << "Not a regular file";
        QTest::addRow("%s: at the size limit", reader) << state << "file" << good << limit << "";
        QTest::addRow("%s: a byte over the size limit", reader)
            << state << "file" << good << limit + 1 << "File too large";
    }
    const int line = SystemManager::longestStateLine;
    QTest::newRow("state: longest line")
        << true << "file"
        << "1\n10.0.0.1\nfile:///" + QByteArray(line - 8, 'a') + '\n'
        << qint64(0) << "";
    QTest::newRow("state: line one longer")
        << true << "file"
        << "1\n10.0.0.1\nfile:///" + QByteArray(line - 7, 'a') + '\n'
        << qint64(0) << "Line too long";
}

void TestSystemManager::refusesWhatIsNoPresetOrState()
{
    QFETCH(bool, state);
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(qint64, size);
    QFETCH(QString, refusal);
    ControllerGraph graph; // restores before the state file is there
    SystemManager *manager = graph.manager();
    manager->setActivePreamps(2);
    graph.model(0)->setIP("10.9.9.9");
    const QString path = state ? m_home.stateFile() : m_home.path() + "/odd.cvp";
    removeEntry(path);
    QDir().mkpath(QFileInfo(path).path());
    std::unique_ptr<PipeWatch> watch;
    if (kind == "pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        watch = std::make_unique<PipeWatch>(path);
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind.startsWith("/dev/")) {
        QVERIFY(QFile::link(kind, path));
    } else {
        writeText(path, content + QByteArray(qMax(qint64(0), size - content.size()), '\n'));
    }
    QSignalSpy actives(manager, &SystemManager::activesChanged);
    QSignalSpy done(manager, state ? &SystemManager::restored : &SystemManager::presetLoaded);
    LogCapture log;

    if (state)
        manager->restoreState();
    else
        manager->loadPreset(QUrl::fromLocalFile(path), 1);

    QVERIFY2(!watch || !watch->opened(), "the named pipe was opened: the window would hang");
    if (refusal.isEmpty()) {
        QCOMPARE(done.count(), 1);
        QCOMPARE(manager->activePreamps(), 1);
        QCOMPARE(graph.model(0)->ipAddr(), QStringLiteral("10.0.0.1"));
        return;
    }
    QCOMPARE(done.count(), state ? 0 : 1); // a recall is answered even when it fails
    QCOMPARE(actives.count(), 0);
    QCOMPARE(manager->activePreamps(), 2);
    QCOMPARE(graph.model(0)->ipAddr(), QStringLiteral("10.9.9.9"));
    const QString prefix = state ? "Restore State: Cannot open file:  " : "";
    QCOMPARE(log.count(prefix + '"' + refusal + '"'), 1);
}

void TestSystemManager::failedWriteKeepsThePreviousStateFile()
{
    ControllerGraph graph;
    bringOnline(graph.model(0), "192.168.1.20");
    graph.manager()->setActivePreamps(1);
    graph.manager()->saveState(QUrl("file:///good"));
    const QByteArray good = readText(m_home.stateFile());
    QVERIFY(!good.isEmpty());

    bringOnline(graph.model(1), "192.168.1.21");
    LogCapture log;
    {
        FileSizeLimit fullDisk(8);
        graph.manager()->saveState(QUrl("file:///a/much/longer/folder/than/before"));
    }

    QCOMPARE(readText(m_home.stateFile()), good);
    QCOMPARE(log.lines().filter("Save State: Cannot write file: ").size(), 1);
    const QStringList leftovers =
        QDir(m_home.dataDirectory()).entryList({SystemManager::stateFileName + '*'}, QDir::Files);
    QCOMPARE(leftovers, QStringList{SystemManager::stateFileName});
}

void TestSystemManager::countWritesNotifyOnlyThroughTheAccessor()
{
    ControllerGraph graph;
    SystemManager *manager = graph.manager();
    QSignalSpy actives(manager, &SystemManager::activesChanged);

    manager->activePreampsChanged(3);
    QCOMPARE(manager->activePreamps(), 3);
    QCOMPARE(actives.count(), 0);

    manager->setActivePreamps(3);
    manager->setActivePreamps(3);
    QCOMPARE(actives.count(), 2);
    QCOMPARE(actives.at(0).at(0).value<QVariant>().toInt(), 3);
}

void TestSystemManager::enablesAGroupOnActiveUnitsOnly()
{
    ControllerGraph graph;
    for (int slot : {0, 1, 2}) {
        bringOnline(graph.model(slot), QStringLiteral("192.168.1.%1").arg(20 + slot));
        graph.model(slot)->channel(4)->setGroupName(1);
        graph.model(slot)->channel(5)->setGroupName(2);
    }
    graph.manager()->setActivePreamps(2);
    QSignalSpy sent(graph.model(0), &PreampModel::sendCommand);

    graph.manager()->enableGroup(1, true);

    for (int slot : {0, 1}) {
        QVERIFY(graph.model(slot)->channel(4)->group());
        QVERIFY(!graph.model(slot)->channel(5)->group());
    }
    QVERIFY(!graph.model(2)->channel(4)->group()); // beyond the active count
    QCOMPARE(sent.count(), 0);
}

void TestSystemManager::resetsActiveUnitsToDefaults()
{
    ControllerGraph graph;
    QList<QSignalSpy *> spies;
    for (int slot = 0; slot < 3; ++slot)
        spies << new QSignalSpy(graph.model(slot), &PreampModel::sendCommand);

    graph.manager()->toDefaults();
    QCOMPARE(spies.at(0)->count(), 0);

    graph.manager()->setActivePreamps(2);
    graph.manager()->toDefaults();
    QCOMPARE(spies.at(0)->count(), 1);
    QCOMPARE(spies.at(0)->at(0).at(1).toString(), QStringLiteral("CMD_FREC=0"));
    QCOMPARE(spies.at(1)->count(), 1);
    QCOMPARE(spies.at(2)->count(), 0);
    qDeleteAll(spies);
}

QTEST_MAIN(TestSystemManager)
#include "tst_systemmanager.moc"
