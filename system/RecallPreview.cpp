#include "system/RecallPreview.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QUrl>

#include <algorithm>
#include <array>

#include "device/Commands.h"
#include "device/ConverterValues.h"
#include "device/ReplyDocument.h"
#include "device/UnitAddress.h"
#include "model/PreampModel.h"
#include "system/GainScale.h"
#include "system/PresetFile.h"
#include "system/PresetLoader.h"
#include "system/ReportAges.h"
#include "system/SystemManager.h"

namespace {

using Setting = RecallPreview::Setting;
using Change = RecallPreview::Change;

// What a unit holds of the settings a recall sends it.
struct UnitState
{
    QString name;
    int sampleRate = 0;
    int clkSource = 0;
    int outFormat = 0;
    int clkOutSource = 0;
    struct Channel
    {
        QString name;
        bool ribbon = false;
        bool phase = false;
        bool phantom = false;
        int gain = 0;
    };
    std::array<Channel, Commands::channelCount> channels;
};

// The controller's copy: the gain is the one the unit reported, not a group's view of it.
UnitState reportedState(const PreampModel *model)
{
    UnitState state;
    state.name = model->preampName();
    state.sampleRate = model->sampleRate();
    state.clkSource = model->clkSource();
    state.outFormat = model->outFormat();
    state.clkOutSource = model->clkOutSource();
    for (int row = 0; row < Commands::channelCount; ++row) {
        const Channel *ch = model->channel(row);
        state.channels[row] = {ch->name(), ch->ribbon(), ch->phase(), ch->phantom(),
                               ch->reportedGain()};
    }
    return state;
}

// What the full sync of a slot sends: the preset's settings, and the slot's own values where
// the preset has none the loader takes (the unit name, converter codes outside their tables).
UnitState sentState(const PreampModel *model, const PresetFile::UnitSettings &settings)
{
    UnitState state;
    state.name = model->preampName();
    state.sampleRate = settings.sampleRate.value_or(model->sampleRate());
    state.clkSource = settings.clkSource.value_or(model->clkSource());
    state.outFormat = settings.outFormat.value_or(model->outFormat());
    state.clkOutSource = settings.clkOutSource.value_or(model->clkOutSource());
    for (int row = 0; row < Commands::channelCount; ++row) {
        const PresetFile::ChannelSettings &c = settings.channels.at(row);
        // The unit keeps a gain inside its range; a group's view may run beyond it.
        state.channels[row] = {c.name, c.ribbon, c.phase, c.phantom,
                               qBound(Commands::minGain, c.gain, Commands::maxGain)};
    }
    return state;
}

// Every setting of `after` that differs from `before`; with no `before` every setting counts.
QVector<Change> changesBetween(const UnitState *before, const UnitState &after)
{
    QVector<Change> changes;
    const auto add = [&](Setting setting, int channel, const QVariant &old, const QVariant &now) {
        if (!before || old != now)
            changes.append({setting, channel, before ? old : QVariant(), now});
    };
    const UnitState none;
    const UnitState &old = before ? *before : none;
    add(Setting::UnitName, 0, old.name, after.name);
    add(Setting::SampleRate, 0, old.sampleRate, after.sampleRate);
    add(Setting::ClockSource, 0, old.clkSource, after.clkSource);
    add(Setting::OutputFormat, 0, old.outFormat, after.outFormat);
    add(Setting::ClockOutSource, 0, old.clkOutSource, after.clkOutSource);
    for (int row = 0; row < Commands::channelCount; ++row) {
        const UnitState::Channel &was = old.channels.at(row);
        const UnitState::Channel &now = after.channels.at(row);
        const int channel = row + 1;
        add(Setting::ChannelName, channel, was.name, now.name);
        add(Setting::Ribbon, channel, was.ribbon, now.ribbon);
        add(Setting::Phase, channel, was.phase, now.phase);
        add(Setting::Phantom, channel, was.phantom, now.phantom);
        // Phantom power switched on (the change just added) where a ribbon microphone is, or
        // may be, plugged in.
        const bool phantomGoesOn = now.phantom && !(before && was.phantom);
        if (phantomGoesOn && (now.ribbon || (before && was.ribbon)))
            changes.last().ribbonPhantom = true;
        add(Setting::Gain, channel, was.gain, now.gain);
    }
    return changes;
}

bool holdsAddress(const PreampModel *model, const QString &address)
{
    return model->ipAddr().compare(address, Qt::CaseInsensitive) == 0;
}

// The slot whose copy describes the unit at an address, -1 if none: the recalling slot if it is
// in use and holds the address, else the first slot in use that does (slots beyond hold copies
// from an earlier use, not polled since), else the recalling slot, else any slot that does.
int holderOf(const QString &address, int slot, const QList<PreampModel *> &models, int active)
{
    const auto holds = [&](int k) {
        return holdsAddress(models.at(k), address);
    };
    if (slot < active && holds(slot))
        return slot;
    for (int k = 0; k < active; ++k) {
        if (holds(k))
            return k;
    }
    if (holds(slot))
        return slot;
    for (int k = active; k < models.size(); ++k) {
        if (holds(k))
            return k;
    }
    return -1;
}

// A value from the file as it is written there.
QString jsonText(const QJsonValue &value)
{
    if (value.isUndefined())
        return QStringLiteral("nothing");
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// The file's converter keys, as the loader reads them, and the settings they are.
Setting converterSetting(const QString &key)
{
    return key == QLatin1String("sampleRate")  ? Setting::SampleRate
           : key == QLatin1String("clkSource") ? Setting::ClockSource
           : key == QLatin1String("outFormat") ? Setting::OutputFormat
                                               : Setting::ClockOutSource;
}

const QStringList &codeLabels(Setting setting)
{
    switch (setting) {
    case Setting::SampleRate:
        return ConverterValues::sampleRates();
    case Setting::ClockSource:
        return ConverterValues::clockSources();
    case Setting::OutputFormat:
        return ConverterValues::outputFormats();
    default:
        return ConverterValues::clockOutSources();
    }
}

QString secondsText(qint64 ms)
{
    return QStringLiteral("%1 s").arg((ms + 500) / 1000);
}

QString countText(int count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// One slot of the recall, as the loader runs it: the address it takes, then the full sync of
// the preset's settings to the unit at that address.
RecallPreview::Unit previewSlot(const SystemManager &manager, const ReportAges &ages, int slot,
                                const QJsonObject &preset, int loadType,
                                QHash<QString, UnitState> *sent, QStringList *problems)
{
    using Copy = RecallPreview::Copy;
    const QList<PreampModel *> models = manager.preamps();
    const int active = manager.activePreamps();
    const PreampModel *model = models.at(slot);
    RecallPreview::Unit unit;
    unit.slot = slot;
    unit.slotInUse = slot < active;
    unit.address = model->ipAddr();
    if (PresetLoader::restoresAddresses(loadType)) {
        unit.address = PresetFile::address(preset);
        if (unit.address != model->ipAddr())
            unit.changes.append({Setting::Address, 0, model->ipAddr(), unit.address});
    }
    const QString key = unit.address.toLower();
    const bool noUnit = UnitAddress::isUnset(unit.address);
    const int holder = noUnit ? -1 : holderOf(unit.address, slot, models, active);
    unit.unitInUse = holder >= 0 && holder < active;
    if (holder >= 0) {
        unit.name = models.at(holder)->preampName();
        unit.linkState = models.at(holder)->online();
        unit.ageMs = ages.age(unit.address);
    }
    const bool known = sent->contains(key) || unit.ageMs >= 0;
    unit.copy = noUnit ? Copy::NoUnit : known ? Copy::Reported : Copy::NotReported;
    if (!PresetLoader::restoresSettings(loadType) || noUnit)
        return unit;

    const PresetFile::UnitSettings settings = PresetFile::settings(preset);
    for (const auto &[field, value] : settings.refusedCodes)
        *problems << QStringLiteral("Slot %1: the file's %2 (%3) is no code the units know; the "
                                    "recall would not take it over.")
                         .arg(slot + 1)
                         .arg(RecallPreview::settingLabel(converterSetting(field)).toLower(),
                              jsonText(value));
    const UnitState before = sent->contains(key) ? sent->value(key)
                             : known             ? reportedState(models.at(holder))
                                                 : UnitState();
    const UnitState after = sentState(model, settings);
    unit.changes += changesBetween(known ? &before : nullptr, after);
    sent->insert(key, after);
    return unit;
}

} // namespace

RecallPreview::RecallPreview(SystemManager *manager, QObject *parent)
    : QObject(parent), m_manager(manager)
{}

void RecallPreview::statusUpdated(const QJsonObject &document, const QString &address)
{
    if (document.isEmpty())
        return;
    for (const PreampModel *model : m_manager->preamps()) {
        if (holdsAddress(model, address) && model->isPinged())
            return;
    }
    m_ages.record(address);
}

RecallPreview::Result RecallPreview::compute(const QString &path, int loadType) const
{
    Result result;
    const QList<PreampModel *> models = m_manager->preamps();
    const int active = m_manager->activePreamps();
    result.unitsBefore = active;
    result.groupsBefore = m_manager->groups();

    const PresetFile::Document document = PresetFile::read(path);
    result.content = document.content;
    if (!document.refusal.isEmpty()) {
        result.refused = true;
        result.problems << document.refusal;
        return result;
    }
    const QJsonObject &root = document.root;
    const QJsonValue count = root.value(QLatin1String("activePreamps"));
    if (!count.isDouble() || count.toDouble() != ReplyDocument::readInt(count))
        result.problems << QStringLiteral("The file holds JSON, but not a preset: it gives no "
                                          "number of units (\"activePreamps\").");
    if (!root.value(QLatin1String("preamps")).isArray())
        result.problems << QStringLiteral("The file holds JSON, but not a preset: it holds no "
                                          "list of units (\"preamps\").");
    result.unitsAfter = SystemManager::clampedCount(PresetFile::unitCount(root));
    result.groupsAfter = PresetFile::groups(root);

    // What earlier slots of this recall send, by address in lower case.
    QHash<QString, UnitState> sent;
    for (int slot = 0; slot < result.unitsAfter; ++slot) {
        const Unit unit = previewSlot(*m_manager, m_ages, slot, PresetFile::unit(root, slot),
                                      loadType, &sent, &result.problems);
        for (const Change &change : unit.changes)
            result.ribbonWarnings += change.ribbonPhantom;
        result.changeCount += unit.changes.size();
        result.offlineCount += unit.unitInUse && unit.linkState == PreampModel::Offline;
        result.units.append(unit);
    }
    for (int slot = result.unitsAfter; slot < active; ++slot) {
        Unit unit;
        unit.slot = slot;
        unit.address = models.at(slot)->ipAddr();
        unit.name = models.at(slot)->preampName();
        result.leaving.append(unit);
    }
    return result;
}

void RecallPreview::build(const QVariant &filename, int loadType)
{
    m_path = PresetLoader::localPath(filename.toUrl());
    m_result = compute(m_path, loadType);
    emit changed();
}

bool RecallPreview::fileUnchanged() const
{
    return PresetFile::read(m_path).content == m_result.content;
}

QString RecallPreview::settingLabel(Setting setting)
{
    switch (setting) {
    case Setting::Address:
        return QStringLiteral("Address");
    case Setting::UnitName:
        return QStringLiteral("Unit name");
    case Setting::SampleRate:
        return QStringLiteral("Sample rate");
    case Setting::ClockSource:
        return QStringLiteral("Clock source");
    case Setting::OutputFormat:
        return QStringLiteral("Output format");
    case Setting::ClockOutSource:
        return QStringLiteral("Clock out");
    case Setting::ChannelName:
        return QStringLiteral("Name");
    case Setting::Ribbon:
        return QStringLiteral("Ribbon");
    case Setting::Phase:
        return QStringLiteral("Phase");
    case Setting::Phantom:
        return QStringLiteral("48V");
    case Setting::Gain:
        return QStringLiteral("Gain");
    }
    return QString();
}

QString RecallPreview::valueText(Setting setting, const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("?");
    switch (setting) {
    case Setting::Ribbon:
    case Setting::Phase:
    case Setting::Phantom:
        return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    case Setting::Gain:
        return GainScale::text(value.toInt());
    case Setting::SampleRate:
    case Setting::ClockSource:
    case Setting::OutputFormat:
    case Setting::ClockOutSource:
        return codeLabels(setting).value(value.toInt(),
                                         QStringLiteral("code %1").arg(value.toInt()));
    case Setting::Address:
        return value.toString().isEmpty() ? QStringLiteral("(empty)") : value.toString();
    case Setting::UnitName:
    case Setting::ChannelName:
        break;
    }
    return value.toString().isEmpty() ? QStringLiteral("(empty)")
                                      : QLatin1Char('"') + value.toString() + QLatin1Char('"');
}

QString RecallPreview::summary() const
{
    if (m_result.refused)
        return QStringLiteral("Nothing can be recalled from this file.");
    int beyond = 0;
    int notReported = 0;
    for (const Unit &unit : m_result.units) {
        beyond += !unit.slotInUse;
        notReported += unit.copy == Copy::NotReported;
    }
    QStringList parts{countText(m_result.units.size(), "unit", "units"),
                      countText(m_result.changeCount, "change", "changes"),
                      countText(m_result.offlineCount, "unit offline", "units offline")};
    if (beyond > 0)
        parts << countText(beyond, "slot beyond the units in use", "slots beyond the units in use");
    if (notReported > 0)
        parts << countText(notReported, "unit not heard from", "units not heard from");
    return parts.join(QStringLiteral(", "));
}

QStringList RecallPreview::notes() const
{
    QStringList notes;
    if (m_result.refused)
        return notes;
    if (m_result.unitsAfter != m_result.unitsBefore)
        notes << QStringLiteral("Units in use: %1 \u2192 %2")
                     .arg(m_result.unitsBefore)
                     .arg(m_result.unitsAfter);
    for (const Unit &unit : m_result.leaving)
        notes << QStringLiteral("Slot %1 (%2 %3) leaves the units in use; it is sent nothing.")
                     .arg(unit.slot + 1)
                     .arg(unit.address, unit.name);
    if (m_result.groupsAfter != m_result.groupsBefore)
        notes << QStringLiteral("Gain groups: %1 \u2192 %2")
                     .arg(QStringList(m_result.groupsBefore).join(QStringLiteral(", ")),
                          QStringList(m_result.groupsAfter).join(QStringLiteral(", ")));
    qint64 newest = -1;
    qint64 oldest = -1;
    for (const Unit &unit : m_result.units) {
        if (unit.ageMs < 0)
            continue;
        newest = newest < 0 ? unit.ageMs : std::min(newest, unit.ageMs);
        oldest = std::max(oldest, unit.ageMs);
    }
    if (oldest >= 0)
        notes << QStringLiteral("Old values: the units' last reports, %1 ago. The units are not "
                                "polled while the recall dialog is open.")
                     .arg(secondsText(newest) == secondsText(oldest)
                              ? secondsText(oldest)
                              : secondsText(newest) + QStringLiteral(" to ") + secondsText(oldest));
    return notes;
}

QVariantList RecallPreview::rows() const
{
    QVariantList rows;
    for (const Unit &unit : m_result.units) {
        QString state;
        QString stateKind;
        if (unit.copy == Copy::NoUnit) {
            state = QStringLiteral("no unit: nothing is sent");
            stateKind = QStringLiteral("none");
        } else if (!unit.unitInUse) {
            state = unit.slotInUse ? QStringLiteral("not in use") : QString();
            stateKind = QStringLiteral("unknown");
        } else if (unit.linkState == PreampModel::Online) {
            state = QStringLiteral("online");
            stateKind = QStringLiteral("online");
        } else if (unit.linkState == PreampModel::StatusOverdue) {
            state = QStringLiteral("status overdue");
            stateKind = QStringLiteral("overdue");
        } else {
            state = QStringLiteral("offline");
            stateKind = QStringLiteral("offline");
        }
        if (!unit.slotInUse)
            state += (state.isEmpty() ? QString() : QStringLiteral(", ")) +
                     QStringLiteral("slot beyond the units in use");
        QStringList title{QStringLiteral("Slot %1").arg(unit.slot + 1), unit.address};
        if (!unit.name.isEmpty())
            title << unit.name;
        rows << QVariantMap{{QStringLiteral("kind"), QStringLiteral("unit")},
                            {QStringLiteral("title"), title.join(QStringLiteral("  \u00b7  "))},
                            {QStringLiteral("state"), state},
                            {QStringLiteral("stateKind"), stateKind},
                            {QStringLiteral("age"),
                             unit.copy == Copy::NoUnit ? QString()
                             : unit.ageMs < 0
                                 ? QStringLiteral("not heard from since the program started")
                                 : QStringLiteral("reported %1 ago").arg(secondsText(unit.ageMs))}};
        for (const Change &change : unit.changes) {
            rows << QVariantMap{
                {QStringLiteral("kind"), QStringLiteral("change")},
                {QStringLiteral("where"), change.channel > 0
                                              ? QStringLiteral("Ch %1").arg(change.channel)
                                              : QStringLiteral("Unit")},
                {QStringLiteral("setting"), settingLabel(change.setting)},
                {QStringLiteral("before"), valueText(change.setting, change.before)},
                {QStringLiteral("after"), valueText(change.setting, change.after)},
                {QStringLiteral("warning"), change.ribbonPhantom}};
        }
        if (unit.changes.isEmpty() && unit.copy != Copy::NoUnit)
            rows << QVariantMap{{QStringLiteral("kind"), QStringLiteral("note")},
                                {QStringLiteral("text"), QStringLiteral("No changes.")}};
    }
    return rows;
}
