#include <QtTest>

#include <functional>

#include "model/PreampModel.h"
#include "support/LogCapture.h"

// The link lifecycle driven by the window and by the three timers. Timer slots are called
// directly and the timers' state is read back; nothing here waits for a timer.
class TestLifecycle : public QObject
{
    Q_OBJECT

    QScopedPointer<PreampModel> m; // by init(): at unitIp, nothing started
    const QString unitIp = QStringLiteral("192.168.1.20");

    void bringOnline() { m->statusUpdated(QJsonObject{{"sys", QJsonObject{{"id", 7}}}}, unitIp); }

private slots:
    void init()
    {
        m.reset(new PreampModel);
        m->setIP(unitIp);
    }

    // Steps: i init, s sleep, d disconnect, p ping, o status report, e failed request, x watchdog
    // expiry, m meter poll, t status poll. "expected" gives the interval of each running timer, 0
    // for a stopped one (status, meter, watchdog), the link state, and the commands sent.
    void timersAfter_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("nothing started")           << ""        << "0 0 0 online 0 sent";
        QTest::newRow("init")                      << "i"       << "500 60 2000 online 0 sent PSTS";
        QTest::newRow("init keeps the link state") << "xxi"     << "500 60 2000 online 1 sent PSTS";
        QTest::newRow("sleep before init")         << "s"       << "0 0 0 online 0 sent";
        QTest::newRow("sleep")                     << "is"      << "2000 0 8000 online 0 sent PSTS";
        QTest::newRow("disconnect")                << "iod"     << "0 0 0 online 2 sent PSTS";
        QTest::newRow("ping")                      << "iop"     << "500 60 2000 online 0 sent PSTS PSTS";
        QTest::newRow("polls")                     << "iomt"    << "500 60 2000 online 2 sent PSTS METR PSTS";
        QTest::newRow("no meters uninitialised")   << "pom"     << "500 60 0 online 2 sent PSTS";
        QTest::newRow("overdue")                   << "ioxxm"   << "500 0 2000 online 1 sent PSTS";
        QTest::newRow("offline")                   << "ioxxx"   << "5000 0 0 online 0 sent PSTS";
        QTest::newRow("error stops polling")       << "ioe"     << "0 0 2000 online 2 sent PSTS";
        QTest::newRow("error, overdue")            << "ioexx"   << "0 0 2000 online 1 sent PSTS";
        QTest::newRow("error, then offline")       << "ioexxx"  << "5000 0 0 online 0 sent PSTS";
        QTest::newRow("offline, then errors")      << "ixxxee"  << "5000 0 0 online 0 sent PSTS";
        QTest::newRow("error after re-init")       << "ixxxdie" << "0 0 2000 online 0 sent PSTS PSTS";
        QTest::newRow("disconnected, then error")  << "ixxxde"  << "0 0 0 online 0 sent PSTS";
        QTest::newRow("disconnected, expiries")    << "ioedxxx" << "0 0 0 online 0 sent PSTS";
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
            {'m',
             [&] {
                 m->meterTrigger();
             }},
            {'t',
             [&] {
                 m->statusTrigger();
             }},
        };
        QStringList state;
        connect(m.data(), &PreampModel::sendCommand, this, [&](const QString &ip, QString code) {
            state << (ip == unitIp ? code.remove("CMD_") : ip);
        });
        for (const QChar step : steps)
            calls.value(step)();
        state.prepend(QStringLiteral("online %1 sent").arg(m->online()));
        for (const QTimer *timer : {m->netTimer(), m->meterTimer(), m->statusTimer()}) {
            QVERIFY(timer->timerType() == Qt::PreciseTimer && !timer->isSingleShot());
            state.prepend(QString::number(timer->isActive() ? timer->interval() : 0));
        }
        QCOMPARE(state.join(' '), expected);
    }

    void pingMarksTheUnitOfflineSilently()
    {
        bringOnline();
        QSignalSpy online(m.data(), &PreampModel::onlineChanged);
        m->ping();
        QVERIFY(m->isPinged() && m->online() == 0 && online.isEmpty());
    }

    // The timers' states on the way are in timersAfter.
    void watchdogDeclaresOverdueTwiceThenOfflineOnce()
    {
        m->init();
        bringOnline();
        QSignalSpy offline(m.data(), &PreampModel::offline);
        QSignalSpy online(m.data(), &PreampModel::onlineChanged);
        QSignalSpy rows(m.data(), &PreampModel::dataChanged);
        LogCapture log;
        m->netTimeout();
        m->netTimeout();
        QCOMPARE(m->timeoutCount(), 2);
        QCOMPARE(offline.count(), 0);
        m->netTimeout();
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
