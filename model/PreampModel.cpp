#include "model/PreampModel.h"

#include <QDebug>

#include <algorithm>
#include <limits>

#include "device/Commands.h"
#include "device/Logging.h"

namespace {

// Gains from preset files and reports are any int, and group moves add to them: the sum stops at
// the ends of the int range instead of overflowing.
int saturatedSum(int a, qint64 b)
{
    return int(qBound<qint64>(std::numeric_limits<int>::min(), qint64(a) + b,
                              std::numeric_limits<int>::max()));
}

int channelsCount(QQmlListProperty<Channel> *list)
{
    return static_cast<QList<Channel *> *>(list->data)->size();
}

Channel *channelAt(QQmlListProperty<Channel> *list, int index)
{
    return static_cast<QList<Channel *> *>(list->data)->at(index);
}

} // namespace

PreampModel::PreampModel(QObject *parent)
    : QAbstractListModel(parent), m_link(new LinkMonitor(this)), m_live(new UnitState(this))
{
    connect(m_link, &LinkMonitor::statusDue, this, &PreampModel::statusTrigger);
    connect(m_link, &LinkMonitor::metersDue, this, [this] { send(Commands::meters()); });
    connect(m_link, &LinkMonitor::cameOnline, this, [this] {
        emit onlineChanged(online());
        m_live->follow(*this);
    });
    connect(m_link, &LinkMonitor::statusOverdue, this,
            [this] { emitRowsChanged(0, channelCount - 1); });
    connect(m_link, &LinkMonitor::wentOffline, this, [this] {
        emit offline();
        emitRowsChanged(0, channelCount - 1);
    });
    connect(this, &PreampModel::netErr, this, &PreampModel::pauseMetersAfterError);
    // Writes through the property system notify the model's own signals at once.
    const auto follow = [this] {
        m_live->follow(*this);
    };
    connect(this, &PreampModel::idChanged, this, follow);
    connect(this, &PreampModel::clkStatusChanged, this, follow);
    connect(this, &PreampModel::sampleRateChanged, this, follow);
    connect(this, &PreampModel::clkSourceChanged, this, follow);
    connect(this, &PreampModel::outFormatChanged, this, follow);
    connect(this, &PreampModel::clkOutSourceChanged, this, follow);
    connect(this, &PreampModel::preampNameChanged, this, follow);
    connect(this, &PreampModel::ipAddrChanged, this, follow);
    connect(this, &PreampModel::onlineChanged, this, follow);
    // The model where a group move starts is a member of its own group too.
    connect(this, &PreampModel::groupGainChange, this, &PreampModel::groupGainUpdate);
    for (int i = 0; i < channelCount; ++i)
        m_channels.append(new Channel(this));
}

QVariant PreampModel::data(const QModelIndex &index, int role) const
{
    return isChannelRow(index.row()) ? roleValue(index.row(), role) : QVariant();
}

int PreampModel::rowCount(const QModelIndex &) const
{
    return channelCount;
}

Qt::ItemFlags PreampModel::flags(const QModelIndex &) const
{
    return Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QModelIndex PreampModel::index(int row, int column, const QModelIndex &) const
{
    return createIndex(row, column);
}

QVariant PreampModel::getData(const QVariant &index, const QString &role) const
{
    const int number = roleNumber(role);
    const int row = index.toInt();
    if (!isChannelRow(row)) {
        qCDebug(lcUnit) << "GetData Failed: Index" << row << "out of Bounds";
        return QVariant();
    }
    return roleValue(row, number);
}

QVariant PreampModel::getData(const QModelIndex &index, const QString &role) const
{
    return getData(QVariant(index.row()), role);
}

QQmlListProperty<Channel> PreampModel::channels()
{
    // Read-only on purpose: without append and clear, no QML code can empty or grow the list
    // that every report and accessor indexes.
    return QQmlListProperty<Channel>(this, &m_channels, &channelsCount, &channelAt);
}

// --- Link lifecycle --------------------------------------------------------------------------

void PreampModel::init()
{
    m_link->start();
}

void PreampModel::sleep()
{
    m_link->sleep();
    qCDebug(lcUnit) << "Sleeping unit at:" << m_ipAddr;
}

void PreampModel::disconnect()
{
    m_link->stop();
}

void PreampModel::ping()
{
    m_link->ping();
}

void PreampModel::setIP(const QString &address)
{
    m_ipAddr = address;
    m_live->follow(*this);
}

void PreampModel::statusTrigger()
{
    emit sendCommand(m_ipAddr, Commands::status());
}

void PreampModel::meterTrigger()
{
    m_link->meterTick();
}

void PreampModel::netTimeout()
{
    m_link->watchdogExpired();
}

void PreampModel::pauseMetersAfterError()
{
    m_link->pauseMeters();
}

void PreampModel::writeOnline(int value)
{
    if (value == online())
        return;
    m_link->setState(value);
    emit onlineChanged(value);
}

void PreampModel::emitRowsChanged(int firstRow, int lastRow)
{
    m_live->follow(*this);
    emit dataChanged(index(firstRow, 0), index(lastRow, 0));
}

// --- Operator changes ------------------------------------------------------------------------

bool PreampModel::setProperty(const QVariant &index, const QString &name, const QVariant &value)
{
    const int row = index.toInt();
    qCDebug(lcUnit) << row << " " << name << " " << value << m_channels.size();
    if (!isChannelRow(row)) {
        qCDebug(lcUnit) << "Property Set Failed: Index out of Bounds";
        return false;
    }
    const int role = roleNumber(name);
    const bool refused =
        !isOnline() && role != IdRole && role != OnlineRole && role != ClkStatusRole;
    if (!applySetting(row, name, value)) {
        qCDebug(lcUnit) << "Property Set Failed: Unknown Role";
        return false;
    }
    if (refused)
        emit changeRefused(row, name, value);
    // Also when the guard dropped the change: the window then copies the model's unchanged
    // values back into the page.
    emitRowsChanged(row, row);
    qCDebug(lcUnit) << name << " changed";
    return true;
}

bool PreampModel::applySetting(int row, const QString &name, const QVariant &value)
{
    const int role = roleNumber(name);
    const int v = value.toInt();
    switch (role) {
    case IdRole:
        m_preampID = v;
        return true;
    case OnlineRole:
        if (v != online()) {
            qCDebug(lcUnit) << "Setting Online to:" << v;
            m_link->setState(v);
        }
        return true;
    case ClkStatusRole:
        if (value.toBool() != m_clkStatus)
            m_clkStatus = value.toBool();
        return true;
    case SampleRateRole:
        return changeConverter(m_sampleRate, v, Commands::setSampleRate(v));
    case ClkSourceRole:
        return changeConverter(m_clkSource, v, Commands::setClockSource(v));
    case OutFormatRole:
        return changeConverter(m_outFormat, v, Commands::setOutputFormat(v));
    case ClkOutSourceRole:
        return changeConverter(m_clkOutSource, v, Commands::setClockOutSource(v));
    case PreampNameRole:
        if (value.toString() != m_preampName && isOnline()) {
            m_preampName = value.toString();
            send(Commands::setUnitName(m_preampName));
        }
        return true;
    case NumberRole:
        return false; // set only by the unit's reports and setData
    default:
        return roleAccess(role) && applyChannelSetting(row, role, value);
    }
}

bool PreampModel::changeConverter(int &field, int value, const QString &command)
{
    if (value != field && isOnline()) {
        field = value;
        send(command);
    }
    return true;
}

bool PreampModel::applyChannelSetting(int row, int role, const QVariant &value)
{
    Channel *ch = m_channels.at(row);
    const int n = row + 1;
    const bool b = value.toBool();
    if (role == GainRole)
        qCDebug(lcUnit) << "Gain change on a grouped channel:" << ch->group();
    if (!isOnline())
        return true;
    switch (role) {
    case PhantomRole:
        ch->setPhantom(b);
        send(Commands::setPhantom(n, b));
        break;
    case PhaseRole:
        ch->setPhase(b);
        send(Commands::setPhase(n, b));
        break;
    case GroupRole:
        qCDebug(lcUnit) << "setting group role" << b;
        ch->setGroup(b);
        break;
    case RibbonRole:
        ch->setRibbon(b);
        send(Commands::setRibbon(n, b));
        break;
    case GroupNameRole:
        ch->setGroupName(value.toInt());
        break;
    case GainRole:
        // The gain itself changes only when the unit reports it. A grouped channel first moves
        // its whole group, itself included, by the difference.
        if (ch->group())
            emit groupGainChange(ch->groupName(), saturatedSum(value.toInt(), -qint64(ch->gain())));
        send(Commands::setGain(n, value.toInt()));
        ch->requestGain(value.toInt());
        break;
    case NameRole:
        qCDebug(lcUnit) << "Setting from setProperty";
        ch->setName(value.toString().trimmed());
        send(Commands::setChannelName(n, value.toString()));
        break;
    case ScribbleStripRole:
        ch->setScribbleStrip(value.toString());
        break;
    case OverRole:
        ch->setOver(b);
        if (!b)
            send(Commands::clearOver(n));
        break;
    case MeterLevelRole:
        ch->setMeterLevel(value.toInt());
        break;
    }
    return true;
}

bool PreampModel::propertyChange(const QVariant &index, const QString &name)
{
    const int row = index.toInt();
    if (!isChannelRow(row)) {
        qCDebug(lcUnit) << "Property Set Failed: Index out of Bounds";
        return false;
    }
    if (!applyAction(row, name)) {
        qCDebug(lcUnit) << "Property Set Failed: Unknown Role";
        return false;
    }
    emitRowsChanged(row, row);
    return true;
}

bool PreampModel::applyAction(int row, const QString &name)
{
    // The scribble strip lives only in the controller, so it is the one role accepted offline.
    if (name == QLatin1String("scribbleStripRole"))
        return true;
    if (!isOnline()) {
        emit changeRefused(row, name, QVariant());
        return false;
    }
    Channel *ch = m_channels.at(row);
    const int n = row + 1;
    if (name == QLatin1String("gainUpRole") || name == QLatin1String("gainDownRole")) {
        const bool up = name == QLatin1String("gainUpRole");
        if (ch->group())
            emit groupGainChange(ch->groupName(), up ? 1 : -1);
        else
            stepGain(ch, n, up);
        return true;
    }
    switch (roleNumber(name)) {
    case IdRole:
    case OnlineRole:
    case ClkStatusRole:
    case MeterLevelRole:
        return true;
    case SampleRateRole:
        send(Commands::setSampleRate(m_sampleRate));
        return true;
    case ClkSourceRole:
        send(Commands::setClockSource(m_clkSource));
        return true;
    case OutFormatRole:
        send(Commands::setOutputFormat(m_outFormat));
        return true;
    case ClkOutSourceRole:
        send(Commands::setClockOutSource(m_clkOutSource));
        return true;
    case PhantomRole:
        send(Commands::togglePhantom(n));
        return true;
    case PhaseRole:
        send(Commands::togglePhase(n));
        return true;
    case GroupRole:
        ch->setGroup(!ch->group());
        return true;
    case RibbonRole:
        send(Commands::toggleRibbon(n));
        return true;
    case NameRole:
        send(Commands::channelNameOnly(n));
        return true;
    case OverRole:
        send(Commands::clearOver(n));
        return true;
    default:
        return false; // includes preampNameRole, groupNameRole and gainRole
    }
}

// A step the unit has taken (its report shows the gain asked for) goes as a step. One that
// comes before that, as a held gain button's steps do at a slow unit, goes as the gain the steps
// have reached: the transport can then replace a waiting one with it, so the unit follows the
// operator instead of working through a backlog of steps long after the button is let go.
void PreampModel::stepGain(Channel *ch, int n, bool up)
{
    const std::optional<int> requested = ch->requestedGain();
    const int base = requested ? *requested : ch->reportedGain();
    const int target =
        std::clamp(saturatedSum(base, up ? 1 : -1), Commands::minGain, Commands::maxGain);
    if (requested)
        send(Commands::setGain(n, target));
    else
        send(up ? Commands::gainUp(n) : Commands::gainDown(n));
    ch->requestGain(target);
}

bool PreampModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const RoleAccess *access = roleAccess(role);
    if (!isChannelRow(index.row()) || !access)
        return false;
    access->write(*this, *m_channels.at(index.row()), value);
    m_live->follow(*this);
    emit dataChanged(index, index);
    return true;
}

// --- Gain groups -----------------------------------------------------------------------------

void PreampModel::groupGainUpdate(int groupID, int value)
{
    QList<int> memberRows;
    bool allAtTop = true;
    bool allAtBottom = true;
    for (int row = 0; row < channelCount; ++row) {
        const Channel *ch = m_channels.at(row);
        if (!ch->group() || ch->groupName() != groupID)
            continue;
        memberRows << row;
        allAtTop = allAtTop && ch->gain() >= Commands::maxGain;
        allAtBottom = allAtBottom && ch->gain() <= Commands::minGain;
    }
    // A group stops only when all its members on this unit are at the limit in the direction of
    // the move; single members are not clamped, so the group keeps its spacing.
    if ((allAtTop && value > 0) || (allAtBottom && value < 0))
        return;
    for (int row : qAsConst(memberRows)) {
        Channel *ch = m_channels.at(row);
        const int moved = saturatedSum(ch->gain(), value);
        qCDebug(lcUnit) << "Setting Group gain" << moved;
        ch->moveGroupGain(moved);
        send(Commands::setGain(row + 1, moved));
    }
    emitRowsChanged(0, channelCount - 1);
}

// --- Full sync and defaults ------------------------------------------------------------------

void PreampModel::sendAllToPreamp()
{
    qCDebug(lcUnit) << "Sending to Preamp at IP" << m_ipAddr;
    for (int row = 0; row < channelCount; ++row) {
        const Channel *ch = m_channels.at(row);
        const int n = row + 1;
        send(Commands::setChannelName(n, ch->name()));
        send(Commands::setRibbon(n, ch->ribbon()));
        send(Commands::setPhase(n, ch->phase()));
        send(Commands::setPhantom(n, ch->phantom()));
        send(Commands::setGain(n, ch->gain()));
    }
    send(Commands::setSampleRate(m_sampleRate));
    send(Commands::setUnitName(m_preampName));
    send(Commands::setClockOutSource(m_clkOutSource));
    send(Commands::setOutputFormat(m_outFormat));
    send(Commands::setClockSource(m_clkSource));
    emitRowsChanged(0, channelCount - 1);
}

void PreampModel::setToDefault()
{
    send(Commands::factoryReset());
}
