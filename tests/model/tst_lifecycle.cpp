#include <QtTest>

#include <functional>

#include "model/PreampModel.h"
#include "support/LogCapture.h"

namespace {

const QString unitIp = QStringLiteral("192.168.1.20");

QVariantList command(const char *code)
{
    return {unitIp, QString(code)};
}

} // namespace

// The link lifecycle driven by the window and by the three timers. Timer slots are called
// directly and the timers' state is read back; nothing here waits for a timer.
class TestLifecycle : public QObject
{
    Q_OBJECT

    QScopedPointer<PreampModel> m; // by init(): at unitIp, nothing started

    void bringOnline() { m->statusUpdated(QJsonObject{{"sys", QJsonObject{{"id", 7}}}}, unitIp); }

    // Interval of each running timer, 0 for a stopped one (status, meter, watchdog), then online.
    QString state() const
    {
        QStringList parts;
        for (const QTimer *timer : {m->statusTimer(), m->meterTimer(), m->netTimer()})
            parts << QString::number(timer->isActive() ? timer->interval() : 0);
        return parts.join(' ') + QStringLiteral(" online %1").arg(m->online());
    }

private slots:
    void init()
    {
        m.reset(new PreampModel);
        m->setIP(unitIp);
    }

    void timersRepeatPrecisely()
    {
        for (const QTimer *timer : {m->statusTimer(), m->meterTimer(), m->netTimer()}) {
            QCOMPARE(timer->timerType(), Qt::PreciseTimer);
            QVERIFY(!timer->isSingleShot());
        }
    }

    // Steps: i init, s sleep, d disconnect, p ping, o status report, e failed request,
    // x watchdog expiry.
    void timersAfter_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("nothing started")           << ""        << "0 0 0 online 0";
        QTest::newRow("init")                      << "i"       << "500 60 2000 online 0";
        QTest::newRow("init keeps the link state") << "xxi"     << "500 60 2000 online 1";
        QTest::newRow("sleep before init")         << "s"       << "0 0 0 online 0";
        QTest::newRow("sleep")                     << "is"      << "2000 0 8000 online 0";
        QTest::newRow("disconnect")                << "iod"     << "0 0 0 online 2";
        QTest::newRow("ping")                      << "iop"     << "500 60 2000 online 0";
        QTest::newRow("error stops polling")       << "ioe"     << "0 0 2000 online 2";
        QTest::newRow("error, overdue")            << "ioexx"   << "0 0 2000 online 1";
        QTest::newRow("error, then offline")       << "ioexxx"  << "5000 0 0 online 0";
        QTest::newRow("offline, then errors")      << "ixxxee"  << "5000 0 0 online 0";
        QTest::newRow("error after re-init")       << "ixxxdie" << "0 0 2000 online 0";
        QTest::newRow("disconnected, then error")  << "ixxxde"  << "0 0 0 online 0";
        QTest::newRow("disconnected, expiries")    << "ioedxxx" << "0 0 0 online 0";
        // clang-format on
    }

    void timersAfter()
    {
        QFETCH(QString, steps);
        QFETCH(QString, expected);

        const QHash<QChar, std::function<void()>> calls{
            {'i',
             [&] {
                 m->init();
             }},
            {'s',
             [&] {
                 m->sleep();
             }},
            {'d',
             [&] {
                 m->disconnect();
             }},
            {'p',
             [&] {
                 m->ping();
             }},
            {'o',
             [&] {
                 bringOnline();
             }},
            {'e',
             [&] {
                 m->errorReceived(QStringLiteral("Connection refused"), unitIp);
             }},
            {'x',
             [&] {
                 m->netTimeout();
             }},
        };
        for (const QChar step : steps)
            calls.value(step)();
        QCOMPARE(state(), expected);
    }

    // Ping marks the unit offline silently and asks for status, as init does; meters are asked
    // only of an initialised online unit.
    void commandsAskedOfTheUnit()
    {
        bringOnline();
        QSignalSpy online(m.data(), &PreampModel::onlineChanged);
        QSignalSpy commands(m.data(), &PreampModel::sendCommand);
        m->ping();
        QVERIFY(m->isPinged() && m->online() == 0 && online.isEmpty());
        bringOnline(); // online through the ping alone
        m->meterTrigger();
        m->init();
        m->meterTrigger();
        m->netTimeout(); // overdue
        m->meterTrigger();
        m->statusTrigger();
        QCOMPARE(commands, QList<QVariantList>({command("CMD_PSTS"), command("CMD_PSTS"),
                                                command("CMD_METR"), command("CMD_PSTS")}));
    }

    void watchdogDeclaresOverdueThenOffline()
    {
        m->init();
        bringOnline();
        QSignalSpy offline(m.data(), &PreampModel::offline);
        QSignalSpy online(m.data(), &PreampModel::onlineChanged);
        QSignalSpy rows(m.data(), &PreampModel::dataChanged);
        LogCapture log;
        for (int expiry = 1; expiry <= 2; ++expiry) {
            m->netTimeout();
            QCOMPARE(m->timeoutCount(), expiry);
            QCOMPARE(state(), QStringLiteral("500 0 2000 online 1"));
        }
        QCOMPARE(offline.count(), 0);
        m->netTimeout();
        QCOMPARE(state(), QStringLiteral("5000 0 0 online 0")); // no fourth expiry
        QCOMPARE(offline.count(), 1);
        QCOMPARE(online.count(), 0);
        QCOMPARE(rows.count(), 3);
        for (const QVariantList &args : rows) // all eight rows each time
            QVERIFY(args.at(0).toModelIndex().row() == 0 && args.at(1).toModelIndex().row() == 7);
        QCOMPARE(log.count("Network Timeout: Status not received in 2000 miliseconds"), 3);
    }
};

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
