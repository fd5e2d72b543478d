#pragma once

#include <QAbstractListModel>
#include <QSet>
#include <QTimer>
#include <QVector>

#include "system/ShowLogEntry.h"

// The show log's entries for the log view, newest first (row 0), held oldest first so that a new
// entry is one append and one row inserted at the top: the model is never rebuilt for an entry.
//
// An entry that is still gathering (overs of a channel, a held gain button) changes many times a
// second in a clip storm. update() only notes the change; the views hear of all changes together
// at most every flushMs, in one dataChanged per changed row.
//
// At most capacity entries are held; beyond that the oldest rows go, a batch at a time. Each
// entry keeps the handle add() gave it as long as it is held.
class ShowLogModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles
    {
        KindRole = Qt::UserRole + 1,
        EventRole,
        TimeRole,
        SlotRole,
        UnitRole,
        AddressRole,
        ChannelRole,
        DescriptionRole,
        AlarmRole,
        OpenRole
    };
    Q_ENUM(Roles)

    static constexpr int defaultCapacity = 50000;
    static constexpr int flushMs = 500;

    explicit ShowLogModel(int capacity = defaultCapacity, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Replaces everything, as when the stored log is read at start.
    void reset(const QVector<ShowLogEntry> &oldestFirst);
    // Puts a new entry at the top and returns its handle.
    qint64 add(const ShowLogEntry &entry);
    // Null once the entry has gone for want of room.
    const ShowLogEntry *find(qint64 handle) const;
    void update(qint64 handle, const ShowLogEntry &entry);
    // Tells the views of every change noted since the last time; flushMs after the first.
    void flush();

    const ShowLogEntry &at(int row) const { return m_entries.at(m_entries.size() - 1 - row); }
    int capacity() const { return m_capacity; }

private:
    int indexOf(qint64 handle) const;

    const int m_capacity;
    QVector<ShowLogEntry> m_entries; // oldest first
    qint64 m_firstHandle = 0;
    QSet<qint64> m_changed;
    QTimer m_flushTimer;
};
