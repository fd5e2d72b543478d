#pragma once

#include <QObject>
#include <QString>

#include <optional>

// One input channel of a unit, exposed to QML so a channel strip can bind to it directly.
//
// The property writers emit their change signal on every call, also when the value is unchanged:
// reports rewrite every channel on each status poll and the strips rely on that stream.
//
// While the channel takes part in a gain group (group is true) the gain property reads the
// group's view of the gain (groupGain), which may run beyond the unit's 0 to 68 range; the gain
// field keeps what the unit last reported.
class Channel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool phantom READ phantom WRITE setPhantom NOTIFY phantomChanged)
    Q_PROPERTY(bool phase READ phase WRITE setPhase NOTIFY phaseChanged)
    Q_PROPERTY(bool ribbon READ ribbon WRITE setRibbon NOTIFY ribbonChanged)
    Q_PROPERTY(bool group READ group WRITE setGroup NOTIFY groupChanged)
    Q_PROPERTY(int groupName READ groupName WRITE setGroupName NOTIFY groupNameChanged)
    Q_PROPERTY(int gain READ gain WRITE setGain NOTIFY gainChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(int number READ number WRITE setNumber NOTIFY numberChanged)
    Q_PROPERTY(int meterLevel READ meterLevel WRITE setMeterLevel NOTIFY meterLevelChanged)
    Q_PROPERTY(int peakLevel READ peakLevel WRITE setPeakValue NOTIFY peakValueChanged)
    Q_PROPERTY(
        QString scribbleStrip READ scribbleStrip WRITE setScribbleStrip NOTIFY scribbleStripChanged)
    Q_PROPERTY(bool over READ over WRITE setOver NOTIFY overChanged)

public:
    explicit Channel(QObject *parent = nullptr);

    bool phantom() const { return m_phantom; }
    bool phase() const { return m_phase; }
    bool ribbon() const { return m_ribbon; }
    bool group() const { return m_group; }
    int groupName() const { return m_groupName; }
    // The group's gain while grouped, the reported gain otherwise.
    int gain() const { return m_group ? m_groupGain : m_gain; }
    // The gain the unit last reported, whatever the group state.
    int reportedGain() const { return m_gain; }
    QString name() const { return m_name; }
    int number() const { return m_number; }
    int meterLevel() const { return m_meterLevel; }
    int peakLevel() const { return m_peakLevel; }
    QString scribbleStrip() const { return m_scribbleStrip; }
    bool over() const { return m_over; }
    int groupGain() const { return m_groupGain; }

    void setPhantom(bool value);
    void setPhase(bool value);
    void setRibbon(bool value);
    // Re-bases the group gain on every write: the reported gain when joining, 0 when leaving.
    // Emits groupChanged only, although the gain property may now read differently.
    void setGroup(bool value);
    void setGroupName(int value);
    void setGain(int value);
    void setName(const QString &value);
    void setNumber(int value);
    void setMeterLevel(int value);
    void setPeakValue(int value);
    void setScribbleStrip(const QString &value);
    void setOver(bool value);
    void setGroupGain(int value);

    // The gain the operator last asked the unit for (an entered gain, a step, a group move),
    // within the unit's range, for as long as the unit has not reported it: status polls go on
    // while commands wait for a slow unit, so reports may show the unit before it has taken
    // them. Nothing while no such request is outstanding.
    std::optional<int> requestedGain() const { return m_requestedGain; }
    void requestGain(int gain);
    // Ends the wait for the requested gain: a request to the unit failed, so the gain may never
    // come, or the channel's gain was re-based.
    void dropRequestedGain() { m_requestedGain.reset(); }
    // A gain the unit reported. A report showing the requested gain ends the wait: a status
    // report always, a channel report (the answer to a command for this channel) for an
    // ungrouped channel. After reportsUntilRequestLapses status reports showing another gain
    // since the operator's last change the wait lapses, so a unit that never takes a value
    // cannot hold the channel's steps to it. Grouped channels then bring their group gain in
    // line (followReportedGain).
    void noteReportedGain(int reported, bool statusReport);
    static constexpr int reportsUntilRequestLapses = 4;

    // Brings the group gain back in line with a gain a status report carried, for a grouped
    // channel: not while a requested gain is outstanding, as the report may predate the move and
    // following it would make the next step count from there, losing a step. Otherwise, inside
    // the range the group gain follows the unit; a member pushed past a limit keeps its
    // overshoot while the unit reports that limit, so the group keeps its spacing.
    void followReportedGain(int reported);
    // An operator's move of the group: the group gain takes the moved value at once, and the
    // unit is asked for it.
    void moveGroupGain(int value);

signals:
    void phantomChanged();
    void phaseChanged();
    void ribbonChanged();
    void groupChanged();
    void groupNameChanged();
    void gainChanged();
    void nameChanged();
    void numberChanged();
    void meterLevelChanged();
    void peakValueChanged();
    void scribbleStripChanged();
    void overChanged();
    void groupGainChanged();

private:
    bool m_phantom = false;
    bool m_phase = false;
    bool m_ribbon = false;
    bool m_group = false;
    int m_groupName = 0;
    int m_gain = 0;
    QString m_name = QStringLiteral("Channel");
    int m_number = 0;
    int m_meterLevel = 0;
    int m_peakLevel = 0;
    bool m_over = false;
    QString m_scribbleStrip;
    int m_groupGain = 0;
    std::optional<int> m_requestedGain;
    int m_reportsSinceRequest = 0;
};
