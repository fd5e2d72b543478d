#include "system/RecallPreview.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QUrl>

#include <algorithm>
#include <array>

#include "device/Commands.h"
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
struct UnitSnapshot
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
UnitSnapshot reportedState(const PreampModel *model)
{
    UnitSnapshot state;
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
UnitSnapshot sentState(const PreampModel *model, const PresetFile::UnitSettings &settings)
{
    UnitSnapshot state;
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
QVector<Change> changesBetween(const UnitSnapshot *before, const UnitSnapshot &after)
{
    QVector<Change> changes;
    const auto add = [&](Setting setting, int channel, const QVariant &old, const QVariant &now) {
        if (!before || old != now)
            changes.append({setting, channel, before ? old : QVariant(), now});
    };
    const UnitSnapshot none;
    const UnitSnapshot &old = before ? *before : none;
    add(Setting::UnitName, 0, old.name, after.name);
    add(Setting::SampleRate, 0, old.sampleRate, after.sampleRate);
    add(Setting::ClockSource, 0, old.clkSource, after.clkSource);
    add(Setting::OutputFormat, 0, old.outFormat, after.outFormat);
    add(Setting::ClockOutSource, 0, old.clkOutSource, after.clkOutSource);
    for (int row = 0; row < Commands::channelCount; ++row) {
        const UnitSnapshot::Channel &was = old.channels.at(row);
        const UnitSnapshot::Channel &now = after.channels.at(row);
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

// The slot whose copy describes the unit at an address, -1 if none: the recalling slot if it is
// in use and holds the address, else the first slot in use that does (slots beyond hold copies
// from an earlier use, not polled since), else the recalling slot, else any slot that does.
int holderOf(const QString &address, int slot, const QList<PreampModel *> &models, int active)
{
    const auto holds = [&](int k) {
        return UnitAddress::sameUnit(address, models.at(k)->ipAddr());
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

// One slot of the recall, as the loader runs it: the address it takes, then the full sync of
// the preset's settings to the unit at that address.
RecallPreview::Unit previewSlot(const SystemManager &manager, const ReportAges &ages, int slot,
                                const QJsonObject &preset, int loadType,
                                QHash<QString, UnitSnapshot> *sent, QStringList *problems)
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
    const UnitSnapshot before = sent->contains(key) ? sent->value(key)
                                : known             ? reportedState(models.at(holder))
                                                    : UnitSnapshot();
    const UnitSnapshot after = sentState(model, settings);
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
        if (UnitAddress::sameUnit(address, model->ipAddr()) && model->isPinged())
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
    QHash<QString, UnitSnapshot> sent;
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
