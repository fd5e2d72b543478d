#include "system/ShowLogModel.h"

#include <algorithm>

namespace {

// The time as the list shows it: the local date and time recorded, without the offset.
QString listTime(const ShowLogEntry &entry)
{
    return entry.timeText().left(19).replace(QLatin1Char('T'), QLatin1Char(' '));
}

} // namespace

ShowLogModel::ShowLogModel(int capacity, QObject *parent)
    : QAbstractListModel(parent), m_capacity(std::max(1, capacity))
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(flushMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ShowLogModel::flush);
}

int ShowLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_entries.size();
}

QVariant ShowLogModel::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.row() >= m_entries.size())
        return QVariant();
    const ShowLogEntry &entry = at(index.row());
    switch (role) {
    case KindRole:
        return int(entry.kind());
    case EventRole:
        return ShowLogEntry::eventName(entry.event);
    case TimeRole:
        return listTime(entry);
    case SlotRole:
        return entry.slot;
    case UnitRole:
        return entry.unitLabel();
    case AddressRole:
        return entry.address;
    case ChannelRole:
        return entry.channel == 0
                   ? QString()
                   : QStringLiteral("%1 %2").arg(entry.channel).arg(entry.channelName);
    case DescriptionRole:
        return entry.open ? entry.description() + QStringLiteral(" …") : entry.description();
    case AlarmRole:
        return entry.isAlarm();
    case OpenRole:
        return entry.open;
    }
    return QVariant();
}

QHash<int, QByteArray> ShowLogModel::roleNames() const
{
    return {{KindRole, "kind"},       {EventRole, "event"},
            {TimeRole, "time"},       {SlotRole, "slot"},
            {UnitRole, "unit"},       {AddressRole, "address"},
            {ChannelRole, "channel"}, {DescriptionRole, "description"},
            {AlarmRole, "alarm"},     {OpenRole, "open"}};
}

void ShowLogModel::reset(const QVector<ShowLogEntry> &oldestFirst)
{
    beginResetModel();
    m_firstHandle += m_entries.size();
    m_entries = oldestFirst.mid(std::max(0, oldestFirst.size() - m_capacity));
    m_changed.clear();
    endResetModel();
}

qint64 ShowLogModel::add(const ShowLogEntry &entry)
{
    beginInsertRows(QModelIndex(), 0, 0);
    m_entries.append(entry);
    endInsertRows();
    const qint64 handle = m_firstHandle + m_entries.size() - 1;
    // The oldest go in batches, so that a full log does not remove a row for every one added.
    const int excess = m_entries.size() - m_capacity;
    if (excess > m_capacity / 8) {
        beginRemoveRows(QModelIndex(), m_capacity, m_entries.size() - 1);
        m_entries.remove(0, excess);
        m_firstHandle += excess;
        endRemoveRows();
    }
    return handle;
}

int ShowLogModel::indexOf(qint64 handle) const
{
    const qint64 index = handle - m_firstHandle;
    return index >= 0 && index < m_entries.size() ? int(index) : -1;
}

const ShowLogEntry *ShowLogModel::find(qint64 handle) const
{
    const int index = indexOf(handle);
    return index < 0 ? nullptr : &m_entries.at(index);
}

void ShowLogModel::update(qint64 handle, const ShowLogEntry &entry)
{
    const int index = indexOf(handle);
    if (index < 0)
        return;
    m_entries[index] = entry;
    m_changed.insert(handle);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ShowLogModel::flush()
{
    m_flushTimer.stop();
    for (qint64 handle : qAsConst(m_changed)) {
        const int index = indexOf(handle);
        if (index < 0)
            continue;
        const QModelIndex row = this->index(m_entries.size() - 1 - index);
        emit dataChanged(row, row);
    }
    m_changed.clear();
}
