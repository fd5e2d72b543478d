#include "model/LinkMonitor.h"

#include <QDebug>
#include <QTimer>

#include "model/PreampModel.h"
#include "system/Logging.h"

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
}

void LinkMonitor::sleep()
{
    m_statusTimer->setInterval(PreampModel::asleepStatusIntervalMs);
    m_meterTimer->stop();
    m_netTimer->setInterval(PreampModel::asleepWatchdogMs);
}

void LinkMonitor::stop()
{
    qCDebug(lcUnit) << "Stopping Communication";
    m_statusTimer->stop();
    m_meterTimer->stop();
    m_netTimer->stop();
    m_communicating = false;
}

void LinkMonitor::ping()
{
    m_state = PreampModel::Offline;
    m_pinged = true;
    emit statusDue();
}

void LinkMonitor::meterTick()
{
    if (m_meterEnabled && isOnline())
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
    if (m_communicating && !m_statusTimer->isActive())
        m_statusTimer->start(); // an earlier failed request had stopped it; recovery polls anyway
    m_meterTimer->stop();
    m_netTimer->stop();
    emit wentOffline();
}

bool LinkMonitor::isRecovering() const
{
    // Declared offline by the watchdog (which then stops) while still being communicated with;
    // stop() clears communicating and start() restarts the watchdog.
    return m_communicating && m_state == PreampModel::Offline && !m_netTimer->isActive();
}

void LinkMonitor::stopPollsAfterError()
{
    if (!isRecovering())
        m_statusTimer->stop();
    m_meterTimer->stop();
}

void LinkMonitor::restartWatchdog()
{
    m_netTimer->start();
}

void LinkMonitor::comeOnline()
{
    if (isOnline())
        return;
    m_statusTimer->start(PreampModel::awakeStatusIntervalMs);
    m_meterTimer->start(PreampModel::meterIntervalMs);
    m_timeoutCount = 0;
    m_state = PreampModel::Online;
    qCDebug(lcUnit) << "online == " << m_state;
    emit cameOnline();
}
