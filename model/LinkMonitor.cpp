#include "model/LinkMonitor.h"

#include <QDebug>
#include <QTimer>

#include <utility>

#include "device/Logging.h"
#include "model/PreampModel.h"

namespace {

QTimer *makePollTimer(QObject *owner)
{
    auto *timer = new QTimer(owner);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(false);
    return timer;
}

} // namespace

LinkMonitor::LinkMonitor(QObject *parent)
    : QObject(parent), m_statusTimer(makePollTimer(this)), m_meterTimer(makePollTimer(this)),
      m_netTimer(makePollTimer(this)), m_state(PreampModel::Offline)
{
    m_netTimer->setInterval(PreampModel::awakeWatchdogMs);
    connect(m_statusTimer, &QTimer::timeout, this, &LinkMonitor::statusDue);
    connect(m_meterTimer, &QTimer::timeout, this, &LinkMonitor::meterTick);
    connect(m_netTimer, &QTimer::timeout, this, &LinkMonitor::watchdogExpired);
}

bool LinkMonitor::isOnline() const
{
    return m_state == PreampModel::Online;
}

void LinkMonitor::start()
{
    emit statusDue();
    m_statusTimer->start(PreampModel::awakeStatusIntervalMs);
    m_meterTimer->start(PreampModel::meterIntervalMs);
    m_netTimer->start(PreampModel::awakeWatchdogMs);
    m_meterEnabled = true;
    m_communicating = true;
    m_metersPaused = false;
}

void LinkMonitor::sleep()
{
    m_statusTimer->setInterval(PreampModel::asleepStatusIntervalMs);
    m_meterTimer->stop();
    m_metersPaused = false;
    m_netTimer->setInterval(PreampModel::asleepWatchdogMs);
}

void LinkMonitor::stop()
{
    qCDebug(lcUnit) << "Stopping Communication";
    m_statusTimer->stop();
    m_meterTimer->stop();
    m_netTimer->stop();
    m_communicating = false;
    m_metersPaused = false;
}

void LinkMonitor::ping()
{
    m_state = PreampModel::Offline;
    m_pinged = true;
    emit statusDue();
}

void LinkMonitor::meterTick()
{
    if (m_meterEnabled && isOnline() && !m_metersPaused)
        emit metersDue();
}

void LinkMonitor::watchdogExpired()
{
    qCDebug(lcUnit) << "Network Timeout: Status not received in" << m_netTimer->interval()
                    << "miliseconds";
    ++m_timeoutCount;
    if (m_timeoutCount < PreampModel::expiriesUntilOffline) {
        m_meterTimer->stop();
        m_state = PreampModel::StatusOverdue;
        emit statusOverdue();
        return;
    }
    m_state = PreampModel::Offline;
    m_statusTimer->setInterval(PreampModel::offlineStatusIntervalMs);
    m_meterTimer->stop();
    m_netTimer->stop();
    emit wentOffline();
}

void LinkMonitor::pauseMeters()
{
    if (!m_meterTimer->isActive())
        return;
    m_meterTimer->stop();
    m_metersPaused = true;
}

void LinkMonitor::restartWatchdog()
{
    m_netTimer->start();
}

void LinkMonitor::reportAccepted()
{
    if (std::exchange(m_metersPaused, false) && isOnline())
        m_meterTimer->start(PreampModel::meterIntervalMs);
    if (isOnline())
        return;
    m_statusTimer->start(PreampModel::awakeStatusIntervalMs);
    m_meterTimer->start(PreampModel::meterIntervalMs);
    m_timeoutCount = 0;
    m_state = PreampModel::Online;
    qCDebug(lcUnit) << "online == " << m_state;
    emit cameOnline();
}
