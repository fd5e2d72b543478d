#include <QtTest>

#include <QProcess>

#include "support/IsolatedHome.h"
#include "support/SimulatorProcess.h"

namespace {

constexpr int unitCount = 2;
// In /proc/net/tcp and tcp6; in /proc/net/unix a listening socket carries __SO_ACCEPTCON.
const QString tcpListen = QStringLiteral("0A");
constexpr quint32 unixAcceptingFlag = 0x10000;

// The inodes of the sockets a process holds open.
QSet<QString> socketInodes(qint64 pid)
{
    QSet<QString> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = fds.entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : entries) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.contains(QLatin1String("socket:[")))
            inodes << target.section(QLatin1Char('['), 1).chopped(1);
    }
    return inodes;
}

// The rows of a /proc/<pid>/net table that belong to the given sockets, split into fields.
QList<QStringList> ownRows(qint64 pid, const QString &table, int inodeField,
                           const QSet<QString> &inodes)
{
    QFile file(QStringLiteral("/proc/%1/net/%2").arg(pid).arg(table));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList fields = QString::fromLatin1(lines.at(i)).simplified().split(' ');
        if (fields.size() > inodeField && inodes.contains(fields.at(inodeField)))
            rows << fields;
    }
    return rows;
}

} // namespace

// The controller is only ever a client: the running program, talking to units, holds no
// listening TCP or local socket and no UDP socket.
class TestNoListeningSocket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programHoldsNoListeningSocket();
    void cleanupTestCase();

private:
    QTemporaryDir m_home;
    SimulatorProcess m_sim;
    QProcess m_program;
};

void TestNoListeningSocket::initTestCase()
{
    QVERIFY2(m_sim.start({"127.0.46.11:0", "127.0.46.12:0"}), qPrintable(m_sim.errorString()));
    QVERIFY(
        IsolatedHome::writeSavedState(m_home.path() + "/data/Corvane/octo-remote/lastState.conf",
                                      m_sim.addresses(), m_home.path()));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", m_home.path());
    environment.insert("XDG_DATA_HOME", m_home.path() + "/data");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_QUICK_BACKEND", "software");
    m_program.setProcessEnvironment(environment);
    m_program.setProcessChannelMode(QProcess::MergedChannels);
    m_program.start(QStringLiteral(OCTO_PROGRAM_PATH), QStringList());
    QVERIFY(m_program.waitForStarted());
}

void TestNoListeningSocket::programHoldsNoListeningSocket()
{
    // The restored units are pinged at start-up; once both answered, the program has talked
    // to the network and still holds its connections.
    QByteArray output;
    const auto answeredPings = [&] {
        output += m_program.readAll();
        return output.count("Ping Received");
    };
    QTRY_COMPARE_WITH_TIMEOUT(answeredPings(), unitCount, 10000);
    QTest::qWait(1000);
    QCOMPARE(m_program.state(), QProcess::Running);
    const qint64 pid = m_program.processId();
    const QSet<QString> inodes = socketInodes(pid);

    int tcpSockets = 0;
    for (const QString &table : {QStringLiteral("tcp"), QStringLiteral("tcp6")}) {
        for (const QStringList &row : ownRows(pid, table, 9, inodes)) {
            ++tcpSockets;
            QVERIFY2(row.at(3) != tcpListen, qPrintable(table + ": " + row.join(' ')));
        }
    }
    for (const QString &table : {QStringLiteral("udp"), QStringLiteral("udp6")}) {
        const QList<QStringList> rows = ownRows(pid, table, 9, inodes);
        QVERIFY2(rows.isEmpty(), qPrintable(table + ": " + rows.value(0).join(' ')));
    }
    for (const QStringList &row : ownRows(pid, QStringLiteral("unix"), 6, inodes)) {
        bool ok = false;
        const quint32 flags = row.at(3).toUInt(&ok, 16);
        QVERIFY(ok);
        QVERIFY2(!(flags & unixAcceptingFlag), qPrintable("unix: " + row.join(' ')));
    }
    // The check sees the program's own sockets: its connections to the units are there.
    QVERIFY2(tcpSockets >= 1, qPrintable(QString::number(inodes.size())));
}

void TestNoListeningSocket::cleanupTestCase()
{
    m_program.terminate();
    if (!m_program.waitForFinished(3000)) {
        m_program.kill();
        m_program.waitForFinished(3000);
    }
}

QTEST_GUILESS_MAIN(TestNoListeningSocket)
#include "tst_nolisteningsocket.moc"
