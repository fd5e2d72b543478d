#include "system/ShowLogCsv.h"

#include <QIODevice>

namespace ShowLogCsv {
namespace {

const QByteArray lineEnd = QByteArrayLiteral("\r\n");

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') &&
        !bytes.contains('\n'))
        return bytes;
    bytes.replace('"', QByteArrayLiteral("\"\""));
    return '"' + bytes + '"';
}

QString number(qint64 value, qint64 none)
{
    return value == none ? QString() : QString::number(value);
}

QByteArray line(const QStringList &fields)
{
    QByteArray bytes;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            bytes += ',';
        bytes += field(fields.at(i));
    }
    return bytes + lineEnd;
}

} // namespace

QStringList columns()
{
    return {
        QStringLiteral("time"),       QStringLiteral("kind"),        QStringLiteral("event"),
        QStringLiteral("slot"),       QStringLiteral("address"),     QStringLiteral("unit_id"),
        QStringLiteral("unit_name"),  QStringLiteral("channel"),     QStringLiteral("channel_name"),
        QStringLiteral("setting"),    QStringLiteral("old_value"),   QStringLiteral("new_value"),
        QStringLiteral("source"),     QStringLiteral("count"),       QStringLiteral("last_time"),
        QStringLiteral("duration_s"), QStringLiteral("preset_file"), QStringLiteral("load_type"),
        QStringLiteral("description")};
}

QByteArray header()
{
    return line(columns());
}

QByteArray row(const ShowLogEntry &entry)
{
    const bool gathers =
        entry.kind() == ShowLogEntry::Kind::Over || entry.kind() == ShowLogEntry::Kind::Change;
    return line({entry.timeText(), ShowLogEntry::kindName(entry.kind()),
                 ShowLogEntry::eventName(entry.event), number(entry.slot, 0), entry.address,
                 number(entry.unitId, 0), entry.unitName, number(entry.channel, 0),
                 entry.channelName, entry.setting, entry.oldValue, entry.newValue, entry.source,
                 gathers ? QString::number(entry.count) : QString(), entry.lastTimeText(),
                 entry.durationMs < 0 ? QString()
                                      : QString::number(double(entry.durationMs) / 1000.0, 'f', 1),
                 entry.presetFile, number(entry.loadType, 0), entry.description()});
}

bool write(QIODevice &device, const QVector<ShowLogEntry> &entries)
{
    if (device.write(header()) < 0)
        return false;
    for (const ShowLogEntry &entry : entries) {
        if (device.write(row(entry)) < 0)
            return false;
    }
    return true;
}

} // namespace ShowLogCsv
