#include <QtTest>

#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"
#include "support/WindowItems.h"

namespace {

constexpr int unitCount = 4;
constexpr int windowTimeoutMs = 15000;
// The operator closes the window and expects the program gone at once; the state is written by
// then.
constexpr int endTimeoutMs = 3000;
const QString windowTitle = QStringLiteral("Corvane octo Preamp Remote Controller");
// A state file written before the program started carries this time.
const QDateTime longAgo = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

// The X server the suite runs on, reached directly: the close request is the client message
// a window manager sends when the operator clicks the window's close button.
class XServer
{
public:
    XServer() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_pidAtom = atom("_NET_WM_PID");
        m_protocolsAtom = atom("WM_PROTOCOLS");
        m_deleteAtom = atom("WM_DELETE_WINDOW");
    }
    ~XServer() { xcb_disconnect(m_connection); }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    bool isConnected() const { return m_root != XCB_NONE; }

    // The mapped top-level window of the process, or XCB_NONE.
    xcb_window_t shownWindowOf(qint64 pid) const
    {
        xcb_query_tree_reply_t *tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
        xcb_window_t found = XCB_NONE;
        const xcb_window_t *children = tree ? xcb_query_tree_children(tree) : nullptr;
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree) && !found; ++i) {
            if (pidOf(children[i]) == pid && isViewable(children[i]))
                found = children[i];
        }
        std::free(tree);
        return found;
    }

    void requestClose(xcb_window_t window) const
    {
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = m_protocolsAtom;
        event.data.data32[0] = m_deleteAtom;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, false, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&event));
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const char *name) const
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, false, uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return value;
    }

    qint64 pidOf(xcb_window_t window) const
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, false, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1),
            nullptr);
        qint64 pid = -1;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = *static_cast<const quint32 *>(xcb_get_property_value(reply));
        std::free(reply);
        return pid;
    }

    bool isViewable(xcb_window_t window) const
    {
        xcb_get_window_attributes_reply_t *reply = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
        const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return viewable;
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_pidAtom = XCB_NONE;
    xcb_atom_t m_protocolsAtom = XCB_NONE;
    xcb_atom_t m_deleteAtom = XCB_NONE;
};

// Where the operator clicks in the window, taken from the window itself, loaded in this process
// from the same resources at the same size.
struct Spots
{
    QPoint connect;
    QPoint preamps;
    QPoint unitView;
};

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
    bool startProgram(QProcess &program, const QTemporaryDir &home, xcb_window_t *window);
    bool operate(QProcess &program, xcb_window_t window);
    // Clicks (button 1) or turns the wheel down (button 5) at a point of the window, as a
    // person does, through the X server's input.
    static bool press(xcb_window_t window, const QPoint &at, int button);
    // The same, again and again, until the program's log holds the line that shows it arrived.
    bool pressUntilLogged(QProcess &program, xcb_window_t window, const QPoint &at, int button,
                          const QString &line);
    static QString stateFile(const QTemporaryDir &home);

    SimulatorProcess m_sim;
    XServer m_x;
    Spots m_spots;
    QString m_log;
};

void TestCloseRequest::initTestCase()
{
    QVERIFY2(m_x.isConnected(), "needs an X server (CTest runs the suites under Xvfb)");
    QVERIFY(!QStandardPaths::findExecutable("xdotool").isEmpty());
    QStringList listen;
    for (int unit = 1; unit <= unitCount; ++unit)
        listen << QStringLiteral("127.0.49.%1:0").arg(unit);
    QVERIFY2(m_sim.start(listen), qPrintable(m_sim.errorString()));

    IsolatedHome home;
    ControllerGraph graph;
    auto *window = qobject_cast<QQuickWindow *>(graph.window());
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->size(), QSize(1600, 900));
    m_spots = {centreOf(window, "connectButton"), centreOf(window, "preampsButton"),
               centreOf(window, "unitView")};
    QVERIFY(m_spots.connect.x() > 0 && m_spots.preamps.x() > 0 && m_spots.unitView.x() > 0);
}

QString TestCloseRequest::stateFile(const QTemporaryDir &home)
{
    return home.filePath(QStringLiteral("data/Corvane/octo-remote/lastState.conf"));
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
    QVERIFY(IsolatedHome::writeSavedState(stateFile(home), m_sim.addresses(), home.path()));
    QFile state(stateFile(home));
    QVERIFY(state.open(QIODevice::ReadWrite) &&
            state.setFileTime(longAgo, QFileDevice::FileModificationTime));
    state.close();
    QProcess program;
    xcb_window_t window = XCB_NONE;
    QVERIFY2(startProgram(program, home, &window), qPrintable(m_log));
    if (operated)
        QVERIFY2(operate(program, window), qPrintable(m_log));
    QTest::qWait(delayMs);

    m_x.requestClose(window);

    const bool ended = program.waitForFinished(endTimeoutMs);
    m_log += QString::fromLocal8Bit(program.readAll());
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    QVERIFY2(ended, qPrintable("still running 3 s after the close request:\n" + m_log));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(m_log.count(QStringLiteral("qml: Closing\n")), 1);
    QVERIFY2(QFileInfo(stateFile(home)).lastModified() > longAgo, "the state was not written");
    // The state lists the units that answered by the time of closing, in their slots: right
    // after start that may be none of them yet.
    QStringList lines;
    QVERIFY(state.open(QIODevice::ReadOnly | QIODevice::Text));
    while (!state.atEnd())
        lines << QString::fromUtf8(state.readLine()).trimmed();
    const int saved = lines.value(0).toInt();
    QCOMPARE(lines.size(), saved + 2);
    QCOMPARE(lines.last(), "file://" + home.path());
    for (const QString &address : lines.mid(1, saved))
        QVERIFY2(m_sim.addresses().contains(address), qPrintable(address));
    if (operated)
        QCOMPARE(lines.mid(1, saved), m_sim.addresses());
}

bool TestCloseRequest::startProgram(QProcess &program, const QTemporaryDir &home,
                                    xcb_window_t *window)
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
        return false;
    QElapsedTimer clock;
    clock.start();
    // Polled without waiting in between: the close request is to follow the window's
    // appearance as closely as a person's click could.
    while (clock.elapsed() < windowTimeoutMs && program.state() == QProcess::Running) {
        if ((*window = m_x.shownWindowOf(program.processId())))
            return true;
        QCoreApplication::processEvents();
    }
    m_log = QString::fromLocal8Bit(program.readAll()) + "\nno window appeared";
    return false;
}

bool TestCloseRequest::operate(QProcess &program, xcb_window_t window)
{
    QElapsedTimer clock;
    clock.start();
    while (m_log.count(QStringLiteral("Ping Received")) < unitCount &&
           clock.elapsed() < windowTimeoutMs) {
        program.waitForReadyRead(100);
        m_log += QString::fromLocal8Bit(program.readAll());
    }
    // "Connect" of the units already in use logs nothing, and it blocks the window's pointer
    // input for a while, so "Preamps" is pressed until it takes; the wheel step shows in the
    // log as a page move.
    return m_log.count(QStringLiteral("Ping Received")) >= unitCount &&
           press(window, m_spots.connect, 1) &&
           pressUntilLogged(program, window, m_spots.preamps, 1,
                            QStringLiteral("qml: Initializing 4 preamps")) &&
           pressUntilLogged(program, window, m_spots.unitView, 5, QStringLiteral("Mouse"));
}

bool TestCloseRequest::press(xcb_window_t window, const QPoint &at, int button)
{
    return QProcess::execute("xdotool", {"mousemove", "--window", QString::number(window),
                                         QString::number(at.x()), QString::number(at.y()), "click",
                                         QString::number(button)}) == 0;
}

bool TestCloseRequest::pressUntilLogged(QProcess &program, xcb_window_t window, const QPoint &at,
                                        int button, const QString &line)
{
    const int before = m_log.count(line);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < windowTimeoutMs) {
        if (!press(window, at, button))
            return false;
        for (int i = 0; i < 5; ++i) {
            program.waitForReadyRead(100);
            m_log += QString::fromLocal8Bit(program.readAll());
            if (m_log.count(line) > before)
                return true;
        }
    }
    m_log += "\nno \"" + line + "\" after pressing";
    return false;
}

QTEST_MAIN(TestCloseRequest)
#include "tst_closerequest.moc"
