#include <QtTest>

#include <QProcess>
#include <QQmlApplicationEngine>
#include <QRandomGenerator>

#include <csignal>
#include <thread>

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/IsolatedHome.h"
#include "system/PresetLoader.h"
#include "system/SystemManager.h"

namespace {

constexpr int kills = 60;
// Half the kills land anywhere in the first stores after the driver has started storing.
constexpr int longestDelayUs = 40000;
// Writing a file is a small part of the loop's time, so the other half land shortly after a
// store has opened its temporary file: while it writes, commits or has just committed.
constexpr int longestDelayInStoreUs = 400;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files of a folder other than the known ones.
QStringList strayFiles(const QString &folder, const QStringList &known)
{
    QStringList stray = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : known)
        stray.removeAll(name);
    return stray;
}

// Whether the process holds a file of the folder open: a store writing its temporary file.
bool writesInto(qint64 pid, const QByteArray &folder)
{
    const QByteArray fds = "/proc/" + QByteArray::number(pid) + "/fd";
    DIR *dir = ::opendir(fds.constData());
    if (!dir)
        return false;
    bool found = false;
    char target[4096];
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray link = fds + '/' + entry->d_name;
        const ssize_t length = ::readlink(link.constData(), target, sizeof target);
        if (length > folder.size() && QByteArray(target, int(length)).startsWith(folder)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Waits, busily, until the process writes into the folder; a store is short.
bool waitForStore(qint64 pid, const QByteArray &folder)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        if (writesInto(pid, folder))
            return true;
    }
    return false;
}

} // namespace

// Kills the program's storing code (SIGKILL) at random moments while it replaces a preset and
// the saved state over and over: afterwards each file holds one complete version or the other,
// and what an interrupted store leaves behind is never taken for the file.
class TestCrashSafeFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedStoresLeaveAnOldOrNewFile();

private:
    bool runDriver(QProcess &driver, const QStringList &arguments);

    IsolatedHome m_home;
    QString m_preset;
    QString m_state;
    QByteArray m_presetVersions[2];
    QByteArray m_stateVersions[2];
};

bool TestCrashSafeFiles::runDriver(QProcess &driver, const QStringList &arguments)
{
    driver.start(QStringLiteral(OCTO_STORE_LOOP_PATH), QStringList{m_preset} + arguments);
    while (driver.waitForReadyRead(5000) || driver.canReadLine()) {
        while (driver.canReadLine()) {
            const QString line = QString::fromUtf8(driver.readLine()).trimmed();
            if (line.startsWith(QLatin1String("state ")))
                m_state = line.mid(6);
            else if (line == QLatin1String("storing"))
                return true;
        }
    }
    return false;
}

void TestCrashSafeFiles::initTestCase()
{
    m_preset = m_home.path() + "/presets/Show.cvp";
    QVERIFY(QDir().mkpath(m_home.path() + "/presets"));
    // The two complete versions, each stored once without interruption.
    for (int version : {0, 1}) {
        QProcess driver;
        QVERIFY(runDriver(driver, {QString::number(version)}));
        QVERIFY(driver.waitForFinished());
        QCOMPARE(driver.exitCode(), 0);
        m_presetVersions[version] = readFile(m_preset);
        m_stateVersions[version] = readFile(m_state);
        QVERIFY(QJsonDocument::fromJson(m_presetVersions[version]).isObject());
        QVERIFY(m_stateVersions[version].startsWith("12\n10."));
    }
    QCOMPARE(m_state, m_home.stateFile());
    QVERIFY(m_presetVersions[0] != m_presetVersions[1]);
    QVERIFY(m_stateVersions[0] != m_stateVersions[1]);
}

void TestCrashSafeFiles::killedStoresLeaveAnOldOrNewFile()
{
    const quint32 seed = qEnvironmentVariableIsSet("OCTO_KILL_SEED")
                             ? quint32(qEnvironmentVariableIntValue("OCTO_KILL_SEED"))
                             : 20240611u;
    QRandomGenerator random(seed);
    int interrupted = 0; // kills that found a store writing its file
    QList<int> presetSeen{0, 0}, stateSeen{0, 0};
    for (int i = 0; i < kills; ++i) {
        const bool inStore = i % 2 == 1;
        const QByteArray folder =
            QFile::encodeName(QFileInfo(i % 4 == 1 ? m_preset : m_state).path() + '/');
        QProcess driver;
        QVERIFY(runDriver(driver, {}));
        const qint64 pid = driver.processId();
        if (inStore)
            QVERIFY(waitForStore(pid, folder));
        const int delayUs = random.bounded(inStore ? longestDelayInStoreUs : longestDelayUs);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        if (writesInto(pid, QFile::encodeName(m_home.path() + '/')))
            ++interrupted;
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QVERIFY(driver.waitForFinished());
        QCOMPARE(driver.exitStatus(), QProcess::CrashExit);

        const QByteArray preset = readFile(m_preset);
        const QByteArray state = readFile(m_state);
        const int presetVersion = preset == m_presetVersions[0]   ? 0
                                  : preset == m_presetVersions[1] ? 1
                                                                  : -1;
        const int stateVersion = state == m_stateVersions[0]   ? 0
                                 : state == m_stateVersions[1] ? 1
                                                               : -1;
        QVERIFY2(presetVersion >= 0,
                 qPrintable(QString("kill %1: preset of %2 bytes").arg(i).arg(preset.size())));
        QVERIFY2(stateVersion >= 0,
                 qPrintable(QString("kill %1: state of %2 bytes").arg(i).arg(state.size())));
        ++presetSeen[presetVersion];
        ++stateSeen[stateVersion];
    }
    // A kill between naming the finished temporary file and renaming it leaves it behind.
    const int leftovers =
        strayFiles(QFileInfo(m_preset).path(), {QFileInfo(m_preset).fileName()}).size() +
        strayFiles(QFileInfo(m_state).path(), {QFileInfo(m_state).fileName()}).size();

    // What interrupted stores left behind does not look like a preset or a state file to the
    // program: the recall dialog offers *.cvp files, and the state has one fixed name.
    const QStringList stray = strayFiles(QFileInfo(m_preset).path(), {"Show.cvp"});
    for (const QString &name : stray)
        QVERIFY2(!name.endsWith(QLatin1String(".cvp")), qPrintable(name));

    // The program's own readers take the files as they are.
    QQmlApplicationEngine engine;
    NetworkCom transport;
    SystemManager manager(&transport, &engine);
    manager.restoreState();
    QCOMPARE(manager.activePreamps(), 12);
    manager.presetLoader()->loadPreset(QUrl::fromLocalFile(m_preset), 1);
    QCOMPARE(manager.activePreamps(), 12);
    QVERIFY(manager.preamps().at(11)->ipAddr().endsWith(QLatin1String(".0.12")));
    qDeleteAll(manager.preamps());

    qInfo().noquote() << QString("CRASH-SAFE seed %1: %2 kills; preset found as version 0/1: "
                                 "%3/%4, state: %5/%6; %7 kills inside a store writing its file; "
                                 "%8 leftovers of interrupted stores")
                             .arg(seed)
                             .arg(kills)
                             .arg(presetSeen[0])
                             .arg(presetSeen[1])
                             .arg(stateSeen[0])
                             .arg(stateSeen[1])
                             .arg(interrupted)
                             .arg(leftovers);
    // Without kills inside a store, the test would have proved nothing.
    QVERIFY(interrupted > 0);
    QVERIFY(presetSeen[0] > 0 && presetSeen[1] > 0);
}

QTEST_MAIN(TestCrashSafeFiles)
#include "tst_crashsafefiles.moc"
