#include "system/ShowLogEntry.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <limits>

#include "device/Commands.h"
#include "system/SystemManager.h"

namespace {

using Event = ShowLogEntry::Event;
using Kind = ShowLogEntry::Kind;

// Each event with its kind and its name in the files and the export, in the order of Event.
struct EventInfo
{
    Event event;
    Kind kind;
    const char *name;
};
constexpr std::array<EventInfo, 14> events{{
    {Event::Online, Kind::Link, "online"},
    {Event::Overdue, Kind::Link, "overdue"},
    {Event::Offline, Kind::Link, "offline"},
    {Event::Back, Kind::Link, "back"},
    {Event::ClockLost, Kind::Clock, "lost"},
    {Event::ClockRegained, Kind::Clock, "regained"},
    {Event::Over, Kind::Over, "over"},
    {Event::Changed, Kind::Change, "changed"},
    {Event::Refused, Kind::Change, "refused"},
    {Event::PresetStored, Kind::Preset, "stored"},
    {Event::PresetStoreFailed, Kind::Preset, "store failed"},
    {Event::PresetRecalled, Kind::Preset, "recalled"},
    {Event::Started, Kind::Program, "started"},
    {Event::Closed, Kind::Program, "closed"},
}};

const EventInfo &infoOf(Event event)
{
    return events.at(size_t(event));
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

QString loadTypeText(int loadType)
{
    switch (loadType) {
    case 1:
        return QStringLiteral("addresses");
    case 2:
        return QStringLiteral("unit settings");
    case 3:
        return QStringLiteral("addresses and unit settings");
    }
    return QStringLiteral("load type %1").arg(loadType);
}

// The one form times take on disk: local date and time to the second and the offset.
const QRegularExpression
    isoPattern(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));

bool readTime(const QJsonValue &value, qint64 *ms, int *offset)
{
    const QString text = value.toString();
    if (!isoPattern.match(text).hasMatch())
        return false;
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid())
        return false;
    *ms = time.toMSecsSinceEpoch();
    *offset = time.offsetFromUtc();
    return true;
}

} // namespace

ShowLogEntry::Kind ShowLogEntry::kindOf(Event event)
{
    return infoOf(event).kind;
}

QString ShowLogEntry::kindName(Kind kind)
{
    return kindNames().value(int(kind));
}

QStringList ShowLogEntry::kindNames()
{
    static const QStringList names{QStringLiteral("link"),   QStringLiteral("clock"),
                                   QStringLiteral("over"),   QStringLiteral("change"),
                                   QStringLiteral("preset"), QStringLiteral("program")};
    return names;
}

QString ShowLogEntry::eventName(Event event)
{
    return QString::fromLatin1(infoOf(event).name);
}

bool ShowLogEntry::isAlarm() const
{
    return (kind() == Kind::Link || kind() == Kind::Clock) && event != Event::Online;
}

QString ShowLogEntry::unitKey() const
{
    if (unitId > 0)
        return QStringLiteral("id:%1").arg(unitId);
    return address.isEmpty() ? QString() : QStringLiteral("address:") + address;
}

QString ShowLogEntry::unitLabel() const
{
    if (unitId <= 0)
        return address;
    const QString id = QStringLiteral("ID %1").arg(unitId);
    return unitName.isEmpty() ? id : id + QStringLiteral(" · ") + unitName;
}

QString ShowLogEntry::description() const
{
    QString change = setting;
    if (!oldValue.isEmpty())
        change += QLatin1Char(' ') + oldValue;
    if (!newValue.isEmpty())
        change += QStringLiteral(" → ") + newValue;
    QString text;
    switch (event) {
    case Event::Online:
        text = QStringLiteral("online");
        break;
    case Event::Overdue:
        text = QStringLiteral("overdue: no answer for ") + seconds(durationMs);
        break;
    case Event::Offline:
        text = durationMs < 0 ? QStringLiteral("offline: never answered")
                              : QStringLiteral("offline: no answer for ") + seconds(durationMs);
        break;
    case Event::Back:
        text = QStringLiteral("back after ") + seconds(durationMs) + QStringLiteral(" away");
        break;
    case Event::ClockLost:
        text = QStringLiteral("clock lost");
        break;
    case Event::ClockRegained:
        text = QStringLiteral("clock regained after ") + seconds(durationMs) +
               QStringLiteral(" unlocked");
        break;
    case Event::Over:
        text = count == 1
                   ? QStringLiteral("over")
                   : QStringLiteral("%1 overs until %2").arg(count).arg(lastTimeText().mid(11, 8));
        break;
    case Event::Changed:
        text = change;
        break;
    case Event::Refused:
        text = change + QStringLiteral(" refused: unit not online");
        break;
    case Event::PresetStored:
        text = QStringLiteral("preset stored: ") + presetFile;
        break;
    case Event::PresetStoreFailed:
        text = QStringLiteral("preset not stored: ") + presetFile;
        break;
    case Event::PresetRecalled:
        text = QStringLiteral("preset recalled: %1 (%2)").arg(presetFile, loadTypeText(loadType));
        break;
    case Event::Started:
        text = QStringLiteral("program started");
        break;
    case Event::Closed:
        text = QStringLiteral("program closed");
        break;
    }
    return note.isEmpty() ? text : text + QStringLiteral(" (") + note + QLatin1Char(')');
}

QString ShowLogEntry::isoTime(qint64 ms, int offsetSeconds)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offsetSeconds);
    const int minutes = qAbs(offsetSeconds) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           (offsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QJsonObject ShowLogEntry::toJson() const
{
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("time"), timeText()},
                       {QStringLiteral("kind"), kindName(kind())},
                       {QStringLiteral("event"), eventName(event)}};
    const auto text = [&object](const char *key, const QString &value) {
        if (!value.isEmpty())
            object.insert(QLatin1String(key), value);
    };
    const auto number = [&object](const char *key, qint64 value, qint64 none) {
        if (value != none)
            object.insert(QLatin1String(key), double(value));
    };
    text("last", lastTimeText());
    number("count", count, 1);
    number("durationMs", durationMs, -1);
    number("slot", slot, 0);
    text("address", address);
    number("unitId", unitId, 0);
    text("unit", unitName);
    number("channel", channel, 0);
    text("channelName", channelName);
    text("setting", setting);
    text("old", oldValue);
    text("new", newValue);
    text("source", source);
    text("file", presetFile);
    number("loadType", loadType, 0);
    text("note", note);
    return object;
}

std::optional<ShowLogEntry> ShowLogEntry::fromJson(const QJsonObject &object)
{
    ShowLogEntry entry;
    entry.id = object.value(QLatin1String("id")).toString();
    const QString eventText = object.value(QLatin1String("event")).toString();
    const auto known = std::find_if(events.begin(), events.end(), [&](const EventInfo &info) {
        return eventText == QLatin1String(info.name);
    });
    if (entry.id.isEmpty() || known == events.end() ||
        object.value(QLatin1String("kind")).toString() != kindName(known->kind) ||
        !readTime(object.value(QLatin1String("time")), &entry.timeMs, &entry.offsetSeconds))
        return std::nullopt;
    entry.event = known->event;
    if (object.contains(QLatin1String("last"))) {
        int offset = 0;
        if (!readTime(object.value(QLatin1String("last")), &entry.lastMs, &offset))
            return std::nullopt;
    }
    const auto text = [&object](const char *key) {
        return object.value(QLatin1String(key)).toString();
    };
    const auto number = [&object](const char *key, qint64 none) {
        const QJsonValue value = object.value(QLatin1String(key));
        return value.isDouble() ? qint64(value.toDouble()) : none;
    };
    entry.count = int(qBound<qint64>(1, number("count", 1), std::numeric_limits<int>::max()));
    entry.durationMs = number("durationMs", -1);
    entry.slot = int(qBound<qint64>(0, number("slot", 0), SystemManager::slotCount));
    entry.address = text("address");
    entry.unitId = int(qBound<qint64>(0, number("unitId", 0), std::numeric_limits<int>::max()));
    entry.unitName = text("unit");
    entry.channel = int(qBound<qint64>(0, number("channel", 0), Commands::channelCount));
    entry.channelName = text("channelName");
    entry.setting = text("setting");
    entry.oldValue = text("old");
    entry.newValue = text("new");
    entry.source = text("source");
    entry.presetFile = text("file");
    entry.loadType = int(qBound<qint64>(0, number("loadType", 0), 3));
    entry.note = text("note");
    return entry;
}
