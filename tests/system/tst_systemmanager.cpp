#include <QtTest>

#include <QQmlApplicationEngine>
#include <QQmlContext>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/FileSizeLimit.h"
#include "support/IsolatedHome.h"
#include "support/LogCapture.h"
#include "system/RecallPreview.h"
#include "system/SmallFile.h"
#include "system/SystemManager.h"

namespace {

QByteArray readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void bringOnline(PreampModel *model, const QString &address)
{
    model->setIP(address);
    model->setData(model->index(0), int(PreampModel::Online), PreampModel::OnlineRole);
}

} // namespace

// The saved state and the files read at start-up and on a recall, in the program's object graph,
// which restores the state file while it is built.
class TestSystemManager : public QObject
{
    Q_OBJECT

private:
    IsolatedHome m_home;

private slots:
    void savesTheUnitsInUseAndKeepsTheLastGoodState()
    {
        const QByteArray saved("2\n192.168.1.20\n192.168.1.22\nfile:///srv/presets\n");
        ControllerGraph graph;
        bringOnline(graph.model(0), "192.168.1.20");
        graph.model(1)->setIP("192.168.1.21"); // offline: left out
        bringOnline(graph.model(2), "192.168.1.22");
        bringOnline(graph.model(3), "0.0.0.0"); // no unit: never written
        graph.manager()->saveState(QUrl("file:///srv/presets"));
        QCOMPARE(graph.engine()->rootContext()->contextProperty("presetFolder").toUrl(),
                 QUrl("file:///srv/presets"));
        QCOMPARE(readText(m_home.stateFile()), saved);

        // A write that fails on a full disk leaves the previous file whole and nothing beside it.
        bringOnline(graph.model(1), "192.168.1.21");
        LogCapture log;
        {
            FileSizeLimit fullDisk(8);
            graph.manager()->saveState(QUrl("file:///a/much/longer/folder/than/before"));
        }
        QCOMPARE(readText(m_home.stateFile()), saved);
        QCOMPARE(log.lines().filter("Save State: Cannot write file: ").size(), 1);
        const QStringList files = QDir(m_home.dataDirectory())
                                      .entryList({SystemManager::stateFileName + '*'}, QDir::Files);
        QCOMPARE(files, QStringList{SystemManager::stateFileName});
    }

    void readsStateAndPresetFiles_data()
    {
        QTest::addColumn<bool>("state");   // the saved state, else a preset recalled for addresses
        QTest::addColumn<QString>("kind"); // "none", "pipe", "folder", a device, or "file"
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("refusal"); // logged; empty when the file is taken
        QTest::addColumn<int>("active");
        QTest::addColumn<QStringList>("addresses"); // of the first slots
        QTest::addColumn<QUrl>("folder");           // the preset folder after reading a state
        const QUrl home(m_home.path());             // the read accessor's fallback
        const auto read = [&home](bool state, const char *tag, const QByteArray &content,
                                  int active, const QStringList &addresses,
                                  const QString &folder = {}) {
            QTest::addRow("%s: %s", state ? "state" : "preset", tag)
                << state << "file" << content << QString() << active << addresses
                << (folder.isEmpty() ? home : QUrl(folder));
        };
        // Refused: nothing changes, and a refused state falls back to the home folder.
        const auto refused = [this](bool state, const char *tag, const QString &kind,
                                    const QString &reason, const QByteArray &content = {}) {
            QTest::addRow("%s: %s", state ? "state" : "preset", tag)
                << state << kind << content << reason << 2 << QStringList{"10.9.9.9"}
                << QUrl::fromLocalFile(m_home.path());
        };
        const QStringList twelveUnset = QVector<QString>(12).toList();
        for (const bool state : {false, true}) {
            const QByteArray good =
                state ? QByteArray("1\n10.0.0.1\nfile:///a\n")
                      : QByteArray(R"({"activePreamps":1,"preamps":[{"ipAddr":"10.0.0.1"}]})");
            // Padded with empty lines to the size.
            const QByteArray largest =
                good + QByteArray(int(SmallFile::largestSize) - good.size(), '\n');
            read(state, "at the size limit", largest, 1, {"10.0.0.1"}, "file:///a");
            refused(state, "a byte over the size limit", "file", "File too large", largest + '\n');
            refused(state, "no file", "none", "No such file or directory");
            refused(state, "named pipe", "pipe", "Not a regular file");
            refused(state, "folder", "folder", "Not a regular file");
            refused(state, "endless device", "/dev/zero", "Not a regular file");
        }
        read(true, "count not a number", "two\nfile:///a\n", 0, {}, "file:///a");
        read(true, "short file", "3\n10.0.0.1\n", 3, {"10.0.0.1", "", ""});
        read(true, "count above twelve", "40\n", 12, twelveUnset);
        read(true, "negative count", "-3\nfile:///b\n", 0, {}, "file:///b");
        read(true, "empty file", "", 0, {});
        const QByteArray longest(SystemManager::longestStateLine - 8, 'a');
        read(true, "longest line", "1\n10.0.0.1\nfile:///" + longest + '\n', 1, {"10.0.0.1"},
             "file:///" + longest);
        refused(true, "line one longer", "file", "Line too long",
                "1\n10.0.0.1\nfile:///" + longest + "a\n");
        read(false, "too few units", R"({"activePreamps":3,"preamps":[{"ipAddr":"10.1.1.1"},{}]})",
             3, {"10.1.1.1", "", ""});
        read(false, "wrong types", R"({"activePreamps":"3","preamps":{"ipAddr":7},"groups":[1]})",
             0, {});
        read(false, "more than twelve", R"({"activePreamps":99})", 12, twelveUnset);
        read(false, "no active count", R"({"presetName":"x.cvp"})", 0, {});
        refused(false, "not JSON", "file", "Json Empty", "{broken");
    }

    void readsStateAndPresetFiles()
    {
        QFETCH(bool, state);
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, refusal);
        QFETCH(QStringList, addresses);
        QFETCH(QUrl, folder);
        const QString path = state ? m_home.stateFile() : m_home.path() + "/odd.cvp";
        QFile::remove(path);
        QDir().rmdir(path);
        ControllerGraph graph; // restores before the state file is there
        SystemManager *manager = graph.manager();
        manager->setActivePreamps(2);
        graph.model(0)->setIP("10.9.9.9");
        QDir().mkpath(QFileInfo(path).path());
        // Opening a pipe's writing end without blocking succeeds only while it is open for reading,
        // and lets such a reader go instead of leaving it, and the test, waiting for a writer.
        std::atomic<bool> stop{false}, pipeOpened{false};
        std::thread watch;
        const auto joinWatch = qScopeGuard([&] {
            stop = true;
            if (watch.joinable())
                watch.join();
        });
        if (kind == "pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            watch = std::thread([&stop, &pipeOpened, name = QFile::encodeName(path)] {
                for (; !stop; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
                    if (::close(::open(name.constData(), O_WRONLY | O_NONBLOCK)) == 0)
                        pipeOpened = true;
            });
        } else if (kind == "folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind.startsWith("/dev/")) {
            QVERIFY(QFile::link(kind, path));
        } else if (QFile file(path); kind == "file") {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QSignalSpy actives(manager, &SystemManager::activesChanged);
        QSignalSpy done(manager, state ? &SystemManager::restored : &SystemManager::presetLoaded);
        LogCapture log;
        if (state && folder == QUrl(m_home.path()))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Prest Dir Invalid or Empty"));

        if (state) {
            manager->restoreState();
        } else {
            // The recall preview refuses exactly the files a recall refuses, and says why.
            RecallPreview *preview = manager->recallPreview();
            preview->build(QUrl::fromLocalFile(path), 1);
            QCOMPARE(preview->refused(), !refusal.isEmpty());
            const QString words = refusal == "Json Empty"       ? "not JSON"
                                  : refusal == "File too large" ? "larger than 4 MiB"
                                                                : refusal;
            QVERIFY(preview->problems().join(' ').contains(words));
            manager->loadPreset(QUrl::fromLocalFile(path), 1);
        }

        QVERIFY2(!pipeOpened, "the named pipe was opened: the window would hang");
        QCOMPARE(done.count(), refusal.isEmpty() || !state ? 1 : 0); // a recall is always answered
        QCOMPARE(actives.count(), refusal.isEmpty() ? 1 : 0);
        QTEST(manager->activePreamps(), "active");
        for (int i = 0; i < addresses.size(); ++i)
            QCOMPARE(graph.model(i)->ipAddr(), addresses.at(i));
        if (!refusal.isEmpty())
            QCOMPARE(log.lines().filter(refusal).size(), 1);
        if (state)
            QCOMPARE(manager->presetDir(), folder);
    }

    // The window's own count changes the manager's without an echo, which would start a loop with
    // the window's handler; the count set from outside is always announced.
    void actsOnTheActiveUnitsOnly()
    {
        ControllerGraph graph;
        SystemManager *manager = graph.manager();
        QStringList sent; // "address command"
        for (int slot : {0, 1, 2}) {
            bringOnline(graph.model(slot), QStringLiteral("192.168.1.%1").arg(20 + slot));
            graph.model(slot)->channel(4)->setGroupName(1);
            graph.model(slot)->channel(5)->setGroupName(2);
            connect(
                graph.model(slot), &PreampModel::sendCommand,
                [&sent](const QString &ip, const QString &command) { sent << ip + ' ' + command; });
        }
        QSignalSpy actives(manager, &SystemManager::activesChanged);
        manager->activePreampsChanged(2);
        QCOMPARE(manager->activePreamps(), 2);
        QCOMPARE(actives.count(), 0);
        manager->setActivePreamps(2);
        QCOMPARE(actives.count(), 1);

        manager->enableGroup(1, true);
        manager->toDefaults();

        for (int slot : {0, 1, 2}) {
            QCOMPARE(graph.model(slot)->channel(4)->group(), slot < 2);
            QVERIFY(!graph.model(slot)->channel(5)->group());
        }
        QCOMPARE(sent, QStringList({"192.168.1.20 CMD_FREC=0", "192.168.1.21 CMD_FREC=0"}));
    }
};

QTEST_MAIN(TestSystemManager)
#include "tst_systemmanager.moc"
