#include <QtTest>

#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "support/WindowItems.h"

namespace {

constexpr int unitCount = 4;
constexpr int waitMs = 15000;
// The operator closes the window and expects the program gone at once, its state written.
constexpr int endTimeoutMs = 3000;
// A state file written before the program started carries this time.
const QDateTime longAgo = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

// The close request a window manager sends when the operator clicks the window's close button:
// a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. Sent over a connection that stays
// open, as a window manager's does, and followed by a round trip, so the server has passed it
// on before this returns: a request from a client that hangs up at once may never be delivered.
bool requestClose(xcb_connection_t *connection, quint32 window)
{
    const auto atom = [connection](const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, false, uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return value;
    };
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, false, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&event));
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return !xcb_connection_has_error(connection) && event.type != XCB_NONE;
}

// The rows of a /proc/<pid>/net table that belong to the process's own sockets, split into
// fields; inodeField is the column holding a socket's inode.
QList<QStringList> ownSockets(qint64 pid, const QString &table, int inodeField)
{
    QSet<QString> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.contains(QLatin1String("socket:[")))
            inodes << target.section(QLatin1Char('['), 1).chopped(1);
    }
    QFile file(QStringLiteral("/proc/%1/net/%2").arg(pid).arg(table));
    QList<QStringList> rows;
    const QList<QByteArray> lines =
        file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList fields = QString::fromLatin1(lines.at(i)).simplified().split(' ');
        if (fields.size() > inodeField && inodes.contains(fields.at(inodeField)))
            rows << fields;
    }
    return rows;
}

// The controller is only ever a client: talking to units, it holds no listening TCP or local
// socket and no UDP socket. Its connections to the units are there, so the check sees them.
void checkNoListeningSocket(qint64 pid)
{
    const QString tcpListen = QStringLiteral("0A");
    constexpr quint32 unixAcceptingFlag = 0x10000; // __SO_ACCEPTCON in /proc/net/unix
    int tcpSockets = 0;
    for (const QString &table : {QStringLiteral("tcp"), QStringLiteral("tcp6")}) {
        for (const QStringList &row : ownSockets(pid, table, 9)) {
            ++tcpSockets;
            QVERIFY2(row.at(3) != tcpListen, qPrintable(table + ": " + row.join(' ')));
        }
    }
    for (const QString &table : {QStringLiteral("udp"), QStringLiteral("udp6")})
        QVERIFY2(ownSockets(pid, table, 9).isEmpty(), qPrintable(table));
    for (const QStringList &row : ownSockets(pid, QStringLiteral("unix"), 6))
        QVERIFY2(!(row.at(3).toUInt(nullptr, 16) & unixAcceptingFlag), qPrintable(row.join(' ')));
    QVERIFY(tcpSockets >= 1);
}

QPoint centreOf(QQuickWindow *window, const char *name)
{
    QQuickItem *item = WindowItems::find(window, QString::fromLatin1(name));
    return item ? item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint()
                : QPoint(-1, -1);
}

} // namespace

// The real program on the X server, closed by the window manager's close request over and over:
// early, while it is still starting, and after it has been operated against answering units.
// Each time it must end within 3 s, having written its state exactly once.
class TestCloseRequest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void closeEndsTheProgram_data();
    void closeEndsTheProgram();

private:
    // Starts the program and returns its window once shown, or 0.
    quint32 startProgram(QProcess &program, const QTemporaryDir &home);
    // Clicks (button 1) or turns the wheel down (button 5) at a point of the window, through
    // the X server's input, until the program's log holds the line that shows it arrived.
    bool pressUntilLogged(QProcess &program, quint32 window, const QPoint &at, int button,
                          const QString &line);
    bool readLogUntil(QProcess &program, const std::function<bool()> &done, int timeoutMs);

    // Disconnected at exit, when the suite's X server goes too.
    xcb_connection_t *m_x = xcb_connect(nullptr, nullptr);
    SimulatorProcess m_sim;
    QPoint m_connect, m_preamps, m_unitView;
    QString m_log;
};

void TestCloseRequest::initTestCase()
{
    QVERIFY(!QStandardPaths::findExecutable("xdotool").isEmpty());
    QStringList listen;
    for (int unit = 1; unit <= unitCount; ++unit)
        listen << QStringLiteral("127.0.49.%1:0").arg(unit);
    QVERIFY2(m_sim.start(listen), qPrintable(m_sim.errorString()));

    // Where the operator clicks, taken from the same window at the same size in this process.
    IsolatedHome home;
    ControllerGraph graph;
    auto *window = qobject_cast<QQuickWindow *>(graph.window());
    QVERIFY(window && QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->size(), QSize(1600, 900));
    m_connect = centreOf(window, "connectButton");
    m_preamps = centreOf(window, "preampsButton");
    m_unitView = centreOf(window, "unitView");
    QVERIFY(m_connect.x() > 0 && m_preamps.x() > 0 && m_unitView.x() > 0);
}

void TestCloseRequest::closeEndsTheProgram_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("operated");
    // Most within the first 300 ms after the window appears, when it is still settling.
    for (int delay : {0, 0, 0, 0, 5, 10, 15, 20, 30, 50, 75, 100, 150, 200, 250, 300})
        QTest::addRow("%d ms after it appears", delay) << delay << false;
    for (int delay : {0, 50, 150, 300, 600, 1000})
        QTest::addRow("operated, %d ms after a wheel step", delay) << delay << true;
}

void TestCloseRequest::closeEndsTheProgram()
{
    QFETCH(int, delayMs);
    QFETCH(bool, operated);
    QTemporaryDir home;
    const QString stateFile = home.filePath("data/Corvane/octo-remote/lastState.conf");
    QVERIFY(IsolatedHome::writeSavedState(stateFile, m_sim.addresses(), home.path()));
    QFile state(stateFile);
    QVERIFY(state.open(QIODevice::ReadWrite) &&
            state.setFileTime(longAgo, QFileDevice::FileModificationTime));
    state.close();
    QProcess program;
    const quint32 window = startProgram(program, home);
    QVERIFY2(window, qPrintable(m_log));
    // "Connect" of the units already in use logs nothing, and it blocks the window's pointer
    // input for a while, so "Preamps" is pressed until it takes; the wheel step shows in the
    // log as a page move.
    if (operated)
        QVERIFY2(
            readLogUntil(
                program, [this] { return m_log.count("Ping Received") >= unitCount; }, waitMs) &&
                pressUntilLogged(program, window, m_connect, 1, QString()) &&
                pressUntilLogged(program, window, m_preamps, 1, "qml: Initializing 4") &&
                pressUntilLogged(program, window, m_unitView, 5, "Mouse"),
            qPrintable(m_log));
    if (operated)
        checkNoListeningSocket(program.processId());
    QTest::qWait(delayMs);

    QVERIFY(requestClose(m_x, window));

    const bool ended = program.waitForFinished(endTimeoutMs);
    m_log += QString::fromLocal8Bit(program.readAll());
    if (!ended)
        program.kill();
    QVERIFY2(ended, qPrintable("still running 3 s after the close request:\n" + m_log));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(m_log.count(QStringLiteral("qml: Closing\n")), 1);
    QVERIFY2(QFileInfo(stateFile).lastModified() > longAgo, "the state was not written");
    // The state lists the units that answered by the time of closing, in their slots: right
    // after start that may be none of them yet.
    QVERIFY(state.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(state.readAll()).split('\n', Qt::SkipEmptyParts);
    const QStringList saved = lines.mid(1, lines.value(0).toInt());
    QCOMPARE(lines.size(), saved.size() + 2);
    QCOMPARE(lines.last(), "file://" + home.path());
    for (int i = 1; i < saved.size(); ++i)
        QVERIFY(m_sim.addresses().indexOf(saved.at(i)) > m_sim.addresses().indexOf(saved[i - 1]));
    if (operated || !saved.isEmpty())
        QVERIFY(m_sim.addresses().contains(saved.value(0)));
    if (operated)
        QCOMPARE(saved, m_sim.addresses());
}

quint32 TestCloseRequest::startProgram(QProcess &program, const QTemporaryDir &home)
{
    m_log.clear();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.remove("QT_QPA_PLATFORMTHEME");
    environment.remove("QT_QUICK_BACKEND");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(OCTO_PROGRAM_PATH), QStringList());
    if (!program.waitForStarted())
        return 0;
    // Waits on the X server for the window to be shown: the close request follows its
    // appearance as closely as a person's click could.
    QProcess search;
    search.start("xdotool", {"search", "--sync", "--onlyvisible", "--pid",
                             QString::number(program.processId())});
    if (!search.waitForFinished(waitMs))
        search.kill();
    m_log = QString::fromLocal8Bit(program.readAll());
    return QString::fromLatin1(search.readAllStandardOutput()).section('\n', 0, 0).toUInt();
}

bool TestCloseRequest::readLogUntil(QProcess &program, const std::function<bool()> &done,
                                    int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        program.waitForReadyRead(100);
        m_log += QString::fromLocal8Bit(program.readAll());
    }
    return done();
}

bool TestCloseRequest::pressUntilLogged(QProcess &program, quint32 window, const QPoint &at,
                                        int button, const QString &line)
{
    const int before = m_log.count(line);
    QElapsedTimer clock;
    clock.start();
    do {
        if (QProcess::execute("xdotool", {"mousemove", "--window", QString::number(window),
                                          QString::number(at.x()), QString::number(at.y()), "click",
                                          QString::number(button)}) != 0)
            return false;
    } while (!line.isEmpty() &&
             !readLogUntil(
                 program, [&] { return m_log.count(line) > before; }, 500) &&
             clock.elapsed() < waitMs);
    return line.isEmpty() || m_log.count(line) > before;
}

QTEST_MAIN(TestCloseRequest)
#include "tst_closerequest.moc"
