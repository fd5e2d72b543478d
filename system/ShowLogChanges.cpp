// The show log's change entries: what each command the controller sends, and each edit a model
// refuses, changes on a unit in the log's words, and the old value it is told against, which the
// unit's reports give and the commands sent since update. Kept apart from the entries of links,
// clocks, overs, presets and the program (ShowLog.cpp), which only watch.

#include "system/ShowLog.h"

#include <QJsonArray>

#include <algorithm>
#include <array>

#include "device/ConverterValues.h"
#include "device/ReplyDocument.h"
#include "device/UnitAddress.h"
#include "model/PreampModel.h"
#include "system/GainScale.h"

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

} // namespace

// What the unit says of its settings is the old value of the next change.
void ShowLog::rememberSettings(UnitState &state, const QJsonObject &document)
{
    using namespace ReplyDocument;
    for (const QJsonValue &value : document.value(channelsKey).toArray()) {
        const QJsonObject channel = value.toObject();
        const int row = readInt(channel.value(channelNoKey)) - 1;
        if (!isChannelRow(row))
            continue;
        state.known.insert(knownKey(row, phantomSetting),
                           onOff(readSwitch(channel.value(phantomKey))));
        state.known.insert(knownKey(row, phaseSetting), onOff(readSwitch(channel.value(phaseKey))));
        state.known.insert(knownKey(row, ribbonSetting),
                           onOff(readSwitch(channel.value(ribbonKey))));
        state.known.insert(knownKey(row, overSetting), onOff(readSwitch(channel.value(overKey))));
        state.known.insert(knownKey(row, nameSetting), readText(channel.value(channelNameKey)));
        state.gainStep[row] = readInt(channel.value(gainKey));
        state.known.insert(knownKey(row, gainSetting), GainScale::text(state.gainStep[row]));
    }
    const QJsonObject adc = document.value(adcKey).toObject();
    if (has(document, adcKey)) {
        for (const ConverterSetting &converter : converterSettings())
            state.known.insert(knownKey(-1, converter.setting),
                               label(converter.labels(), readInt(adc.value(converter.key))));
    }
    if (has(document, sysKey))
        state.known.insert(knownKey(-1, unitNameSetting),
                           readText(document.value(sysKey).toObject().value(unitNameKey)));
}

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
