#include <QtTest>

#include "model/PreampModel.h"
#include "support/LogCapture.h"

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

// How a model takes in the documents handed to all twelve models: which it keeps, what each kind
// of report rewrites, and how reports feed the link state and the watchdog.
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

    // What a kept report does: one dataChanged from row 0 to "lastRow" with an empty role list,
    // and its own fields rewritten.
    void eachKindIsKeptOnlyForItsOwnAddress_data()
    {
        QTest::addColumn<int>("lastRow");
        QTest::addColumn<bool>("channels");
        QTest::addColumn<bool>("converter");

        QTest::newRow("status") << 0 << true << true;
        QTest::newRow("channel") << 7 << true << false;
        QTest::newRow("adc") << 0 << false << true;
        QTest::newRow("meter") << 0 << false << false;
        QTest::newRow("error") << 7 << false << false;
    }

    void eachKindIsKeptOnlyForItsOwnAddress()
    {
        QFETCH(int, lastRow);
        QFETCH(bool, channels);
        QFETCH(bool, converter);
        const QString kind = QTest::currentDataTag();

        m->init();
        m->netTimer()->stop();
        QSignalSpy changed(m.data(), &PreampModel::dataChanged);
        QSignalSpy netErr(m.data(), &PreampModel::netErr);
        QSignalSpy gain(m->channel(0), &Channel::gainChanged);
        LogCapture log;
        for (const char *other : {"192.168.1.201", "192.168.1.20 ", "192.168.1.2"})
            deliver(*m, kind, fullStatus, other);
        QCOMPARE(changed.count() + netErr.count() + log.lines().size(), 0);
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
        deliver(*m, kind, fullStatus); // status rewrites the gain, a channel report on a change
        QCOMPARE(gain.count(), kind == "status" ? 2 : kind == "channel" ? 1 : 0);
    }

    // Rows are named "property: case"; the property is read back on channel 1 or on the model.
    // Channel 1 is grouped, so its gain reads the group gain, which follows the reported one.
    void fieldsAreReadStrictly_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("gain: number") << "status" << R"("gain": 31)" << "31";
        QTest::newRow("gain: text") << "status" << R"("gain": "31")" << "0";
        QTest::newRow("gain: fraction") << "status" << R"("gain": 2.5)" << "0";
        QTest::newRow("number: null") << "status" << R"("id": null)" << "0";
        QTest::newRow("phantom: ON") << "status" << R"("48V": "ON")" << "false";
        QTest::newRow("phase: bool") << "status" << R"("phase": true)" << "false";
        QTest::newRow("over: off") << "status" << R"("over": "off")" << "false";
        QTest::newRow("name: number") << "status" << R"("name": 5)" << "";
        QTest::newRow("name: tabs") << "status" << R"("name": "\tSnare\t")" << "Snare";
        QTest::newRow("name: blank") << "status" << R"("name": "Snare Drum")" << "Kick";
        QTest::newRow("name: blank, channel") << "channel" << R"("name": " Snare")" << "Kick";
        QTest::newRow("clkStatus: Locked") << "adc" << R"("clksts": "Locked")" << "false";
        QTest::newRow("sampleRate: text") << "adc" << R"("fs": "2")" << "0";
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
        const QString body = kind == "adc" ? R"("adc": {%1})" : R"("channels": [{"no": 1, %1}])";
        deliver(*m, kind, "{" + body.arg(report).toUtf8() + "}");
        QObject *owner = first->metaObject()->indexOfProperty(property) >= 0
                             ? static_cast<QObject *>(first)
                             : m.data();
        QCOMPARE(owner->property(property).toString(), expected);
    }

    // "no" of 0, 9, "1" and null addresses no channel, in either kind of report.
    void entriesOutsideChannelsOneToEightAreSkipped()
    {
        for (const char *kind : {"status", "channel"}) {
            for (const char *no : {"0", "9", R"("1")", "null"})
                deliver(*m, kind,
                        QByteArray(R"({"channels": [{"48V": "on", "id": 5, "no": )") + no + "}]}");
        }
        for (const Channel *ch : m->channelList())
            QVERIFY(!ch->phantom() && ch->number() == 0);
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

    void pingedStatusOnlyAnswersThePing()
    {
        m->ping();
        QSignalSpy ping(m.data(), &PreampModel::pingReceived);
        QSignalSpy rows(m.data(), &PreampModel::dataChanged);
        deliver(*m, "status", fullStatus);
        QVERIFY(ping.count() == 1 && !m->isPinged());
        QCOMPARE(m->preampName(), QStringLiteral("Stage"));
        QCOMPARE(m->channel(0)->number() + m->sampleRate() + rows.count(), 0);
        deliver(*m, "status", fullStatus);
        QCOMPARE(ping.count(), 1);
        QCOMPARE(m->channel(0)->number(), 1);
    }

    // Rows are named "kind, case"; an "empty" row sends {}. "before" calls, in order: i init,
    // s sleep, p ping, x watchdog expiry. The watchdog is then stopped by hand, and the report
    // arrives twice.
    void reportsRestartTheWatchdogAndBringTheUnitOnlineOnce_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("restarted");

        // clang-format off
        QTest::newRow("status")          << "i"    << true;
        QTest::newRow("status, asleep")  << "is"   << true;
        QTest::newRow("status, overdue") << "ixx"  << true;
        QTest::newRow("status, offline") << "ixxx" << true;
        QTest::newRow("status, empty")   << "i"    << true;
        QTest::newRow("status, idle")    << ""     << false;
        QTest::newRow("status, pinged")  << "ip"   << false;
        QTest::newRow("channel")         << "ix"   << true;
        QTest::newRow("channel, empty")  << "i"    << false;
        QTest::newRow("channel, idle")   << ""     << false;
        QTest::newRow("adc")             << "ixxx" << true;
        QTest::newRow("adc, idle")       << ""     << false;
        QTest::newRow("meter")           << "ixxx" << false;
        // clang-format on
    }

    void reportsRestartTheWatchdogAndBringTheUnitOnlineOnce()
    {
        QFETCH(QString, before);
        QFETCH(bool, restarted);
        const QString tag = QTest::currentDataTag();
        const bool empty = tag.endsWith("empty");
        const QByteArray document = empty ? "{}" : fullStatus;

        const QHash<QChar, const char *> calls{
            {'i', "init"}, {'s', "sleep"}, {'p', "ping"}, {'x', "netTimeout"}};
        for (const QChar call : before)
            QVERIFY(QMetaObject::invokeMethod(m.data(), calls.value(call)));
        m->netTimer()->stop();
        QSignalSpy online(m.data(), &PreampModel::onlineChanged);
        LogCapture log;
        deliver(*m, tag.section(',', 0, 0), document);
        QCOMPARE(m->netTimer()->isActive(), restarted);
        QCOMPARE(m->netTimer()->interval(), before.contains('s') ? 8000 : 2000);
        deliver(*m, tag.section(',', 0, 0), document);
        QVERIFY(log.contains(empty ? "JSON Empty" : "online ==  2"));
        QCOMPARE(m->online(), empty ? 0 : 2);
        QCOMPARE(online, empty ? QList<QVariantList>() : QList<QVariantList>{{2}});
        if (!empty) {
            QCOMPARE(m->timeoutCount(), 0);
            QCOMPARE(m->statusTimer()->isActive() ? m->statusTimer()->interval() : 0, 500);
            QCOMPARE(m->meterTimer()->isActive() ? m->meterTimer()->interval() : 0, 60);
        }
    }
};

QTEST_GUILESS_MAIN(TestReports)
#include "tst_reports.moc"
