// The simulator commands ("SIM_"), through which a harness controls a unit: faults (UnitFaults),
// refusals, restarts, the counters and the command log, and the serving profile. A real unit
// never sees them; they are answered whatever fault is active, so a harness can always reach a
// misbehaving unit. Kept apart from the unit's own protocol (SimulatedUnit.cpp).

#include "sim/SimulatedUnit.h"

#include <QJsonArray>

#include "sim/WholeNumber.h"

const QMap<QString, SimulatedUnit::Handler> &SimulatedUnit::simCommands()
{
    using Unit = SimulatedUnit;
    static const QMap<QString, Handler> handlers{
        {QStringLiteral("SIM_RFSE"), &Unit::refuseConnections},
        {QStringLiteral("SIM_BOOT"), &Unit::reboot},
        {QStringLiteral("SIM_CLER"), &Unit::clearFaults},
        {QStringLiteral("SIM_STAT"), &Unit::statistics},
        {QStringLiteral("SIM_CLOG"), &Unit::commandLog},
        {QStringLiteral("SIM_SERL"), &Unit::setProfile},
    };
    return handlers;
}

SimulatedUnit::Result SimulatedUnit::runSimCommand(const Parsed &command)
{
    if (UnitFaults::startsFault(command.code))
        return startFault(command);
    const Handler handler = simCommands().value(command.code);
    if (!handler)
        return Result::badRequest(QStringLiteral("unknown simulator command ") + command.code);
    return (this->*handler)(command);
}

void SimulatedUnit::restart()
{
    restoreFactoryDefaults();
    m_faults.clear();
    ++m_boots;
}

SimulatedUnit::Result SimulatedUnit::startFault(const Parsed &command)
{
    QString error;
    return m_faults.start(command, &error) ? simAnswer() : Result::badRequest(error);
}

SimulatedUnit::Result SimulatedUnit::refuseConnections(const Parsed &command)
{
    const auto duration = wholeNumber(command.argument, 1, UnitFaults::maxDurationMs);
    if (!duration)
        return Result::badRequest(QStringLiteral("duration required"));
    Result result = simAnswer();
    result.refuseMs = *duration;
    return result;
}

// "SIM_BOOT" restarts at once; "SIM_BOOT=ms" also refuses connections while the unit "boots".
SimulatedUnit::Result SimulatedUnit::reboot(const Parsed &command)
{
    const auto duration =
        command.hasArgument ? wholeNumber(command.argument, 1, UnitFaults::maxDurationMs) : 0;
    if (!duration)
        return Result::badRequest(QStringLiteral("bad duration"));
    restart();
    Result result = simAnswer();
    result.refuseMs = *duration;
    return result;
}

SimulatedUnit::Result SimulatedUnit::clearFaults(const Parsed &command)
{
    if (command.hasArgument)
        return Result::badRequest(QStringLiteral("no argument expected"));
    m_faults.clear();
    return simAnswer();
}

SimulatedUnit::Result SimulatedUnit::statistics(const Parsed &command)
{
    if (command.hasArgument && command.argument != QLatin1String("RESET"))
        return Result::badRequest(QStringLiteral("expected SIM_STAT or SIM_STAT=RESET"));
    if (command.hasArgument) {
        m_requests = 0;
        m_requestsByCode.clear();
        m_mostOpenConnections = m_openConnections;
        m_refusedConnections = 0;
    }
    return simAnswer();
}

SimulatedUnit::Result SimulatedUnit::commandLog(const Parsed &command)
{
    if (command.hasArgument && command.argument != QLatin1String("RESET"))
        return Result::badRequest(QStringLiteral("expected SIM_CLOG or SIM_CLOG=RESET"));
    const QJsonObject sim{{QStringLiteral("id"), m_id},
                          {QStringLiteral("commands"), QJsonArray::fromStringList(m_commandLog)}};
    // Read and emptied at once, so no command falls between a harness's read and its reset.
    if (command.hasArgument)
        m_commandLog.clear();
    return Result::json({{QStringLiteral("sim"), sim}});
}

// "SIM_SERL=service[,jitter[,connections]]" or "SIM_SERL=OFF". Connections already open beyond
// a new limit stay open; only new ones are refused until fewer are open.
SimulatedUnit::Result SimulatedUnit::setProfile(const Parsed &command)
{
    if (command.argument == QLatin1String("OFF")) {
        m_profile = Profile();
        return simAnswer();
    }
    const QStringList parts = command.argument.split(QLatin1Char(','));
    if (!command.hasArgument || parts.size() > 3)
        return Result::badRequest(
            QStringLiteral("expected SIM_SERL=service[,jitter[,connections]] or SIM_SERL=OFF"));
    const auto service = wholeNumber(parts.at(0), 0, maxServiceMs);
    const auto jitter = parts.size() > 1 ? wholeNumber(parts.at(1), 0, maxServiceMs) : 0;
    const auto connections =
        parts.size() > 2 ? wholeNumber(parts.at(2), 1, maxConnectionLimit) : defaultMaxConnections;
    if (!service || !jitter)
        return Result::badRequest(
            QStringLiteral("service and jitter must be 0 to %1").arg(maxServiceMs));
    if (!connections)
        return Result::badRequest(
            QStringLiteral("connections must be 1 to %1").arg(maxConnectionLimit));
    m_profile = Profile{true, *service, *jitter, *connections};
    return simAnswer();
}

SimulatedUnit::Result SimulatedUnit::simAnswer() const
{
    QJsonObject codes;
    for (auto it = m_requestsByCode.cbegin(); it != m_requestsByCode.cend(); ++it)
        codes.insert(it.key(), it.value());
    const QJsonObject profile{{QStringLiteral("serial"), m_profile.serial},
                              {QStringLiteral("serviceMs"), m_profile.serviceMs},
                              {QStringLiteral("jitterMs"), m_profile.jitterMs},
                              {QStringLiteral("maxConnections"), m_profile.maxConnections}};
    // A SIM_ command sent over HTTP counts its own connection as open.
    const QJsonObject connections{{QStringLiteral("open"), m_openConnections},
                                  {QStringLiteral("mostOpen"), m_mostOpenConnections},
                                  {QStringLiteral("refused"), m_refusedConnections}};
    const QJsonObject sim{{QStringLiteral("id"), m_id},
                          {QStringLiteral("boots"), m_boots},
                          {QStringLiteral("requests"), m_requests},
                          {QStringLiteral("codes"), codes},
                          {QStringLiteral("faults"), m_faults.describe()},
                          {QStringLiteral("profile"), profile},
                          {QStringLiteral("connections"), connections}};
    return Result::json({{QStringLiteral("sim"), sim}});
}
