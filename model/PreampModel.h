#pragma once

#include <QAbstractListModel>
#include <QJsonObject>
#include <QList>
#include <QQmlListProperty>
#include <QString>
#include <QVariant>
#include <QVector>

#include <array>

#include "device/Commands.h"
#include "device/UnitAddress.h"
#include "model/Channel.h"
#include "model/LinkMonitor.h"
#include "model/UnitState.h"

class QTimer;

// One unit slot: the unit's address and identity, its converter settings and clock state, its
// link state, and its eight channels (one list row each).
//
// Reports (PreampModelReports.cpp): the transport broadcasts every reply to all twelve models;
// each model keeps only the reports that carry its own ipAddr (UnitAddress::sameUnit: the same
// text, a host name in any case).
//
// Roles (PreampModelRoles.cpp): one table names every role and says how it is read and stored.
// PreampModel.cpp holds the rest, the link lifecycle, the operator changes and the gain groups,
// in one file of over 400 lines: they write the same fields through the same send path.
//
// Link state (online): 0 offline, 1 status overdue, 2 online. The model's LinkMonitor keeps it
// and drives it with its three repeating timers (the status poll, the meter poll and the
// watchdog); the model sends the polls it asks for and publishes its transitions.
//
// The model's own code writes the unit-level fields directly, without their property signals;
// only writes through the property system (from QML) emit them, on a real change, and the link
// state's onlineChanged also when the unit comes online. What the interface binds to is the
// model's "live" UnitState, which signals every real change of those values, whoever made it,
// just before the dataChanged that goes with it.
//
// Ownership: the eight channels, the link monitor (with its timers) and the live state are
// children of the model and live as long as it does; nothing adds, removes or replaces channels.
class PreampModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int preampID MEMBER m_preampID NOTIFY idChanged)
    Q_PROPERTY(int sampleRate MEMBER m_sampleRate NOTIFY sampleRateChanged)
    Q_PROPERTY(int clkSource MEMBER m_clkSource NOTIFY clkSourceChanged)
    Q_PROPERTY(int outFormat MEMBER m_outFormat NOTIFY outFormatChanged)
    Q_PROPERTY(int clkOutSource MEMBER m_clkOutSource NOTIFY clkOutSourceChanged)
    Q_PROPERTY(int online READ online WRITE writeOnline NOTIFY onlineChanged)
    Q_PROPERTY(bool clkStatus MEMBER m_clkStatus NOTIFY clkStatusChanged)
    Q_PROPERTY(QString preampName MEMBER m_preampName NOTIFY preampNameChanged)
    Q_PROPERTY(QString ipAddr MEMBER m_ipAddr NOTIFY ipAddrChanged)
    Q_PROPERTY(QQmlListProperty<Channel> channels READ channels CONSTANT)
    Q_PROPERTY(UnitState *live READ live CONSTANT)

public:
    enum Roles
    {
        IdRole = Qt::UserRole + 1,
        OnlineRole,
        ClkStatusRole,
        SampleRateRole,
        ClkSourceRole,
        OutFormatRole,
        ClkOutSourceRole,
        PreampNameRole,
        PhantomRole,
        PhaseRole,
        RibbonRole,
        GroupRole,
        GroupNameRole,
        GainRole,
        NameRole,
        NumberRole,
        MeterLevelRole,
        OverRole,
        ScribbleStripRole,
    };
    Q_ENUM(Roles)

    enum LinkState
    {
        Offline = 0,
        StatusOverdue = 1,
        Online = 2
    };
    Q_ENUM(LinkState)

    static constexpr int channelCount = Commands::channelCount;
    static constexpr int awakeStatusIntervalMs = 500;
    static constexpr int asleepStatusIntervalMs = 2000;
    static constexpr int offlineStatusIntervalMs = 5000;
    static constexpr int meterIntervalMs = 60;
    static constexpr int awakeWatchdogMs = 2000;
    static constexpr int asleepWatchdogMs = 8000;
    static constexpr int expiriesUntilOffline = 3;
    static constexpr int overLevel = 63;

    explicit PreampModel(QObject *parent = nullptr);

    // Role name ("gainRole") to role number; Qt::UserRole for a name no role has.
    static int roleNumber(const QString &roleName);

    // QAbstractListModel. The model always answers eight rows and indexes without range checks.
    QVariant data(const QModelIndex &index, int role) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QModelIndex index(int row, int column = 0,
                      const QModelIndex &parent = QModelIndex()) const override;
    QHash<int, QByteArray> roleNames() const override;
    // Stores a value by role number without any online test, log line or command.
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    Q_INVOKABLE QVariant getData(const QVariant &index, const QString &role) const;
    Q_INVOKABLE QVariant getData(const QModelIndex &index, const QString &role) const;

    // Operator changes. setProperty sets a role to a value and sends the matching command to an
    // online unit; propertyChange acts on a role without a value (toggle on the unit, step the
    // gain, re-send a converter setting, clear the over). Edits that would reach a unit that is
    // not online are dropped, not queued.
    Q_INVOKABLE bool setProperty(const QVariant &index, const QString &name, const QVariant &value);
    using QObject::setProperty; // keeps the property-system write visible beside the invokable
    Q_INVOKABLE bool propertyChange(const QVariant &index, const QString &name);

    // Pushes the stored unit and channel settings to the unit: always 45 commands.
    Q_INVOKABLE void sendAllToPreamp();
    Q_INVOKABLE void setToDefault();

    // Link lifecycle, called by the window as pages are shown and hidden.
    Q_INVOKABLE void init();
    Q_INVOKABLE void sleep();
    Q_INVOKABLE void disconnect();
    Q_INVOKABLE void ping();
    Q_INVOKABLE void setIP(const QString &address);

    QQmlListProperty<Channel> channels();

    // Plain accessors for the preset and system code; they emit nothing.
    int preampID() const { return m_preampID; }
    int online() const { return m_link->state(); }
    bool clkStatus() const { return m_clkStatus; }
    int sampleRate() const { return m_sampleRate; }
    int clkSource() const { return m_clkSource; }
    int outFormat() const { return m_outFormat; }
    int clkOutSource() const { return m_clkOutSource; }
    QString preampName() const { return m_preampName; }
    QString ipAddr() const { return m_ipAddr; }
    UnitState *live() const { return m_live; }
    void setSampleRate(int value) { m_sampleRate = value; }
    void setClkSource(int value) { m_clkSource = value; }
    void setOutFormat(int value) { m_outFormat = value; }
    void setClkOutSource(int value) { m_clkOutSource = value; }
    // Valid positions are 0 to 7; the caller keeps to them.
    Channel *channel(int index) const { return m_channels.at(index); }
    QList<Channel *> channelList() const { return m_channels; }

    // Link internals, read by the interface and by tests.
    QTimer *statusTimer() const { return m_link->statusTimer(); }
    QTimer *meterTimer() const { return m_link->meterTimer(); }
    QTimer *netTimer() const { return m_link->netTimer(); }
    bool isPinged() const { return m_link->isPinged(); }
    bool isMeterEnabled() const { return m_link->isMeterEnabled(); }
    bool isCommunicating() const { return m_link->isCommunicating(); }
    int timeoutCount() const { return m_link->timeoutCount(); }

signals:
    void idChanged(int value);
    void sampleRateChanged(int value);
    void clkSourceChanged(int value);
    void outFormatChanged(int value);
    void clkOutSourceChanged(int value);
    void onlineChanged(int value);
    void clkStatusChanged(bool value);
    void preampNameChanged();
    void ipAddrChanged();

    void pingReceived();
    void netErr();
    void offline();
    void sendCommand(const QString &ip, const QString &command);
    // Declared here rather than inherited: the interface connects to the model's own signal by
    // name, and every emission carries an empty role list, meaning all roles.
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QVector<int> &roles = QVector<int>());
    // A relative gain change of a gain group, for every model (this one included).
    void groupGainChange(int groupID, int value);
    // An operator's change that did not reach the unit because it is not online (setProperty's
    // role and value; propertyChange's role with no value), for the show log.
    void changeRefused(int row, const QString &role, const QVariant &value);

public slots:
    void statusUpdated(const QJsonObject &document, const QString &address);
    void channelUpdated(const QJsonObject &document, const QString &address);
    void adcUpdated(const QJsonObject &document, const QString &address);
    void newMeterData(const QJsonObject &document, const QString &address);
    void errorReceived(const QString &error, const QString &address);

    // Moves this unit's members of the group by value steps and sends each its absolute gain.
    void groupGainUpdate(int groupID, int value);

    void statusTrigger();
    void meterTrigger();
    void netTimeout();

private slots:
    // A failed request pauses the meter polls until the next good report; the status poll goes
    // on, and only the watchdog declares the unit offline.
    void pauseMetersAfterError();

private:
    struct RoleAccess
    {
        int number;
        const char *invokableName; // used by getData, setProperty and propertyChange
        const char *publishedName; // published by roleNames()
        QVariant (*read)(const PreampModel &, const Channel &);
        void (*write)(PreampModel &, Channel &, const QVariant &);
    };
    static const std::array<RoleAccess, 19> &roles();
    static const RoleAccess *roleAccess(int role);
    static bool isChannelRow(int row) { return row >= 0 && row < channelCount; }
    QVariant roleValue(int row, int role) const;
    bool isOwnAddress(const QString &address) const
    {
        return UnitAddress::sameUnit(address, m_ipAddr);
    }
    bool isOnline() const { return m_link->isOnline(); }
    bool isReportForThisUnit(const QJsonObject &document, const QString &address) const;
    // The property system's write: emits onlineChanged, and only on a real change.
    void writeOnline(int value);
    void applyConverter(const QJsonObject &adc);
    Channel *channelForEntry(const QJsonObject &entry) const;
    void emitRowsChanged(int firstRow, int lastRow);
    bool applySetting(int row, const QString &name, const QVariant &value);
    bool applyChannelSetting(int row, int role, const QVariant &value);
    bool applyAction(int row, const QString &name);
    void stepGain(Channel *ch, int n, bool up);
    bool changeConverter(int &field, int value, const QString &command);
    void send(const QString &command) { emit sendCommand(m_ipAddr, command); }

    int m_preampID = 0;
    bool m_clkStatus = false;
    int m_sampleRate = 0;
    int m_clkSource = 0;
    int m_outFormat = 0;
    int m_clkOutSource = 0;
    QString m_preampName;
    QString m_ipAddr = UnitAddress::unset;
    LinkMonitor *m_link;
    UnitState *m_live;
    QList<Channel *> m_channels;
};
