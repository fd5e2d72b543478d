#include "system/ShowLog.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>

#include "device/ConverterValues.h"
#include "device/NetworkCom.h"
#include "device/ReplyDocument.h"
#include "device/UnitAddress.h"
#include "model/PreampModel.h"
#include "system/GainScale.h"
#include "system/Logging.h"
#include "system/PresetLoader.h"
#include "system/ShowLogCsv.h"
#include "system/ShowLogFilter.h"
#include "system/ShowLogModel.h"
#include "system/ShowLogStore.h"
#include "system/SystemManager.h"

namespace {

using Event = ShowLogEntry::Event;

// The settings as the log names them.
const QString phantomSetting = QStringLiteral("48V");
const QString phaseSetting = QStringLiteral("phase");
const QString ribbonSetting = QStringLiteral("ribbon");
const QString gainSetting = QStringLiteral("gain");
const QString nameSetting = QStringLiteral("name");
const QString overSetting = QStringLiteral("over");
const QString unitNameSetting = QStringLiteral("unit name");
const QString sampleRateSetting = QStringLiteral("sample rate");
const QString clockSourceSetting = QStringLiteral("clock source");
const QString outputFormatSetting = QStringLiteral("output format");
const QString clockOutSetting = QStringLiteral("clock out");
const QString factoryResetSetting = QStringLiteral("factory reset");
// Switches read as the units write them.
const QString on = ReplyDocument::switchOn;
const QString off = ReplyDocument::switchOff;

QString onOff(bool value)
{
    return value ? on : off;
}

// A converter setting's label, or its code when no label has it.
QString label(const QStringList &labels, int code)
{
    return labels.value(code, QString::number(code));
}

// Each converter setting as the log names it, its command, the model's role and its key in a
// report's "adc", and the labels of its codes.
struct ConverterSetting
{
    const QString &setting;
    const QString &code;
    int role;
    QLatin1String key;
    const QStringList &(*labels)();
};
const std::array<ConverterSetting, 4> &converterSettings()
{
    using namespace ReplyDocument;
    static const std::array<ConverterSetting, 4> table{{
        {sampleRateSetting, Commands::sampleRateCode, PreampModel::SampleRateRole, sampleRateKey,
         ConverterValues::sampleRates},
        {clockSourceSetting, Commands::clockSourceCode, PreampModel::ClkSourceRole, clockSourceKey,
         ConverterValues::clockSources},
        {outputFormatSetting, Commands::outputFormatCode, PreampModel::OutFormatRole, formatKey,
         ConverterValues::outputFormats},
        {clockOutSetting, Commands::clockOutSourceCode, PreampModel::ClkOutSourceRole, clockOutKey,
         ConverterValues::clockOutSources},
    }};
    return table;
}

QString knownKey(int row, const QString &setting)
{
    return QString::number(row) + QLatin1Char('/') + setting;
}

bool isChannelRow(int row)
{
    return row >= 0 && row < Commands::channelCount;
}

} // namespace

ShowLog::ShowLog(std::unique_ptr<ShowLogStore> store, Clock clock, QObject *parent)
    : QObject(parent), m_store(std::move(store)),
      m_clock(clock ? std::move(clock) : Clock(&QDateTime::currentMSecsSinceEpoch)),
      m_model(new ShowLogModel(ShowLogModel::defaultCapacity, this)),
      m_filter(new ShowLogFilter(m_model, this)),
      m_session(QString::number(QRandomGenerator::global()->generate(), 36))
{
    m_closeTimer.setInterval(closeCheckMs);
    connect(&m_closeTimer, &QTimer::timeout, this, &ShowLog::closeDueEntries);
    const ShowLogStore::Contents stored = m_store->read(m_model->capacity());
    m_model->reset(stored.entries);
    for (const ShowLogEntry &entry : stored.entries) {
        noteUnit(entry);
        if (entry.kind() == ShowLogEntry::Kind::Program)
            m_previousRunUnclosed = entry.event == Event::Started;
    }
    noteProblems(stored.problems);
}

ShowLog::~ShowLog()
{
    recordClosed();
}

void ShowLog::watch(SystemManager *manager)
{
    m_units = manager->preamps();
    m_states.resize(m_units.size());
    NetworkCom *transport = manager->transport();
    connect(transport, &NetworkCom::statusUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Status, doc, ip);
            });
    connect(transport, &NetworkCom::channelUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Channel, doc, ip);
            });
    connect(transport, &NetworkCom::adcUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Converter, doc, ip);
            });
    connect(transport, &NetworkCom::meterUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Meter, doc, ip);
            });
    for (int slot = 0; slot < m_units.size(); ++slot) {
        PreampModel *unit = m_units.at(slot);
        connect(
            unit, &PreampModel::sendCommand, this,
            [this, slot](const QString &, const QString &command) { commandSent(slot, command); });
        connect(unit, &PreampModel::changeRefused, this,
                [this, slot](int row, const QString &role, const QVariant &value) {
                    changeRefused(slot, row, role, value);
                });
        connect(unit, &PreampModel::offline, this, [this, slot] { wentOffline(slot); });
        // The model's only sign of a first watchdog expiry.
        connect(unit, &PreampModel::dataChanged, this, [this, slot] { checkOverdue(slot); });
    }
    connect(manager, &SystemManager::save, this, &ShowLog::presetStored);
    connect(manager, &SystemManager::load, this, &ShowLog::presetRecalled);
}

QObject *ShowLog::entries() const
{
    return m_filter;
}

QStringList ShowLog::kindLabels() const
{
    return {QStringLiteral("Link"),    QStringLiteral("Clock"),   QStringLiteral("Overs"),
            QStringLiteral("Changes"), QStringLiteral("Presets"), QStringLiteral("Program")};
}

void ShowLog::setViewing(bool viewing)
{
    if (viewing == m_viewing)
        return;
    m_viewing = viewing;
    emit viewingChanged();
    if (m_viewing && m_alarm) {
        m_alarm = false;
        emit alarmChanged();
    }
}

// --- Entries ---------------------------------------------------------------------------------

ShowLogEntry ShowLog::newEntry(Event event, int slot, int row)
{
    ShowLogEntry entry;
    entry.id = m_session + QLatin1Char('-') + QString::number(m_nextId++);
    entry.event = event;
    entry.timeMs = now();
    entry.offsetSeconds = QDateTime::fromMSecsSinceEpoch(entry.timeMs).offsetFromUtc();
    if (slot < 0 || slot >= m_units.size())
        return entry;
    const PreampModel *unit = m_units.at(slot);
    entry.slot = slot + 1;
    entry.address = unit->ipAddr();
    entry.unitId = unit->preampID();
    entry.unitName = unit->preampName();
    if (isChannelRow(row)) {
        entry.channel = row + 1;
        entry.channelName = unit->channel(row)->name();
    }
    return entry;
}

qint64 ShowLog::record(const ShowLogEntry &entry)
{
    if (!m_store->append(entry))
        noteProblems(m_store->takeProblems());
    noteUnit(entry);
    if (entry.isAlarm() && !m_viewing && !m_alarm) {
        m_alarm = true;
        emit alarmChanged();
    }
    return m_model->add(entry);
}

void ShowLog::noteProblems(const QStringList &problems)
{
    if (problems.isEmpty())
        return;
    m_notice = problems.join(QLatin1Char('\n'));
    emit noticeChanged();
}

void ShowLog::noteUnit(const ShowLogEntry &entry)
{
    const QString key = entry.unitKey();
    if (key.isEmpty())
        return;
    const QVariantMap unit{{QStringLiteral("key"), key},
                           {QStringLiteral("label"), entry.unitLabel()}};
    const auto known = m_unitIndex.constFind(key);
    if (known == m_unitIndex.constEnd()) {
        m_unitIndex.insert(key, m_unitList.size());
        m_unitList << unit;
    } else if (m_unitList.at(*known) != unit) {
        m_unitList[*known] = unit; // a unit renamed since
    } else {
        return;
    }
    emit unitsChanged();
}

void ShowLog::gatheringChanged(Gathering &gathering)
{
    gathering.changed = true;
    m_model->update(gathering.handle, gathering.entry);
    if (!m_closeTimer.isActive())
        m_closeTimer.start();
}

void ShowLog::finish(Gathering &gathering)
{
    gathering.entry.open = false;
    if (gathering.changed && !m_store->append(gathering.entry))
        noteProblems(m_store->takeProblems());
    m_model->update(gathering.handle, gathering.entry);
}

void ShowLog::closeDueEntries()
{
    const qint64 t = now();
    const auto closeDue = [this, t](auto &gatherings) {
        for (auto it = gatherings.begin(); it != gatherings.end();) {
            if (t > it->closesAfterMs) {
                finish(*it);
                it = gatherings.erase(it);
            } else {
                ++it;
            }
        }
    };
    closeDue(m_overs);
    closeDue(m_changes);
    if (m_overs.isEmpty() && m_changes.isEmpty())
        m_closeTimer.stop();
}

void ShowLog::recordStarted()
{
    ShowLogEntry entry = newEntry(Event::Started);
    if (m_previousRunUnclosed)
        entry.note = QStringLiteral("the run before ended without closing");
    record(entry);
}

void ShowLog::recordClosed()
{
    if (m_closed)
        return;
    m_closed = true;
    for (Gathering &gathering : m_overs)
        finish(gathering);
    for (Gathering &gathering : m_changes)
        finish(gathering);
    m_overs.clear();
    m_changes.clear();
    m_closeTimer.stop();
    record(newEntry(Event::Closed));
    m_model->flush();
}

// --- Units -----------------------------------------------------------------------------------

ShowLog::UnitState &ShowLog::stateOf(int slot)
{
    UnitState &state = m_states[slot];
    // A new address is another unit, or the same one met anew: nothing known carries over.
    if (state.address != m_units.at(slot)->ipAddr()) {
        state = UnitState();
        state.address = m_units.at(slot)->ipAddr();
    }
    return state;
}

void ShowLog::reportArrived(Report report, const QJsonObject &document, const QString &address)
{
    if (document.isEmpty())
        return; // no model takes it
    for (int slot = 0; slot < m_units.size(); ++slot) {
        if (UnitAddress::sameUnit(address, m_units.at(slot)->ipAddr()))
            takeReport(slot, report, document);
    }
}

void ShowLog::takeReport(int slot, Report report, const QJsonObject &document)
{
    using namespace ReplyDocument;
    UnitState &state = stateOf(slot);
    const PreampModel *unit = m_units.at(slot);
    const qint64 t = now();
    if (unit->online() == PreampModel::Online && state.link != PreampModel::Online) {
        const bool wasAway = state.link >= 0 && state.awaySinceMs >= 0;
        ShowLogEntry entry = newEntry(wasAway ? Event::Back : Event::Online, slot);
        if (wasAway)
            entry.durationMs = t - state.awaySinceMs;
        record(entry);
        state.link = PreampModel::Online;
        state.awaySinceMs = -1;
    }
    state.lastAnswerMs = t;

    if (report == Report::Meter) {
        const QJsonObject meter = document.value(meterKey).toObject();
        for (int row = 0; row < Commands::channelCount; ++row) {
            if (readInt(meter.value(QString::number(row + 1))) == PreampModel::overLevel) {
                noteOver(slot, row);
                state.latchedOver[row] = true; // the unit latches it too
            }
        }
        return;
    }
    const QJsonObject adc = document.value(adcKey).toObject();
    if (report == Report::Status || report == Report::Converter) {
        const int locked = readLocked(adc.value(clockStatusKey)) ? 1 : 0;
        if (locked != state.clock) {
            if (!locked) {
                ShowLogEntry entry = newEntry(Event::ClockLost, slot);
                if (state.clock < 0)
                    entry.note = QStringLiteral("not locked when first seen");
                record(entry);
                state.unlockedSinceMs = t;
            } else if (state.clock == 0) {
                ShowLogEntry entry = newEntry(Event::ClockRegained, slot);
                entry.durationMs = t - state.unlockedSinceMs;
                record(entry);
            }
            state.clock = locked;
        }
    }
    // What the unit says of its settings is the old value of the next change.
    for (const QJsonValue &value : document.value(channelsKey).toArray()) {
        const QJsonObject channel = value.toObject();
        const int row = readInt(channel.value(channelNoKey)) - 1;
        if (!isChannelRow(row))
            continue;
        const bool over = readSwitch(channel.value(overKey));
        if (over && !state.latchedOver[row])
            noteOver(slot, row); // latched on the unit between meter readings
        state.latchedOver[row] = over;
        state.known.insert(knownKey(row, phantomSetting),
                           onOff(readSwitch(channel.value(phantomKey))));
        state.known.insert(knownKey(row, phaseSetting), onOff(readSwitch(channel.value(phaseKey))));
        state.known.insert(knownKey(row, ribbonSetting),
                           onOff(readSwitch(channel.value(ribbonKey))));
        state.known.insert(knownKey(row, overSetting), onOff(over));
        state.known.insert(knownKey(row, nameSetting), readText(channel.value(channelNameKey)));
        state.gainStep[row] = readInt(channel.value(gainKey));
        state.known.insert(knownKey(row, gainSetting), GainScale::text(state.gainStep[row]));
    }
    if (has(document, adcKey)) {
        for (const ConverterSetting &converter : converterSettings())
            state.known.insert(knownKey(-1, converter.setting),
                               label(converter.labels(), readInt(adc.value(converter.key))));
    }
    if (has(document, sysKey))
        state.known.insert(knownKey(-1, unitNameSetting),
                           readText(document.value(sysKey).toObject().value(unitNameKey)));
}

void ShowLog::checkOverdue(int slot)
{
    UnitState &state = stateOf(slot);
    if (state.link != PreampModel::Online ||
        m_units.at(slot)->online() != PreampModel::StatusOverdue)
        return;
    ShowLogEntry entry = newEntry(Event::Overdue, slot);
    entry.durationMs = now() - state.lastAnswerMs;
    record(entry);
    state.link = PreampModel::StatusOverdue;
    state.awaySinceMs = state.lastAnswerMs;
}

void ShowLog::wentOffline(int slot)
{
    UnitState &state = stateOf(slot);
    if (state.link == PreampModel::Offline)
        return;
    ShowLogEntry entry = newEntry(Event::Offline, slot);
    if (state.lastAnswerMs >= 0)
        entry.durationMs = now() - state.lastAnswerMs;
    record(entry);
    if (state.link == PreampModel::Online)
        state.awaySinceMs = state.lastAnswerMs;
    state.link = PreampModel::Offline;
}

void ShowLog::noteOver(int slot, int row)
{
    const qint64 t = now();
    const int key = slot * Commands::channelCount + row;
    auto it = m_overs.find(key);
    if (it != m_overs.end() && t - it->entry.timeMs <= overWindowMs) {
        ++it->entry.count;
        it->entry.lastMs = t;
        gatheringChanged(*it);
        return;
    }
    if (it != m_overs.end()) {
        finish(*it);
        m_overs.erase(it);
    }
    Gathering gathering;
    gathering.entry = newEntry(Event::Over, slot, row);
    gathering.entry.open = true;
    gathering.closesAfterMs = t + overWindowMs;
    gathering.handle = record(gathering.entry);
    m_overs.insert(key, gathering);
    if (!m_closeTimer.isActive())
        m_closeTimer.start();
}

// --- Changes ---------------------------------------------------------------------------------

void ShowLog::commandSent(int slot, const QString &command)
{
    using namespace Commands;
    const auto parsed = Commands::parse(command);
    if (!parsed || m_units.at(slot)->ipAddr() == UnitAddress::unset)
        return; // the transport sends nothing there
    const QString &code = parsed->code;
    const QStringList arguments = parsed->splitArgument(2);
    Change change;
    change.row = arguments.value(0).toInt() - 1;
    bool perChannel = true;
    const auto switchChange = [&](const QString &setting, bool toggle) {
        change.setting = setting;
        change.op = toggle ? Change::Toggle : Change::Set;
        change.value = onOff(arguments.value(1) == QLatin1String("ON"));
    };
    if (code == setPhantomCode || code == togglePhantomCode) {
        switchChange(phantomSetting, code == togglePhantomCode);
    } else if (code == setPhaseCode || code == togglePhaseCode) {
        switchChange(phaseSetting, code == togglePhaseCode);
    } else if (code == setRibbonCode || code == toggleRibbonCode) {
        switchChange(ribbonSetting, code == toggleRibbonCode);
    } else if (code == setGainCode) {
        change.setting = gainSetting;
        change.isGain = true;
        change.step = arguments.value(1).toInt();
        change.value = GainScale::text(change.step);
    } else if (code == gainUpCode || code == gainDownCode) {
        change.setting = gainSetting;
        change.isGain = true;
        change.op = Change::Step;
        change.step = code == gainUpCode ? 1 : -1;
    } else if (code == channelNameCode && arguments.size() == 2) {
        change.setting = nameSetting;
        change.value = arguments.at(1);
    } else if (code == clearOverCode) {
        change.setting = overSetting;
        change.value = off;
    } else if (code == unitNameCode || code == factoryResetCode) {
        perChannel = false;
        change.setting = code == unitNameCode ? unitNameSetting : factoryResetSetting;
        change.value = code == unitNameCode ? parsed->argument : QString();
    } else {
        const auto &table = converterSettings();
        const auto converter = std::find_if(table.begin(), table.end(),
                                            [&](const auto &entry) { return entry.code == code; });
        if (converter == table.end())
            return; // the polls and the bare name request change nothing
        perChannel = false;
        change.setting = converter->setting;
        change.value = label(converter->labels(), parsed->argument.toInt());
    }
    if (!perChannel)
        change.row = -1;
    else if (!isChannelRow(change.row))
        return;
    ChangeSource::Kind source = ChangeSource::current();
    if (source == ChangeSource::Operator && code == factoryResetCode)
        source = ChangeSource::ResetToDefaults;
    // A gain set on a grouped channel comes from its group's move, started inside the model.
    if (source == ChangeSource::Operator && code == setGainCode &&
        m_units.at(slot)->channel(change.row)->group())
        source = ChangeSource::GroupMove;
    noteChange(Event::Changed, slot, change, source);
}

void ShowLog::changeRefused(int slot, int row, const QString &role, const QVariant &value)
{
    Change change;
    change.row = row;
    const bool valued = value.isValid();
    const auto switchChange = [&](const QString &setting) {
        change.setting = setting;
        change.op = valued ? Change::Set : Change::Toggle;
        change.value = onOff(value.toBool());
    };
    const auto &table = converterSettings();
    const int number = PreampModel::roleNumber(role);
    const auto converter = std::find_if(
        table.begin(), table.end(), [number](const auto &entry) { return entry.role == number; });
    // A step has a role name but no role number.
    const bool step = role == QLatin1String("gainUpRole") || role == QLatin1String("gainDownRole");
    if (step) {
        change.setting = gainSetting;
        change.isGain = true;
        change.op = Change::Step;
        change.step = role == QLatin1String("gainUpRole") ? 1 : -1;
    } else if (number == PreampModel::PhantomRole) {
        switchChange(phantomSetting);
    } else if (number == PreampModel::PhaseRole) {
        switchChange(phaseSetting);
    } else if (number == PreampModel::RibbonRole) {
        switchChange(ribbonSetting);
    } else if (number == PreampModel::GainRole && valued) {
        change.setting = gainSetting;
        change.isGain = true;
        change.step = value.toInt();
        change.value = GainScale::text(change.step);
    } else if (number == PreampModel::NameRole && valued) {
        change.setting = nameSetting;
        change.value = value.toString();
    } else if (number == PreampModel::OverRole && !(valued && value.toBool())) {
        change.setting = overSetting;
        change.value = off;
    } else if (number == PreampModel::PreampNameRole && valued) {
        change.setting = unitNameSetting;
        change.row = -1;
        change.value = value.toString();
    } else if (converter != table.end() && valued) {
        change.setting = converter->setting;
        change.row = -1;
        change.value = label(converter->labels(), value.toInt());
    } else {
        return; // local settings, re-sends and requests change nothing on the unit
    }
    noteChange(Event::Refused, slot, change, ChangeSource::current());
}

void ShowLog::noteChange(Event event, int slot, const Change &change, ChangeSource::Kind source)
{
    UnitState &state = stateOf(slot);
    const qint64 t = now();
    const QString key = QStringLiteral("%1/%2/%3/%4/%5")
                            .arg(int(event))
                            .arg(slot)
                            .arg(change.row)
                            .arg(change.setting)
                            .arg(int(source));
    auto it = m_changes.find(key);
    const bool continues =
        it != m_changes.end() && t - std::max(it->entry.timeMs, it->entry.lastMs) <= changeWindowMs;
    if (it != m_changes.end() && !continues) {
        finish(*it);
        m_changes.erase(it);
        it = m_changes.end();
    }
    const QString known = knownKey(change.row, change.setting);
    const QString before = continues ? it->entry.newValue : state.known.value(known);
    const int channelStep = isChannelRow(change.row) ? state.gainStep[change.row] : -1;
    const int beforeStep =
        continues ? it->gainStep : (state.known.contains(known) ? channelStep : -1);
    QString after = change.value;
    int afterStep = change.isGain && change.op == Change::Set ? change.step : -1;
    if (change.op == Change::Toggle) {
        after = before == on ? off : before == off ? on : QStringLiteral("toggled");
    } else if (change.op == Change::Step && beforeStep < 0) {
        after = change.step > 0 ? QStringLiteral("step up") : QStringLiteral("step down");
    } else if (change.op == Change::Step) {
        afterStep = qBound(Commands::minGain, beforeStep + change.step, Commands::maxGain);
        after = GainScale::text(afterStep);
    }
    // What was sent is the old value of the next change, until the unit reports.
    const bool definite = afterStep >= 0 || change.op == Change::Set || after == on || after == off;
    if (event == Event::Changed && definite) {
        state.known.insert(known, after);
        if (afterStep >= 0 && isChannelRow(change.row))
            state.gainStep[change.row] = afterStep;
    }

    if (continues) {
        it->entry.newValue = after;
        ++it->entry.count;
        it->entry.lastMs = t;
        it->gainStep = afterStep;
        it->closesAfterMs = t + changeWindowMs;
        gatheringChanged(*it);
        return;
    }
    if (change.op != Change::Toggle && !before.isEmpty() && after == before)
        return; // sent again as it stands: a full sync, a re-sent converter setting
    Gathering gathering;
    gathering.entry = newEntry(event, slot, change.row);
    gathering.entry.setting = change.setting;
    gathering.entry.oldValue = before;
    gathering.entry.newValue = after;
    gathering.entry.source = ChangeSource::name(source);
    gathering.entry.open = true;
    gathering.gainStep = afterStep;
    gathering.closesAfterMs = t + changeWindowMs;
    gathering.handle = record(gathering.entry);
    m_changes.insert(key, gathering);
    if (!m_closeTimer.isActive())
        m_closeTimer.start();
}

// --- Presets ---------------------------------------------------------------------------------

void ShowLog::presetStored(const QUrl &file)
{
    if (file.toString() == PresetLoader::closingPresetText)
        return; // part of closing, which has its own entry
    const QString path = PresetLoader::localPath(file);
    const QFileInfo info(path);
    // The loader has just written it, or has left the file as it was.
    const bool written =
        info.isFile() && info.lastModified().secsTo(QDateTime::currentDateTime()) <= 5;
    ShowLogEntry entry = newEntry(written ? Event::PresetStored : Event::PresetStoreFailed);
    entry.presetFile = path.isEmpty() ? file.fileName() : info.fileName();
    record(entry);
}

void ShowLog::presetRecalled(const QUrl &file, int loadType)
{
    const QString path = PresetLoader::localPath(file);
    ShowLogEntry entry = newEntry(Event::PresetRecalled);
    entry.presetFile = path.isEmpty() ? file.fileName() : QFileInfo(path).fileName();
    entry.loadType = loadType;
    record(entry);
}

// --- Export ----------------------------------------------------------------------------------

QString ShowLog::exportCsv(const QUrl &file)
{
    QString path = file.isLocalFile() ? file.toLocalFile() : QString();
    if (path.isEmpty())
        return QStringLiteral("Choose a file on this computer to export to.");
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    m_model->flush();
    QVector<ShowLogEntry> listed;
    listed.reserve(m_filter->rowCount());
    for (int row = m_filter->rowCount() - 1; row >= 0; --row)
        listed << m_model->at(m_filter->mapToSource(m_filter->index(row, 0)).row());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || !ShowLogCsv::write(out, listed) || !out.commit()) {
        const QString error = QStringLiteral("Cannot write %1: %2").arg(path, out.errorString());
        qCWarning(lcSystem).noquote() << "Show log:" << error;
        return error;
    }
    qCDebug(lcSystem) << "Show log: exported" << listed.size() << "entries to" << path;
    return QString();
}
