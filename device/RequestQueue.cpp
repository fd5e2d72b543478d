#include "device/RequestQueue.h"

#include "device/Commands.h"

bool RequestQueue::isPoll(const QString &command)
{
    return command == Commands::statusCode || command == Commands::meterCode;
}

RequestQueue::Admission RequestQueue::add(const QString &command)
{
    if (isPoll(command)) {
        bool &waitingPoll = command == Commands::statusCode ? m_statusWaiting : m_meterWaiting;
        if (waitingPoll)
            return Admission::Merged;
        waitingPoll = true;
        return Admission::Queued;
    }
    const QString setting = Commands::settingKey(command);
    if (!setting.isEmpty()) {
        for (int i = 0; i < m_commands.size(); ++i) {
            if (m_commands.at(i).setting == setting) {
                m_commands.removeAt(i);
                m_commands.append(Waiting{command, setting});
                return Admission::Replaced;
            }
        }
    }
    if (m_commands.size() >= maxWaitingCommands)
        return Admission::Full;
    m_commands.append(Waiting{command, setting});
    return Admission::Queued;
}

std::optional<RequestQueue::Request> RequestQueue::takeNext()
{
    if (!m_commandBusy && !m_commands.isEmpty()) {
        m_commandBusy = true;
        return Request{m_commands.takeFirst().command, Lane::Command};
    }
    if (m_pollBusy)
        return std::nullopt;
    // The status poll first, and whatever the commands do: it is what keeps the unit's watchdog
    // satisfied.
    if (m_statusWaiting) {
        m_pollBusy = true;
        m_statusWaiting = false;
        return Request{Commands::statusCode, Lane::Poll};
    }
    // A unit that works on one request at a time would take a meter poll before the next
    // command, and each command of a burst would wait behind one.
    if (!m_meterWaiting || m_commandBusy || !m_commands.isEmpty())
        return std::nullopt;
    m_pollBusy = true;
    m_meterWaiting = false;
    return Request{Commands::meterCode, Lane::Poll};
}

void RequestQueue::release(Lane lane)
{
    (lane == Lane::Command ? m_commandBusy : m_pollBusy) = false;
}

int RequestQueue::waiting() const
{
    return m_commands.size() + int(m_statusWaiting) + int(m_meterWaiting);
}
