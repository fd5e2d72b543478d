#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariantList>
#include <QVector>

#include <array>
#include <functional>
#include <memory>

#include "device/Commands.h"
#include "system/ChangeSource.h"
#include "system/ShowLogEntry.h"

class PreampModel;
class ShowLogFilter;
class ShowLogModel;
class ShowLogStore;
class SystemManager;

// The show log: what happened to which unit, and when, recorded as it happens, kept on disk by a
// ShowLogStore and listed by the log view (the "showLog" context property).
//
// It records by watching, and changes nothing it watches:
// - link: a unit's first answer (online), the first watchdog expiry (overdue), the declaration
//   offline, and the first answer after either (back, with the time since the unit's last answer
//   before it fell silent), from the transport's reports and the models' signals;
// - clock: the converter clock's lock lost and regained (with how long it was unlocked), read
//   from every status and converter report;
// - overs: a meter reading at the over level, or an over the unit latched between readings. The
//   overs of one channel within overWindowMs of its entry's first become that entry (first and
//   last time, count), so a clip storm writes at most one entry per channel per 10 s;
// - changes the controller sends, from each model's sendCommand read back with Commands::parse:
//   the setting, the old value (the unit's last report, or what was sent since) and the new one,
//   and the source (ChangeSource). The same setting of the same channel again within
//   changeWindowMs of its last step continues the entry, so a held gain button or a group move is
//   one entry ("gain 20 → 35"). A change the model refused because the unit is not online is
//   recorded as refused; one that would change nothing is not recorded;
// - presets stored and recalled, and the program started and closed.
// Each entry carries the unit's slot, address, ID and name, and the channel's number and name, as
// they were at that moment. Values are those the window shows: gains in dB as the strip shows
// them, switches on and off, converter settings by their labels.
//
// An entry that gathers (overs, a held change) is written when it opens and once more when it
// closes, under the same id, so a program that is killed keeps what it had gathered and loses at
// most the line being written.
//
// The alarm mark lights at every link or clock event but a first answer, unless the log view is
// open (viewing); opening it clears the mark.
//
// The change entries are worked out in ShowLogChanges.cpp, everything else in ShowLog.cpp.
//
// Time comes from the clock given (milliseconds since the epoch; the system clock by default).
// The gathering entries close from a timer; tests move the clock and call closeDueEntries().
//
// Ownership: the log owns its store, its model and the filter the view lists. It holds the
// manager's models and transport without owning them; they outlive it.
class ShowLog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool alarm READ alarm NOTIFY alarmChanged)
    Q_PROPERTY(bool viewing READ viewing WRITE setViewing NOTIFY viewingChanged)
    Q_PROPERTY(QObject *entries READ entries CONSTANT)
    Q_PROPERTY(QVariantList units READ units NOTIFY unitsChanged)
    Q_PROPERTY(QStringList kindLabels READ kindLabels CONSTANT)
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)

public:
    using Clock = std::function<qint64()>;

    static constexpr int overWindowMs = 10000;
    static constexpr int changeWindowMs = 2000;
    static constexpr int closeCheckMs = 250;

    // Reads the stored log into the view's model.
    explicit ShowLog(std::unique_ptr<ShowLogStore> store, Clock clock = {},
                     QObject *parent = nullptr);
    ~ShowLog() override;

    // Starts watching the manager's units, their transport and its presets. To see a report
    // after the models have taken it in, and a preset after the loader has handled it, this runs
    // after the manager has wired its models and the window has been connected to it.
    void watch(SystemManager *manager);

    void recordStarted();
    // Closes the gathering entries and records the end; only the first call counts.
    void recordClosed();

    ShowLogModel *model() const { return m_model; }
    ShowLogFilter *filter() const { return m_filter; }
    QObject *entries() const;
    bool alarm() const { return m_alarm; }
    bool viewing() const { return m_viewing; }
    void setViewing(bool viewing);
    // The units the log knows, for the view's unit filter: {key, label}, in order of appearance.
    QVariantList units() const { return m_unitList; }
    QStringList kindLabels() const;
    QString notice() const { return m_notice; }

    // Writes the entries the view lists, oldest first, as CSV (ShowLogCsv); returns what went
    // wrong, empty on success. A name without an extension gets ".csv".
    Q_INVOKABLE QString exportCsv(const QUrl &file);

public slots:
    void closeDueEntries();

signals:
    void alarmChanged();
    void viewingChanged();
    void unitsChanged();
    void noticeChanged();

private:
    enum class Report
    {
        Status,
        Channel,
        Converter,
        Meter
    };
    // What a unit last said of a setting (or was last sent), as the window shows it.
    struct UnitState
    {
        QString address; // the address the state belongs to; a new one starts afresh
        int link = -1;   // the link state last recorded; -1 before the first answer
        qint64 lastAnswerMs = -1;
        qint64 awaySinceMs = -1;
        int clock = -1; // -1 unknown, 0 unlocked, 1 locked
        qint64 unlockedSinceMs = -1;
        std::array<bool, Commands::channelCount> latchedOver{};
        std::array<int, Commands::channelCount> gainStep{};
        QHash<QString, QString> known; // "row/setting" (row -1 for the unit) -> value
    };
    // A change as a command or a refused edit states it.
    struct Change
    {
        enum Op
        {
            Set,
            Toggle,
            Step
        };
        QString setting;
        int row = -1;
        Op op = Set;
        QString value; // Set
        int step = 0;  // Step: +1 or -1; Set of a gain: the step
        bool isGain = false;
    };
    struct Gathering
    {
        qint64 handle = -1;
        ShowLogEntry entry;
        qint64 closesAfterMs = 0;
        int gainStep = -1;    // a gain entry's latest step
        bool changed = false; // since its line was written
    };

    static bool isChannelRow(int row) { return row >= 0 && row < Commands::channelCount; }
    qint64 now() const { return m_clock(); }
    ShowLogEntry newEntry(ShowLogEntry::Event event, int slot = -1, int row = -1);
    qint64 record(const ShowLogEntry &entry);
    void noteProblems(const QStringList &problems);
    void noteUnit(const ShowLogEntry &entry);
    UnitState &stateOf(int slot);

    void reportArrived(Report report, const QJsonObject &document, const QString &address);
    void takeReport(int slot, Report report, const QJsonObject &document);
    void checkOverdue(int slot);
    void wentOffline(int slot);
    void noteOver(int slot, int row);
    // Changes (ShowLogChanges.cpp).
    void rememberSettings(UnitState &state, const QJsonObject &document);
    void commandSent(int slot, const QString &command);
    void changeRefused(int slot, int row, const QString &role, const QVariant &value);
    void noteChange(ShowLogEntry::Event event, int slot, const Change &change,
                    ChangeSource::Kind source);
    void presetStored(const QUrl &file);
    void presetRecalled(const QUrl &file, int loadType);
    void gatheringChanged(Gathering &gathering);
    void finish(Gathering &gathering);

    std::unique_ptr<ShowLogStore> m_store;
    Clock m_clock;
    ShowLogModel *m_model;
    ShowLogFilter *m_filter;
    QList<PreampModel *> m_units;
    QVector<UnitState> m_states;
    QHash<int, Gathering> m_overs;       // slot * channelCount + row
    QHash<QString, Gathering> m_changes; // event, slot, row, setting, source
    QTimer m_closeTimer;
    QString m_session;
    qint64 m_nextId = 1;
    bool m_alarm = false;
    bool m_viewing = false;
    bool m_closed = false;
    bool m_previousRunUnclosed = false;
    QVariantList m_unitList;
    QHash<QString, int> m_unitIndex;
    QString m_notice;
};
