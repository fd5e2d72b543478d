// The recall preview in words, as the window lists it: the summary line, the notes, and one row
// per unit and per change with each setting's label and its values as the window shows them.
// Apart from working out what a recall would change (RecallPreview.cpp), which says nothing.

#include "system/RecallPreview.h"

#include <algorithm>

#include "device/ConverterValues.h"
#include "model/PreampModel.h"
#include "system/GainScale.h"

namespace {

using Setting = RecallPreview::Setting;

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

} // namespace

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
