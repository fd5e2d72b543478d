#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// One entry of the show log: what happened to which unit (and channel), when, and where it came
// from, as ShowLog records it, ShowLogStore keeps it on disk, the log view lists it and the CSV
// export writes it.
//
// Times are milliseconds since the epoch together with the local offset from UTC at that moment,
// so an entry keeps the wall-clock time it was recorded at even when read back in another time
// zone. On disk and in the export they are ISO 8601 local times with their offset, to the second
// ("2026-05-01T21:03:04+02:00"); durations are measured in milliseconds before that rounding.
//
// Entries that gather several events (overs of a channel, steps of a held gain button) keep the
// time of the first in time and of the last in lastMs, and their number in count. The same id on
// a later line of the log replaces the earlier line: an entry is written when it opens and again
// when it closes, so a program that is killed keeps what it had gathered.
struct ShowLogEntry
{
    // The kinds the log view filters by, each event of one kind; their names are kindNames() in
    // this order.
    enum class Kind
    {
        Link,
        Clock,
        Over,
        Change,
        Preset,
        Program
    };
    static constexpr int kindCount = 6;

    enum class Event
    {
        Online,        // link: first answer since the program started or the address was set
        Overdue,       // link: the watchdog expired once
        Offline,       // link: declared offline
        Back,          // link: answering again after overdue or offline; durationMs away
        ClockLost,     // clock: the converter clock is not locked
        ClockRegained, // clock: locked again; durationMs unlocked
        Over,          // over: count overs of one channel from time to lastMs
        Changed,       // change: the controller sent setting old -> new
        Refused,       // change: not sent, the unit was not online
        PresetStored,
        PresetStoreFailed,
        PresetRecalled,
        Started,
        Closed
    };

    QString id;
    Event event = Event::Started;
    qint64 timeMs = 0;
    int offsetSeconds = 0; // local time's offset from UTC at timeMs
    qint64 lastMs = -1;    // the last event an entry gathered; -1 for a single one
    int count = 1;
    qint64 durationMs = -1; // overdue, offline, back, regained; -1 for none

    // The unit at that moment: slot 1 to 12, 0 for none.
    int slot = 0;
    QString address;
    int unitId = 0;
    QString unitName;
    // The channel, 1 to 8, 0 for the unit as a whole.
    int channel = 0;
    QString channelName;

    // Changes: the setting as the operator knows it ("gain", "48V", "sample rate"), the values
    // as the window shows them (an empty old value: not known), and where the change came from.
    QString setting;
    QString oldValue;
    QString newValue;
    QString source;

    // Presets: the file's name and, for a recall, the load type (1 addresses, 2 unit settings,
    // 3 both).
    QString presetFile;
    int loadType = 0;

    QString note;      // a remark that fits no field ("never answered")
    bool open = false; // still gathering; not stored

    Kind kind() const { return kindOf(event); }
    static Kind kindOf(Event event);
    static QString kindName(Kind kind);
    static QStringList kindNames();
    static QString eventName(Event event);
    // Alarming events: every link and clock event but a unit's first answer.
    bool isAlarm() const;

    // The filter key of the unit: its ID once known, else its address; empty without a unit.
    QString unitKey() const;
    QString unitLabel() const;
    // One line for a person: "back after 11.2 s away", "gain 20 → 35".
    QString description() const;

    // A local ISO 8601 time with offset, to the second.
    static QString isoTime(qint64 ms, int offsetSeconds);
    QString timeText() const { return isoTime(timeMs, offsetSeconds); }
    QString lastTimeText() const { return lastMs < 0 ? QString() : isoTime(lastMs, offsetSeconds); }

    QJsonObject toJson() const;
    // Nothing for an object that is not a whole entry.
    static std::optional<ShowLogEntry> fromJson(const QJsonObject &object);
};
