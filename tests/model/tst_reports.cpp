#include <QtTest>

#include <memory>
#include <vector>

#include "device/NetworkCom.h"
#include "model/PreampModel.h"

namespace {

const QString unitIp = QStringLiteral("192.168.1.20");

// A status document; its "meter" part lets the same document serve as a meter report.
const QByteArray fullStatus = R"({"sys": {"id": 7, "name": "Stage"},
    "channels": [{"no": 1, "48V": "on", "phase": "on", "rbbn": "on", "over": "on", "id": 1,
                  "gain": 30, "name": "Kick"},
                 {"no": 8, "48V": "off", "id": 8, "gain": 12, "name": "Vox"}],
    "adc": {"fs": 2, "clksrc": 1, "clksts": "locked", "clkout": 3, "fmt": 1},
    "meter": {"1": 40}})";

// Hands a document to the slot for its kind, as the transport does for every model.
void deliver(PreampModel &m, const QString &kind, const QByteArray &text,
             const QString &address = unitIp)
{
    using Handler = void (PreampModel::*)(const QJsonObject &, const QString &);
    const QHash<QString, Handler> handlers{{"status", &PreampModel::statusUpdated},
                                           {"channel", &PreampModel::channelUpdated},
                                           {"adc", &PreampModel::adcUpdated},
                                           {"meter", &PreampModel::newMeterData}};
    if (kind == "error")
        m.errorReceived(QStringLiteral("Connection refused"), address);
    else
        (m.*handlers.value(kind))(QJsonDocument::fromJson(text).object(), address);
}

} // namespace

// How a model takes in the documents handed to all twelve models, and the link state that the
// window, the reports and the three timers drive. Timer slots are called by hand; nothing here
// waits for a timer.
class TestReports : public QObject
{
    Q_OBJECT

    QScopedPointer<PreampModel> m; // by init(): offline, not communicating, at unitIp

private slots:
    void init()
    {
        m.reset(new PreampModel);
        m->setIP(unitIp);
    }

    // Steps: i init, s sleep, d disconnect, p ping, x watchdog expiry, t status poll, m meter
    // poll, h watchdog stopped by hand, e failed request; reports: o status, c channel, a adc,
    // r meter (a capital letter delivers an empty document {}). "expected" gives the interval of
    // each running timer, 0 for a stopped one (status, meter, watchdog), the link state, and what
    // the model sent and signalled, in order: commands, "online" (onlineChanged), "offline",
    // "pong" (pingReceived).
    void linkAfter_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("init keeps the link state") << "xxi" << "500 60 2000 state 1: PSTS";
        QTest::newRow("sleep before init") << "s" << "0 0 0 state 0:";
        QTest::newRow("sleep") << "is" << "2000 0 8000 state 0: PSTS";
        QTest::newRow("disconnect") << "iod" << "0 0 0 state 2: PSTS online";
        QTest::newRow("ping drops it silently") << "iop" << "500 60 2000 state 0: PSTS online PSTS";
        QTest::newRow("polls") << "iomt" << "500 60 2000 state 2: PSTS online METR PSTS";
        QTest::newRow("no meters uninitialised") << "pom" << "500 60 0 state 2: PSTS online pong";
        QTest::newRow("overdue") << "ioxxm" << "500 0 2000 state 1: PSTS online";
        QTest::newRow("offline once") << "ioxxx" << "5000 0 0 state 0: PSTS online offline";
        QTest::newRow("back from overdue") << "ioxxoxx" << "500 0 2000 state 1: PSTS online online";
        // A failed request pauses the meters until the next accepted report; the status poll
        // goes on and only the watchdog declares the unit offline.
        QTest::newRow("error pauses meters") << "ioemt" << "500 0 2000 state 2: PSTS online PSTS";
        QTest::newRow("report resumes meters") << "ioeeom" << "500 60 2000 state 2: PSTS online METR";
        QTest::newRow("meter report resumes") << "ioer" << "500 60 2000 state 2: PSTS online";
        QTest::newRow("asleep, no meters") << "ioseo" << "2000 0 8000 state 2: PSTS online";
        QTest::newRow("error, then offline") << "ioexxx" << "5000 0 0 state 0: PSTS online offline";
        QTest::newRow("offline, then errors") << "ixxxee" << "5000 0 0 state 0: PSTS offline";
        QTest::newRow("errors, then back") << "ioexxxeo"
                                           << "500 60 2000 state 2: PSTS online offline online";
        QTest::newRow("error after re-init") << "ixxxdie" << "500 0 2000 state 0: PSTS offline PSTS";
        QTest::newRow("stopped, then error") << "ixxxde" << "0 0 0 state 0: PSTS offline";
        QTest::newRow("stopped, expiries") << "ioedxxx" << "0 0 0 state 0: PSTS online offline";
        // Which reports restart the stopped watchdog, and bring the unit online once.
        QTest::newRow("status") << "ihoo" << "500 60 2000 state 2: PSTS online";
        QTest::newRow("status, asleep") << "isho" << "500 60 8000 state 2: PSTS online";
        QTest::newRow("status, empty") << "ihO" << "500 60 2000 state 0: PSTS";
        QTest::newRow("status, idle") << "o" << "500 60 0 state 2: online";
        QTest::newRow("status, pinged") << "ipho" << "500 60 0 state 2: PSTS PSTS online pong";
        QTest::newRow("channel") << "ixhc" << "500 60 2000 state 2: PSTS online";
        QTest::newRow("channel, empty") << "ihC" << "500 60 0 state 0: PSTS";
        QTest::newRow("channel, idle") << "cc" << "500 60 0 state 2: online";
        QTest::newRow("adc") << "ixxxha" << "500 60 2000 state 2: PSTS offline online";
        QTest::newRow("adc, idle") << "a" << "500 60 0 state 2: online";
        QTest::newRow("meter") << "ixxxhr" << "500 60 0 state 2: PSTS offline online";
        // clang-format on
    }

    void linkAfter()
    {
        QFETCH(QString, steps);
        QFETCH(QString, expected);

        QStringList events;
        connect(m.data(), &PreampModel::sendCommand, this, [&](const QString &ip, QString code) {
            events << (ip == unitIp ? code.remove("CMD_") : ip);
        });
        connect(m.data(), &PreampModel::onlineChanged, this, [&] { events << "online"; });
        connect(m.data(), &PreampModel::offline, this, [&] { events << "offline"; });
        connect(m.data(), &PreampModel::pingReceived, this, [&] { events << "pong"; });
        const QHash<QChar, const char *> calls{
            {'i', "init"},       {'s', "sleep"},         {'d', "disconnect"},  {'p', "ping"},
            {'x', "netTimeout"}, {'t', "statusTrigger"}, {'m', "meterTrigger"}};
        const QHash<QChar, QString> reports{
            {'o', "status"}, {'c', "channel"}, {'a', "adc"}, {'r', "meter"}, {'e', "error"}};
        for (const QChar step : steps) {
            if (step == 'h')
                m->netTimer()->stop();
            else if (calls.contains(step))
                QVERIFY(QMetaObject::invokeMethod(m.data(), calls.value(step)));
            else
                deliver(*m, reports.value(step.toLower()), step.isUpper() ? "{}" : fullStatus);
        }
        QStringList state{QStringLiteral("state %1:").arg(m->online())};
        for (const QTimer *timer : {m->netTimer(), m->meterTimer(), m->statusTimer()}) {
            QVERIFY(timer->timerType() == Qt::PreciseTimer && !timer->isSingleShot());
            state.prepend(QString::number(timer->isActive() ? timer->interval() : 0));
        }
        QCOMPARE((state + events).join(' '), expected);
    }

    // What a kept report does: one dataChanged from row 0 to "lastRow" with an empty role list,
    // its own fields rewritten, each unit-level value it changed ("announced" of them, the link
    // state included) notified once by the live state, before the dataChanged, and of the
    // model's own property signals only onlineChanged as the unit comes online. Reports for other
    // addresses change nothing at all.
    void eachKindIsKeptOnlyForItsOwnAddress_data()
    {
        QTest::addColumn<int>("lastRow");
        QTest::addColumn<bool>("channels");
        QTest::addColumn<bool>("converter");
        QTest::addColumn<int>("announced");

        QTest::newRow("status") << 0 << true << true << 8;
        QTest::newRow("channel") << 7 << true << false << 1;
        QTest::newRow("adc") << 0 << false << true << 6;
        QTest::newRow("meter") << 0 << false << false << 1;
        QTest::newRow("error") << 7 << false << false << 0;
    }

    void eachKindIsKeptOnlyForItsOwnAddress()
    {
        QFETCH(int, lastRow);
        QFETCH(bool, channels);
        QFETCH(bool, converter);
        QFETCH(int, announced);
        const QString kind = QTest::currentDataTag();

        m->init();
        m->netTimer()->stop();
        std::vector<std::unique_ptr<QSignalSpy>> notified;
        std::vector<std::unique_ptr<QSignalSpy>> ownNotified;
        for (QObject *object :
             {static_cast<QObject *>(m->live()), static_cast<QObject *>(m.data())}) {
            const QMetaObject *meta = object->metaObject();
            for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
                if (meta->property(i).hasNotifySignal())
                    (object == m.data() ? ownNotified : notified)
                        .push_back(
                            std::make_unique<QSignalSpy>(object, meta->property(i).notifySignal()));
            }
        }
        const auto count = [](const std::vector<std::unique_ptr<QSignalSpy>> &spies) {
            int total = 0;
            for (const auto &spy : spies)
                total += spy->count();
            return total;
        };
        const auto notifications = [&] {
            return count(notified);
        };
        int notifiedFirst = -1;
        connect(m.data(), &PreampModel::dataChanged, this, [&] {
            if (notifiedFirst < 0)
                notifiedFirst = notifications();
        });
        QSignalSpy changed(m.data(), &PreampModel::dataChanged);
        QSignalSpy onlineChanged(m.data(), &PreampModel::onlineChanged);
        QSignalSpy netErr(m.data(), &PreampModel::netErr);
        QSignalSpy gain(m->channel(0), &Channel::gainChanged);
        for (const char *other : {"192.168.1.201", "192.168.1.20 ", "192.168.1.2"})
            deliver(*m, kind, fullStatus, other);
        QCOMPARE(changed.count() + netErr.count(), 0);
        QVERIFY(!m->netTimer()->isActive());
        QVERIFY(m->statusTimer()->isActive() && m->meterTimer()->isActive());
        QCOMPARE(m->channel(0)->meterLevel() + m->channel(0)->number() + m->preampID(), 0);

        deliver(*m, kind, fullStatus);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 0);
        QCOMPARE(changed.first().at(1).toModelIndex().row(), lastRow);
        QVERIFY(changed.first().at(2).value<QVector<int>>().isEmpty());
        QCOMPARE(netErr.count(), kind == "error" ? 1 : 0);
        QCOMPARE(QVariantList({m->preampID(), m->preampName()}),
                 kind == "status" ? QVariantList({7, "Stage"}) : QVariantList({0, ""}));
        const Channel *ch = m->channel(0);
        QCOMPARE(ch->meterLevel(), kind == "meter" ? 40 : 0);
        QCOMPARE(QVariantList({ch->phantom(), ch->phase(), ch->ribbon(), ch->over(), ch->number(),
                               ch->gain(), ch->name(), m->channel(7)->gain(),
                               m->channel(7)->phantom(), m->channel(1)->number()}),
                 channels
                     ? QVariantList({true, true, true, true, 1, 30, "Kick", 12, false, 0})
                     : QVariantList({false, false, false, false, 0, 0, "Channel", 0, false, 0}));
        QCOMPARE(QVariantList({m->sampleRate(), m->clkSource(), m->clkStatus(), m->clkOutSource(),
                               m->outFormat()}),
                 converter ? QVariantList({2, 1, true, 3, 1}) : QVariantList({0, 0, false, 0, 0}));
        QCOMPARE(notifiedFirst, announced);
        deliver(*m, kind, fullStatus); // status rewrites the gain, a channel report on a change
        QCOMPARE(gain.count(), kind == "status" ? 2 : kind == "channel" ? 1 : 0);
        QCOMPARE(notifications(), announced);
        QCOMPARE(count(ownNotified), onlineChanged.count());
        QCOMPARE(onlineChanged.count(), kind == "error" ? 0 : 1);
    }

    // Rows are named "property: case"; the property is read back on channel 1 or on the model.
    // Channel 1 is grouped, so its gain reads the group gain, which follows the reported one.
    // A "no" of 0, 9, "1" or null addresses no channel: channel 1 keeps its phantom power.
    void fieldsAreReadStrictly_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("gain: number") << "status" << R"("no": 1, "gain": 31)" << "31";
        QTest::newRow("gain: text") << "status" << R"("no": 1, "gain": "31")" << "0";
        QTest::newRow("gain: fraction") << "status" << R"("no": 1, "gain": 2.5)" << "0";
        QTest::newRow("number: null") << "status" << R"("no": 1, "id": null)" << "0";
        QTest::newRow("phantom: ON") << "status" << R"("no": 1, "48V": "ON")" << "false";
        QTest::newRow("phase: bool") << "status" << R"("no": 1, "phase": true)" << "false";
        QTest::newRow("over: off") << "status" << R"("no": 1, "over": "off")" << "false";
        QTest::newRow("name: number") << "status" << R"("no": 1, "name": 5)" << "";
        QTest::newRow("name: tabs") << "status" << R"("no": 1, "name": "\tSnare\t")" << "Snare";
        QTest::newRow("name: blank") << "status" << R"("no": 1, "name": "Snare Drum")" << "Kick";
        QTest::newRow("name: blank, ch") << "channel" << R"("no": 1, "name": " Snare")" << "Kick";
        QTest::newRow("clkStatus: Locked") << "adc" << R"("clksts": "Locked")" << "false";
        QTest::newRow("sampleRate: text") << "adc" << R"("fs": "2")" << "0";
        for (const char *kind : {"status", "channel"}) {
            for (const char *no : {"0", "9", R"("1")", "null"})
                QTest::addRow("phantom: no %s, %s", no, kind)
                    << kind << QString(R"("no": %1, "48V": "off", "id": 5)").arg(no) << "true";
        }
        // clang-format on
    }

    void fieldsAreReadStrictly()
    {
        QFETCH(QString, kind);
        QFETCH(QString, report);
        QFETCH(QString, expected);
        const QByteArray property = QByteArray(QTest::currentDataTag()).split(':').first();

        deliver(*m, "status", fullStatus); // every field starts away from its default
        Channel *first = m->channel(0);
        first->setGroup(true);
        const QString body = kind == "adc" ? R"("adc": {%1})" : R"("channels": [{%1}])";
        deliver(*m, kind, "{" + body.arg(report).toUtf8() + "}");
        QObject *owner = first->metaObject()->indexOfProperty(property) >= 0
                             ? static_cast<QObject *>(first)
                             : m.data();
        QCOMPARE(owner->property(property).toString(), expected);
        QCOMPARE(m->channel(7)->number(), 8); // no entry lands on another channel
    }

    // Over latches at exactly 63 and is never cleared by meters; levels are whole numbers.
    void meterReportSetsLevelsAndLatchesOver()
    {
        m->channel(1)->setOver(true);
        m->channel(3)->setMeterLevel(20);
        deliver(*m, "meter",
                R"({"meter": {"1": 12, "2": 0, "3": 63, "5": "40", "7": 64, "8": 63.0}})");
        QList<int> levels;
        QList<bool> overs;
        for (const Channel *ch : m->channelList()) {
            levels << ch->meterLevel();
            overs << ch->over();
        }
        QCOMPARE(levels, QList<int>({12, 0, 63, 0, 0, 0, 64, 63}));
        QCOMPARE(overs, QList<bool>({false, true, true, false, false, false, false, true}));
    }

    // The answer to a ping names the unit and nothing more; the next status is taken in whole.
    void pingedStatusOnlyAnswersThePing()
    {
        m->ping();
        QSignalSpy rows(m.data(), &PreampModel::dataChanged);
        deliver(*m, "status", fullStatus);
        QVERIFY(!m->isPinged());
        QCOMPARE(m->preampName(), QStringLiteral("Stage"));
        QCOMPARE(m->channel(0)->number() + m->sampleRate() + rows.count(), 0);
        deliver(*m, "status", fullStatus);
        QCOMPARE(m->channel(0)->number(), 1);
    }

    // A unit set by host name takes the replies the transport names after its request's URL.
    void unitSetByHostNameTakesItsReplies()
    {
        for (const QString &name : {QStringLiteral("Stage-L.local"), QStringLiteral("FOH:8080")}) {
            m->setIP(name);
            deliver(*m, "status", fullStatus,
                    NetworkCom::replyAddress(NetworkCom::requestUrl(name, "CMD_PSTS")));
            QCOMPARE(m->preampID(), 7);
            m.reset(new PreampModel);
        }
    }
};

QTEST_GUILESS_MAIN(TestReports)
#include "tst_reports.moc"
