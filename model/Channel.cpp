#include "model/Channel.h"

#include <QDebug>

#include <algorithm>

#include "device/Commands.h"
#include "device/Logging.h"

namespace {

bool insideRange(int gain)
{
    return gain >= 1 && gain <= 67;
}

} // namespace

Channel::Channel(QObject *parent) : QObject(parent) {}

void Channel::setPhantom(bool value)
{
    m_phantom = value;
    emit phantomChanged();
}

void Channel::setPhase(bool value)
{
    m_phase = value;
    emit phaseChanged();
}

void Channel::setRibbon(bool value)
{
    m_ribbon = value;
    emit ribbonChanged();
}

void Channel::setGroup(bool value)
{
    m_group = value;
    m_groupGain = value ? m_gain : 0;
    m_requestedGain.reset();
    emit groupChanged();
}

void Channel::setGroupName(int value)
{
    m_groupName = value;
    emit groupNameChanged();
}

void Channel::setGain(int value)
{
    m_gain = value;
    emit gainChanged();
}

void Channel::setName(const QString &value)
{
    m_name = value;
    emit nameChanged();
}

void Channel::setNumber(int value)
{
    m_number = value;
    emit numberChanged();
}

void Channel::setMeterLevel(int value)
{
    m_meterLevel = value;
    emit meterLevelChanged();
}

void Channel::setPeakValue(int value)
{
    m_peakLevel = value;
    emit peakValueChanged();
}

void Channel::setScribbleStrip(const QString &value)
{
    m_scribbleStrip = value;
    emit scribbleStripChanged();
}

void Channel::setOver(bool value)
{
    m_over = value;
    emit overChanged();
}

void Channel::setGroupGain(int value)
{
    m_groupGain = value;
    qCDebug(lcUnit) << "Group gain changed: " << value;
    emit groupGainChanged();
}

void Channel::moveGroupGain(int value)
{
    setGroupGain(value);
    requestGain(value);
}

void Channel::requestGain(int gain)
{
    m_requestedGain = std::clamp(gain, Commands::minGain, Commands::maxGain);
    m_reportsSinceRequest = 0;
}

void Channel::noteReportedGain(int reported, bool statusReport)
{
    if (!m_requestedGain)
        return;
    if (reported == *m_requestedGain
            ? statusReport || !m_group
            : statusReport && ++m_reportsSinceRequest >= reportsUntilRequestLapses)
        m_requestedGain.reset();
}

void Channel::followReportedGain(int reported)
{
    if (m_requestedGain)
        return;
    if (reported != m_groupGain && (insideRange(m_groupGain) || insideRange(reported)))
        setGroupGain(reported);
}
