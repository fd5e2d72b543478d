#include <QtTest>

#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

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

// The controller is only ever a client: talking to units, it holds no listening TCP or local
// socket and no UDP socket. Its connections to the units are there, so the check sees them.
void checkNoListeningSocket(qint64 pid)
{
    QSet<QString> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.contains(QLatin1String("socket:[")))
            inodes << target.section(QLatin1Char('['), 1).chopped(1);
    }
    int tcpSockets = 0;
    for (const QString table : {"tcp", "tcp6", "udp", "udp6", "unix"}) {
        QFile file(QStringLiteral("/proc/%1/net/%2").arg(pid).arg(table));
        const int inodeField = table == "unix" ? 6 : 9;
        const QList<QByteArray> lines =
            file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
        for (const QByteArray &line : lines.mid(1)) {
            const QStringList row = QString::fromLatin1(line).simplified().split(' ');
            if (row.size() <= inodeField || !inodes.contains(row.at(inodeField)))
                continue;
            // TCP state 0A is LISTEN; unix flag 0x10000 (__SO_ACCEPTCON) an accepting socket.
            const bool listening = table == "unix" ? row.at(3).toUInt(nullptr, 16) & 0x10000
                                                   : table.startsWith("udp") || row.at(3) == "0A";
            QVERIFY2(!listening, qPrintable(table + ": " + row.join(' ')));
            tcpSockets += table.startsWith("tcp") ? 1 : 0;
        }
    }
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
    // Reads the program's log until it holds count occurrences of text.
    bool readLogUntil(QProcess &program, const QString &text, int count, int timeoutMs);
    // Clicks (button 1) or turns the wheel down (button 5) at a point of the window, through
    // the X server's input, until the log holds one more text (once, without a text).
    bool press(QProcess &program, quint32 window, const QPoint &at, int button,
               const QString &text = QString());

    // Disconnected at exit, when the suite's X server goes too.
    xcb_connection_t *m_x = xcb_connect(nullptr, nullptr);
    SimulatorProcess m_sim;
    QPoint m_connect, m_preamps, m_unitView;
    QString m_log;
};

void TestCloseRequest::initTestCase()
{
    QVERIFY(!QStandardPaths::findExecutable("xdotool").isEmpty());
    QVERIFY2(m_sim.start({"127.0.49.1:0", "127.0.49.2:0", "127.0.49.3:0", "127.0.49.4:0"}),
             qPrintable(m_sim.errorString()));

    // Where the operator clicks, taken from the same window in this process.
    IsolatedHome home;
    ControllerGraph graph;
    auto *window = qobject_cast<QQuickWindow *>(graph.window());
    QVERIFY(window && QTest::qWaitForWindowExposed(window));
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
    const QDir data(home.filePath("data/Corvane/octo-remote"));
    const QString stateFile = data.filePath("lastState.conf");
    QVERIFY(IsolatedHome::writeSavedState(stateFile, m_sim.addresses(), home.path()));
    QFile state(stateFile);
    QVERIFY(state.open(QIODevice::ReadWrite) &&
            state.setFileTime(longAgo, QFileDevice::FileModificationTime));
    const QByteArray allUnits = state.readAll();
    state.close();
    QProcess program;
    const quint32 window = startProgram(program, home);
    QVERIFY2(window, qPrintable(m_log));
    if (operated) {
        // "Connect" of the units already in use logs nothing, and it blocks the window's pointer
        // input for a while, so "Preamps" is pressed until it takes; the wheel step shows in
        // the log as a page move.
        QVERIFY2(readLogUntil(program, "Ping Received", unitCount, waitMs) &&
                     press(program, window, m_connect, 1) &&
                     press(program, window, m_preamps, 1, "qml: Initializing 4") &&
                     press(program, window, m_unitView, 5, "Mouse"),
                 qPrintable(m_log));
        checkNoListeningSocket(program.processId());
    }
    QTest::qWait(delayMs);

    QVERIFY(requestClose(m_x, window));

    const bool ended = program.waitForFinished(endTimeoutMs);
    m_log += QString::fromLocal8Bit(program.readAll());
    QVERIFY2(ended, qPrintable("still running 3 s after the close request:\n" + m_log));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(m_log.count(QStringLiteral("qml: Closing\n")), 1);
    QVERIFY2(QFileInfo(stateFile).lastModified() > longAgo, "the state was not written");
    QVERIFY(data.exists(QStringLiteral("last.cvp"))); // the setup, to recall as a preset
    // Once every unit has answered, the state lists them all, in their slots, as before.
    QVERIFY(state.open(QIODevice::ReadOnly));
    if (operated)
        QCOMPARE(state.readAll(), allUnits);
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
    // appearance as closely as a person's click could. A search that fails on a window the
    // program made and destroyed while it looked (BadWindow) starts again.
    QElapsedTimer clock;
    clock.start();
    quint32 window = 0;
    while (!window && clock.elapsed() < waitMs && program.state() == QProcess::Running) {
        QProcess search;
        search.start("xdotool", {"search", "--sync", "--onlyvisible", "--pid",
                                 QString::number(program.processId())});
        if (!search.waitForFinished(waitMs))
            search.kill();
        window = QString::fromLatin1(search.readAllStandardOutput()).section('\n', 0, 0).toUInt();
        m_log += QString::fromLocal8Bit(search.readAllStandardError());
    }
    m_log += QString::fromLocal8Bit(program.readAll());
    return window;
}

bool TestCloseRequest::readLogUntil(QProcess &program, const QString &text, int count,
                                    int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (m_log.count(text) < count && clock.elapsed() < timeoutMs) {
        program.waitForReadyRead(100);
        m_log += QString::fromLocal8Bit(program.readAll());
    }
    return m_log.count(text) >= count;
}

bool TestCloseRequest::press(QProcess &program, quint32 window, const QPoint &at, int button,
                             const QString &text)
{
    const int wanted = text.isEmpty() ? 0 : m_log.count(text) + 1;
    QElapsedTimer clock;
    clock.start();
    // Raised before every try: other suites' windows share the X server, and a window mapped
    // over the program's would take the pointer's clicks and wheel steps.
    const QString id = QString::number(window);
    do {
        if (QProcess::execute("xdotool", {"windowraise", id, "mousemove", "--window", id,
                                          QString::number(at.x()), QString::number(at.y()), "click",
                                          QString::number(button)}) != 0)
            return false;
    } while (!text.isEmpty() && !readLogUntil(program, text, wanted, 500) &&
             clock.elapsed() < waitMs);
    return text.isEmpty() || m_log.count(text) >= wanted;
}

QTEST_MAIN(TestCloseRequest)
#include "tst_closerequest.moc"
