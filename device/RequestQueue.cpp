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
    if (m_commands.size() >= maxWaitingCommands)
        return Admission::Full;
    m_commands.enqueue(command);
    return Admission::Queued;
}

std::optional<RequestQueue::Request> RequestQueue::takeNext()
{
    if (!m_commandBusy && !m_commands.isEmpty()) {
        m_commandBusy = true;
        return Request{m_commands.dequeue(), Lane::Command};
    }
    // While a command is on its way or waiting, no poll leaves: a unit that works on one
    // request at a time would take the poll before the next command, and each command of a
    // burst would wait behind one. The answers to the commands keep the unit's watchdog
    // satisfied meanwhile.
    if (m_pollBusy || m_commandBusy || !m_commands.isEmpty() ||
        !(m_statusWaiting || m_meterWaiting))
        return std::nullopt;
    m_pollBusy = true;
    // The status poll first: it is what keeps the unit's watchdog satisfied.
    if (m_statusWaiting) {
        m_statusWaiting = false;
        return Request{Commands::statusCode, Lane::Poll};
    }
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
