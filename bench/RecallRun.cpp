#include "RecallRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

#include "EngineLoad.h"
#include "EventLoopWait.h"
#include "LoadRuns.h"
#include "TrafficRecorder.h"
#include "device/ConverterValues.h"
#include "device/NetworkCom.h"
#include "device/ReplyDocument.h"
#include "model/PreampModel.h"
#include "system/PresetLoader.h"
#include "system/RecallPreview.h"
#include "system/RecallUndo.h"
#include "system/SystemManager.h"

namespace {

constexpr int onlineTimeoutMs = 10000;
// Polled at full rate for a moment first, as the units are while the operator looks at them.
constexpr int pollingBeforeMs = 1000;
// The load type that restores the unit settings and pushes them to the units, and the one that
// restores the addresses too.
constexpr int loadUnitSettings = PresetLoader::settingsBit;
constexpr int loadAddressesAndSettings = PresetLoader::addressesBit | PresetLoader::settingsBit;
constexpr int channelAnswers = PreampModel::channelCount * 5;
constexpr int converterAnswers = 4;

struct Progress
{
    int channels = 0;
    int statuses = 0;
    int converters = 0;
    int errors = 0;
    qint64 doneNs = -1;

    int answers() const { return channels + statuses + converters + errors; }
};

// Names unique to this process, so an answer carrying one can only come from this recall.
QString presetName(int unit, int channel)
{
    return QStringLiteral("r%1u%2c%3")
        .arg(QCoreApplication::applicationPid())
        .arg(unit + 1)
        .arg(channel + 1);
}

// A preset in the format the program stores, with settings that differ from unit to unit and
// from channel to channel.
QJsonObject presetDocument(const QStringList &addresses)
{
    QJsonArray units;
    for (int unit = 0; unit < addresses.size(); ++unit) {
        QJsonArray channels;
        for (int channel = 0; channel < PreampModel::channelCount; ++channel) {
            channels.append(QJsonObject{{"gain", (unit * 7 + channel * 5) % 69},
                                        {"group", false},
                                        {"groupNo", 0},
                                        {"name", presetName(unit, channel)},
                                        {"no", channel + 1},
                                        {"phantom", (unit + channel) % 2 == 0},
                                        {"phase", (unit + channel) % 3 == 0},
                                        {"ribbon", channel == 7},
                                        {"scribble", ""}});
        }
        const QJsonObject adc{
            {"clkOutSource", unit % int(ConverterValues::clockOutSources().size())},
            {"clkSource", unit % int(ConverterValues::clockSources().size())},
            {"outFormat", unit % int(ConverterValues::outputFormats().size())},
            {"sampleRate", 1 + unit % (int(ConverterValues::sampleRates().size()) - 1)}};
        units.append(QJsonObject{{"adc", adc},
                                 {"channels", channels},
                                 {"ipAddr", addresses.at(unit)},
                                 {"sys", QJsonObject()}});
    }
    return QJsonObject{{"activePreamps", int(addresses.size())},
                       {"groups", QJsonArray()},
                       {"preamps", units},
                       {"presetName", "bench-recall.cvp"}};
}

} // namespace

namespace RecallRun {

QJsonObject run(const QStringList &addresses, const Plan &plan)
{
    QTemporaryDir folder;
    const QString presetFile = folder.filePath(QStringLiteral("bench-recall.cvp"));
    QFile file(presetFile);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly))
        return QJsonObject{{"error", "cannot write the preset file " + presetFile}};
    file.write(QJsonDocument(presetDocument(addresses)).toJson(QJsonDocument::Compact));
    file.close();
    // The longest list a preview of twelve units can show: the same settings for units the
    // controller has not heard from (loopback addresses nothing listens on; a preview sends
    // nothing), so that every one of the 540 settings and every address is listed.
    QStringList elsewhere;
    for (int unit = 0; unit < addresses.size(); ++unit)
        elsewhere << QStringLiteral("127.0.99.%1:9").arg(unit + 1);
    const QString unheardFile = folder.filePath(QStringLiteral("bench-recall-unheard.cvp"));
    QFile unheard(unheardFile);
    if (!unheard.open(QIODevice::WriteOnly))
        return QJsonObject{{"error", "cannot write the preset file " + unheardFile}};
    unheard.write(QJsonDocument(presetDocument(elsewhere)).toJson(QJsonDocument::Compact));
    unheard.close();

    TrafficRecorder recorder(false);
    EngineLoad load(addresses, &recorder);
    if (!load.start(load.unitCount(), onlineTimeoutMs))
        return QJsonObject{{"error", "not every simulated unit came online"}};
    EventLoopWait::forMs(pollingBeforeMs);
    load.stop();
    NetworkCom *transport = load.transport();
    if (!EventLoopWait::until([&] { return transport->pendingRequests() == 0; }, LoadRuns::drainMs))
        return QJsonObject{{"error", "polls still outstanding before the recall"}};

    // The preview the operator sees before "Apply": the same file and load type against the
    // models' copies, timed until the list the window shows is built.
    SystemManager *manager = load.manager();
    RecallPreview *preview = manager->recallPreview();
    const auto timePreview = [preview](const QString &path, int loadType) {
        QElapsedTimer clock;
        clock.start();
        preview->build(QUrl::fromLocalFile(path), loadType);
        const int rows = int(preview->rows().size());
        return QJsonObject{{"ms", clock.nsecsElapsed() / 1e6},
                           {"changes", preview->result().changeCount},
                           {"rows", rows}};
    };
    // What the recall's undo snapshot costs it, written here once on its own.
    QElapsedTimer snapshotClock;
    snapshotClock.start();
    manager->recallUndo()->saveSnapshot(loadUnitSettings);
    const double snapshotMs = snapshotClock.nsecsElapsed() / 1e6;
    const QJsonObject previewAll = timePreview(unheardFile, loadAddressesAndSettings);
    const QJsonObject previewed = timePreview(presetFile, loadUnitSettings);

    // Start-up's wiring between the window's requests, the manager and the loader.
    QObject context;
    QObject::connect(manager, &SystemManager::load, manager->presetLoader(),
                     &PresetLoader::loadPreset);
    QObject::connect(manager->presetLoader(), &PresetLoader::presetLoaded, manager,
                     &SystemManager::loaded);
    if (plan.resumePolling) {
        QObject::connect(manager, &SystemManager::presetLoaded, &context, [&] {
            for (int slot = 0; slot < manager->activePreamps(); ++slot)
                load.model(slot)->init();
        });
    }

    QElapsedTimer clock;
    QHash<QString, Progress> progress;
    for (const QString &address : addresses)
        progress.insert(address, Progress{});
    int presetNamesEchoed = 0;
    int meterReports = 0; // polls answered while the recall ran
    int unitsDone = 0;
    const auto checkDone = [&](const QString &address) {
        const auto unit = progress.find(address);
        if (unit == progress.end() || unit->doneNs >= 0)
            return;
        const bool done = plan.resumePolling ? unit->converters >= converterAnswers &&
                                                   unit->channels >= channelAnswers
                                             : unit->answers() >= commandsPerUnit;
        if (done) {
            unit->doneNs = clock.nsecsElapsed();
            ++unitsDone;
        }
    };
    QObject::connect(
        transport, &NetworkCom::channelUpdate, &context,
        [&](const QJsonObject &document, const QString &address) {
            const int unit = addresses.indexOf(address);
            for (const QJsonValue &value : document.value(ReplyDocument::channelsKey).toArray()) {
                const QJsonObject entry = value.toObject();
                const int channel =
                    ReplyDocument::readInt(entry.value(ReplyDocument::channelNoKey)) - 1;
                presetNamesEchoed += entry.value(ReplyDocument::channelNameKey).toString() ==
                                     presetName(unit, channel);
            }
            if (progress.contains(address))
                ++progress[address].channels;
            checkDone(address);
        });
    QObject::connect(transport, &NetworkCom::statusUpdate, &context,
                     [&](const QJsonObject &, const QString &address) {
                         if (progress.contains(address))
                             ++progress[address].statuses;
                         checkDone(address);
                     });
    QObject::connect(transport, &NetworkCom::adcUpdate, &context,
                     [&](const QJsonObject &, const QString &address) {
                         if (progress.contains(address))
                             ++progress[address].converters;
                         checkDone(address);
                     });
    QObject::connect(transport, &NetworkCom::meterUpdate, &context,
                     [&] { meterReports += unitsDone < addresses.size(); });
    QObject::connect(transport, &NetworkCom::replyError, &context,
                     [&](const QString &, const QString &address) {
                         if (progress.contains(address))
                             ++progress[address].errors;
                         checkDone(address);
                     });

    clock.start();
    manager->loadPreset(QUrl::fromLocalFile(presetFile), loadUnitSettings);
    const double loadCallMs = clock.nsecsElapsed() / 1e6;
    EventLoopWait::until([&] { return unitsDone == int(addresses.size()); }, plan.timeoutMs);

    qint64 lastNs = 0;
    qint64 firstNs = -1;
    int fewestAnswers = commandsPerUnit;
    int errors = 0;
    for (const Progress &unit : qAsConst(progress)) {
        if (unit.doneNs >= 0) {
            lastNs = std::max(lastNs, unit.doneNs);
            firstNs = firstNs < 0 ? unit.doneNs : std::min(firstNs, unit.doneNs);
        }
        // With polls a unit that is not done is counted by the answers that can only be its
        // commands' (at least that many have come); one that is done has had all 45.
        const int answers = !plan.resumePolling ? unit.answers()
                            : unit.doneNs >= 0  ? commandsPerUnit
                                                : unit.channels + unit.converters;
        fewestAnswers = std::min(fewestAnswers, answers);
        errors += unit.errors;
    }
    load.stop();
    EventLoopWait::until([&] { return transport->pendingRequests() == 0; }, LoadRuns::drainMs);
    return QJsonObject{{"mode", "recall"},
                       {"units", int(addresses.size())},
                       {"resumePolling", plan.resumePolling},
                       {"recallMs", unitsDone == addresses.size() ? lastNs / 1e6 : -1.0},
                       {"fastestUnitMs", firstNs >= 0 ? firstNs / 1e6 : -1.0},
                       {"loadCallMs", loadCallMs},
                       {"snapshotMs", snapshotMs},
                       {"preview", previewed},
                       {"previewAll", previewAll},
                       {"unitsDone", unitsDone},
                       {"fewestAnswers", fewestAnswers},
                       {"presetNamesEchoed", presetNamesEchoed},
                       {"meterReports", meterReports},
                       {"errors", errors}};
}

} // namespace RecallRun
