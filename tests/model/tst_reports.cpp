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
    const QJsonObject doc = QJsonDocument::fromJson(text).object();
    if (kind == "status")
        m.statusUpdated(doc, address);
    else if (kind == "channel")
        m.channelUpdated(doc, address);
    else if (kind == "adc")
        m.adcUpdated(doc, address);
    else if (kind == "meter")
        m.newMeterData(doc, address);
    else
        m.errorReceived(QStringLiteral("Connection refused"), address);
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
    // and its fields rewritten without the model's property signals.
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
        QSignalSpy id(m.data(), &PreampModel::idChanged);
        QSignalSpy rate(m.data(), &PreampModel::sampleRateChanged);
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
        QCOMPARE(id.count() + rate.count(), 0);
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
    }

    // Rows are named "property: case"; the property is read back on channel 1 or on the model.
    void fieldsAreReadStrictly_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("gain: number") << R"("channels": [{"no": 1, "gain": 31}])" << "31";
        QTest::newRow("gain: text") << R"("channels": [{"no": 1, "gain": "31"}])" << "0";
        QTest::newRow("gain: fraction") << R"("channels": [{"no": 1, "gain": 2.5}])" << "0";
        QTest::newRow("number: missing") << R"("channels": [{"no": 1}])" << "0";
        QTest::newRow("phantom: ON") << R"("channels": [{"no": 1, "48V": "ON"}])" << "false";
        QTest::newRow("phase: bool") << R"("channels": [{"no": 1, "phase": true}])" << "false";
        QTest::newRow("over: off") << R"("channels": [{"no": 1, "over": "off"}])" << "false";
        QTest::newRow("name: number") << R"("channels": [{"no": 1, "name": 5}])" << "";
        QTest::newRow("clkStatus: Locked") << R"("adc": {"clksts": "Locked"})" << "false";
        QTest::newRow("sampleRate: text") << R"("adc": {"fs": "2"})" << "0";
        // clang-format on
    }

    void fieldsAreReadStrictly()
    {
        QFETCH(QString, report);
        QFETCH(QString, expected);
        const QByteArray property = QByteArray(QTest::currentDataTag()).split(':').first();

        deliver(*m, "status", fullStatus); // every field starts away from its default
        deliver(*m, "status", R"({"sys": {}, )" + report.toUtf8() + "}");
        Channel *first = m->channel(0);
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

    void namesWithoutBlanksAreTakenTrimmed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("notified");

        // clang-format off
        QTest::newRow("status, plain") << "status" << R"("Kick")" << "Kick" << 1;
        QTest::newRow("status, tabs") << "status" << R"("\tKick\t")" << "Kick" << 1;
        QTest::newRow("status, blank") << "status" << R"("Kick In")" << "Channel" << 0;
        QTest::newRow("status, same") << "status" << R"("Channel")" << "Channel" << 0;
        QTest::newRow("channel, same") << "channel" << R"("Channel")" << "Channel" << 1;
        QTest::newRow("channel, blank") << "channel" << R"(" Kick")" << "Channel" << 0;
        // clang-format on
    }

    void namesWithoutBlanksAreTakenTrimmed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(int, notified);

        QSignalSpy spy(m->channel(2), &Channel::nameChanged);
        deliver(*m, kind, R"({"channels": [{"no": 3, "name": )" + name.toUtf8() + "}]}");
        QCOMPARE(m->channel(2)->name(), expected);
        QCOMPARE(spy.count(), notified);
    }

    // A grouped channel whose gain reads the group's 30 while the unit last reported 10 is sent
    // 30, then 40. Each step shows reported gain / group gain / gainChanged so far.
    void gainReports()
    {
        QStringList seen;
        for (const char *kind : {"status", "channel"}) {
            init();
            Channel *ch = m->channel(0);
            ch->setGain(30);
            ch->setGroup(true);
            ch->setGain(10);
            QSignalSpy gain(ch, &Channel::gainChanged);
            seen << kind;
            for (const char *reported : {"30", "40"}) {
                deliver(*m, kind,
                        QByteArray(R"({"channels": [{"no": 1, "gain": )") + reported + "}]}");
                seen << QStringLiteral("%1/%2/%3")
                            .arg(ch->reportedGain())
                            .arg(ch->groupGain())
                            .arg(gain.count());
            }
        }
        // Status always writes the gain and the group follows; channel writes only on a change.
        QCOMPARE(seen.join(' '), QStringLiteral("status 30/30/1 40/40/2 channel 10/30/0 40/30/1"));
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

    // "before" calls, in order: i init, s sleep, p ping, x watchdog expiry. The watchdog is then
    // stopped by hand, and the report arrives twice.
    void reportsRestartTheWatchdogAndBringTheUnitOnlineOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("restarted");

        const QString full = fullStatus;
        // clang-format off
        QTest::newRow("status")          << "status"  << full << "i"    << true;
        QTest::newRow("status, asleep")  << "status"  << full << "is"   << true;
        QTest::newRow("status, overdue") << "status"  << full << "ixx"  << true;
        QTest::newRow("status, offline") << "status"  << full << "ixxx" << true;
        QTest::newRow("status, empty")   << "status"  << "{}" << "i"    << true;
        QTest::newRow("status, idle")    << "status"  << full << ""     << false;
        QTest::newRow("status, pinged")  << "status"  << full << "ip"   << false;
        QTest::newRow("channel")         << "channel" << full << "ix"   << true;
        QTest::newRow("channel, empty")  << "channel" << "{}" << "i"    << false;
        QTest::newRow("adc")             << "adc"     << full << "ixxx" << true;
        QTest::newRow("adc, idle")       << "adc"     << full << ""     << false;
        QTest::newRow("meter")           << "meter"   << full << "ixxx" << false;
        // clang-format on
    }

    void reportsRestartTheWatchdogAndBringTheUnitOnlineOnce()
    {
        QFETCH(QString, kind);
        QFETCH(QString, document);
        QFETCH(QString, before);
        QFETCH(bool, restarted);

        for (const QChar call : before) {
            if (call == 'i')
                m->init();
            else if (call == 's')
                m->sleep();
            else if (call == 'p')
                m->ping();
            else
                m->netTimeout();
        }
        m->netTimer()->stop();
        QSignalSpy online(m.data(), &PreampModel::onlineChanged);
        LogCapture log;
        deliver(*m, kind, document.toUtf8());
        QCOMPARE(m->netTimer()->isActive(), restarted);
        QCOMPARE(m->netTimer()->interval(), before.contains('s') ? 8000 : 2000);
        deliver(*m, kind, document.toUtf8());
        const bool empty = document == "{}";
        QVERIFY(log.contains(empty ? "JSON Empty" : "online ==  2"));
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
