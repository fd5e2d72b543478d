#include "sim/SimulatedUnit.h"

#include <QJsonArray>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "device/ConverterValues.h"
#include "device/ReplyDocument.h"
#include "sim/WholeNumber.h"

namespace {

const QString simPrefix = QStringLiteral("SIM_");
constexpr double twoPi = 6.283185307179586;
// A few readings in a hundred jump up like a transient on a real input.
constexpr double peakChance = 0.04;

QJsonValue switchValue(bool on)
{
    return on ? ReplyDocument::switchOn : ReplyDocument::switchOff;
}

SimulatedUnit::Clock timeSinceConstruction()
{
    const auto start = std::chrono::steady_clock::now();
    return [start] {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    };
}

} // namespace

SimulatedUnit::SimulatedUnit(int id, quint32 seed, Clock clock)
    : m_id(id), m_clock(clock ? std::move(clock) : timeSinceConstruction()), m_random(seed),
      m_serviceRandom(seed), m_faults(m_clock)
{
    std::uniform_real_distribution<double> period(4000, 12000);
    std::uniform_real_distribution<double> phase(0, twoPi);
    for (Channel &channel : m_channels) {
        channel.wanderPeriodMs = period(m_random);
        channel.wanderPhase = phase(m_random);
    }
    restoreFactoryDefaults();
}

SimulatedUnit::Result SimulatedUnit::handle(const QString &commandText)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.expire();
    latchClipping();
    if (const auto sim = Commands::parse(commandText, simPrefix))
        return runSimCommand(*sim);
    if (m_faults.isSilent()) {
        Result held;
        held.hold = true;
        return held;
    }
    Result result = runUnitCommand(commandText);
    m_faults.spoil(result);
    return result;
}

bool SimulatedUnit::isSimCommand(const QString &commandText)
{
    return Commands::parse(commandText, simPrefix).has_value();
}

SimulatedUnit::Profile SimulatedUnit::profile() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_profile;
}

int SimulatedUnit::nextServiceMs()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int least = m_profile.serviceMs;
    return std::uniform_int_distribution<int>(least, least + m_profile.jitterMs)(m_serviceRandom);
}

bool SimulatedUnit::openConnection()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_profile.serial && m_openConnections >= m_profile.maxConnections) {
        ++m_refusedConnections;
        return false;
    }
    m_mostOpenConnections = std::max(m_mostOpenConnections, ++m_openConnections);
    return true;
}

void SimulatedUnit::closeConnection()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_openConnections;
}

const QMap<QString, SimulatedUnit::Handler> &SimulatedUnit::unitCommands()
{
    using namespace Commands;
    using Unit = SimulatedUnit;
    static const QMap<QString, Handler> handlers{
        {statusCode, &Unit::statusCommand},
        {meterCode, &Unit::meterCommand},
        {factoryResetCode, &Unit::factoryReset},
        {setPhantomCode, &Unit::setSwitch<&Channel::phantom>},
        {setPhaseCode, &Unit::setSwitch<&Channel::phase>},
        {setRibbonCode, &Unit::setSwitch<&Channel::ribbon>},
        {togglePhantomCode, &Unit::toggleSwitch<&Channel::phantom>},
        {togglePhaseCode, &Unit::toggleSwitch<&Channel::phase>},
        {toggleRibbonCode, &Unit::toggleSwitch<&Channel::ribbon>},
        {setGainCode, &Unit::setGain},
        {gainUpCode, &Unit::stepGain<1>},
        {gainDownCode, &Unit::stepGain<-1>},
        {channelNameCode, &Unit::setChannelName},
        {clearOverCode, &Unit::clearOver},
        {unitNameCode, &Unit::setUnitName},
        {sampleRateCode, &Unit::setConverter<&Unit::m_sampleRate, ConverterValues::isSampleRate>},
        {clockSourceCode,
         &Unit::setConverter<&Unit::m_clockSource, ConverterValues::isClockSource>},
        {outputFormatCode,
         &Unit::setConverter<&Unit::m_outputFormat, ConverterValues::isOutputFormat>},
        {clockOutSourceCode,
         &Unit::setConverter<&Unit::m_clockOutSource, ConverterValues::isClockOutSource>},
    };
    return handlers;
}

SimulatedUnit::Result SimulatedUnit::runUnitCommand(const QString &text)
{
    const auto command = Commands::parse(text);
    countRequest(command ? command->code : QString());
    if (!command ||
        (command->code != Commands::statusCode && command->code != Commands::meterCode)) {
        m_commandLog.append(text);
        if (m_commandLog.size() > commandLogLength)
            m_commandLog.removeFirst();
    }
    if (const auto status = m_faults.httpError())
        return Result::text(*status, QStringLiteral("simulated error %1").arg(*status));
    if (!command)
        return Result::badRequest(text.isEmpty() ? QStringLiteral("missing command")
                                                 : QStringLiteral("not a command: ") + text);
    const Handler handler = unitCommands().value(command->code);
    if (!handler)
        return Result::badRequest(QStringLiteral("unknown command ") + command->code);
    return (this->*handler)(*command);
}

void SimulatedUnit::countRequest(const QString &code)
{
    ++m_requests;
    if (!code.isEmpty())
        ++m_requestsByCode[code];
}

void SimulatedUnit::restoreFactoryDefaults()
{
    m_name = QStringLiteral("octo-%1").arg(m_id);
    for (int i = 0; i < int(m_channels.size()); ++i) {
        Channel &channel = m_channels[i];
        channel.name = QStringLiteral("Ch%1").arg(i + 1);
        channel.gain = Commands::minGain;
        channel.phantom = channel.phase = channel.ribbon = channel.over = false;
    }
    m_sampleRate = 2;
    m_clockSource = 0;
    m_outputFormat = 1;
    m_clockOutSource = 0;
}

// A clipping input latches its over on the unit whether or not anyone reads the meters.
void SimulatedUnit::latchClipping()
{
    const qint64 now = m_clock();
    for (int row = 0; row < int(m_channels.size()); ++row)
        m_channels[row].over = m_channels[row].over || m_faults.isClipping(row, now);
}

std::optional<int> SimulatedUnit::channelNumber(const QString &text) const
{
    return wholeNumber(text, 1, int(m_channels.size()));
}

SimulatedUnit::Result SimulatedUnit::statusCommand(const Parsed &command)
{
    return command.hasArgument ? Result::badRequest(QStringLiteral("no argument expected"))
                               : statusAnswer();
}

SimulatedUnit::Result SimulatedUnit::meterCommand(const Parsed &command)
{
    return command.hasArgument ? Result::badRequest(QStringLiteral("no argument expected"))
                               : meterAnswer();
}

SimulatedUnit::Result SimulatedUnit::factoryReset(const Parsed &command)
{
    if (command.argument != QLatin1String("0"))
        return Result::badRequest(QStringLiteral("expected CMD_FREC=0"));
    restoreFactoryDefaults();
    return statusAnswer();
}

template<bool SimulatedUnit::Channel::*Switch>
SimulatedUnit::Result SimulatedUnit::setSwitch(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const auto number = channelNumber(parts.at(0));
    if (!number)
        return Result::badRequest(QStringLiteral("bad channel"));
    const QString state = parts.value(1);
    if (state != QLatin1String("ON") && state != QLatin1String("OFF"))
        return Result::badRequest(QStringLiteral("expected ON or OFF"));
    m_channels[*number - 1].*Switch = state == QLatin1String("ON");
    return channelAnswer(*number);
}

template<bool SimulatedUnit::Channel::*Switch>
SimulatedUnit::Result SimulatedUnit::toggleSwitch(const Parsed &command)
{
    const auto number = channelNumber(command.argument);
    if (!number)
        return Result::badRequest(QStringLiteral("bad channel"));
    bool &state = m_channels[*number - 1].*Switch;
    state = !state;
    return channelAnswer(*number);
}

SimulatedUnit::Result SimulatedUnit::setGain(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const auto number = channelNumber(parts.at(0));
    if (!number)
        return Result::badRequest(QStringLiteral("bad channel"));
    const auto gain = wholeNumber(parts.value(1));
    if (!gain)
        return Result::badRequest(QStringLiteral("bad gain"));
    m_channels[*number - 1].gain = std::clamp(*gain, Commands::minGain, Commands::maxGain);
    return channelAnswer(*number);
}

template<int Step> SimulatedUnit::Result SimulatedUnit::stepGain(const Parsed &command)
{
    const auto number = channelNumber(command.argument);
    if (!number)
        return Result::badRequest(QStringLiteral("bad channel"));
    int &gain = m_channels[*number - 1].gain;
    gain = std::clamp(gain + Step, Commands::minGain, Commands::maxGain);
    return channelAnswer(*number);
}

// Everything after the first comma is the name, commas included; without a comma the name
// stays and the unit just reports the channel.
SimulatedUnit::Result SimulatedUnit::setChannelName(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const auto number = channelNumber(parts.at(0));
    if (!number)
        return Result::badRequest(QStringLiteral("bad channel"));
    if (parts.size() == 2)
        m_channels[*number - 1].name = parts.at(1);
    return channelAnswer(*number);
}

SimulatedUnit::Result SimulatedUnit::clearOver(const Parsed &command)
{
    const auto number = channelNumber(command.argument);
    if (!number)
        return Result::badRequest(QStringLiteral("bad channel"));
    m_channels[*number - 1].over = false;
    return channelAnswer(*number);
}

SimulatedUnit::Result SimulatedUnit::setUnitName(const Parsed &command)
{
    if (!command.hasArgument)
        return Result::badRequest(QStringLiteral("missing name"));
    m_name = command.argument;
    return statusAnswer();
}

template<int SimulatedUnit::*Setting, bool (*IsValid)(int)>
SimulatedUnit::Result SimulatedUnit::setConverter(const Parsed &command)
{
    const auto value = wholeNumber(command.argument);
    if (!value || !IsValid(*value))
        return Result::badRequest(QStringLiteral("value out of range"));
    this->*Setting = *value;
    return converterAnswer();
}

QJsonObject SimulatedUnit::channelEntry(int number) const
{
    using namespace ReplyDocument;
    const Channel &channel = m_channels[number - 1];
    return {{channelNoKey, number},
            {phantomKey, switchValue(channel.phantom)},
            {phaseKey, switchValue(channel.phase)},
            {ribbonKey, switchValue(channel.ribbon)},
            {overKey, switchValue(channel.over)},
            {channelIdKey, number},
            {gainKey, channel.gain},
            {channelNameKey, channel.name}};
}

QJsonObject SimulatedUnit::converterObject() const
{
    using namespace ReplyDocument;
    const QLatin1String clockStatus = m_faults.isClockUnlocked() ? clockUnlocked : clockLocked;
    return {{sampleRateKey, m_sampleRate},
            {clockSourceKey, m_clockSource},
            {clockStatusKey, clockStatus},
            {clockOutKey, m_clockOutSource},
            {formatKey, m_outputFormat}};
}

SimulatedUnit::Result SimulatedUnit::channelAnswer(int number) const
{
    return Result::json({{ReplyDocument::channelsKey, QJsonArray{channelEntry(number)}}});
}

SimulatedUnit::Result SimulatedUnit::statusAnswer() const
{
    using namespace ReplyDocument;
    QJsonArray channels;
    for (int number = 1; number <= int(m_channels.size()); ++number)
        channels.append(channelEntry(number));
    const QJsonObject sys{{unitIdKey, m_id}, {unitNameKey, m_name}};
    return Result::json({{sysKey, sys}, {adcKey, converterObject()}, {channelsKey, channels}});
}

SimulatedUnit::Result SimulatedUnit::converterAnswer() const
{
    return Result::json({{ReplyDocument::adcKey, converterObject()}});
}

SimulatedUnit::Result SimulatedUnit::meterAnswer()
{
    const qint64 now = m_clock();
    QJsonObject levels;
    for (int number = 1; number <= int(m_channels.size()); ++number)
        levels.insert(QString::number(number), nextMeterLevel(number - 1, now));
    return Result::json({{ReplyDocument::meterKey, levels}});
}

// A quiet input reads about 8 at gain 0 and about 50 at full gain, wandering slowly around that
// with a little noise and the odd transient. Hitting the top of the scale latches the channel's
// over, as on the unit's front panel, until CMD_DOVC, a factory reset or a restart clears it.
int SimulatedUnit::nextMeterLevel(int row, qint64 now)
{
    Channel &channel = m_channels[row];
    const double base = 8.0 + 42.0 * channel.gain / Commands::maxGain;
    const double wander =
        4.0 * std::sin(twoPi * double(now) / channel.wanderPeriodMs + channel.wanderPhase);
    const int noise = std::uniform_int_distribution<int>(-2, 2)(m_random);
    const bool peak = std::bernoulli_distribution(peakChance)(m_random);
    const int transient = peak ? std::uniform_int_distribution<int>(10, 15)(m_random) : 0;
    const int level = m_faults.isClipping(row, now)
                          ? meterFullScale
                          : int(std::lround(base + wander)) + noise + transient;
    const int clamped = std::clamp(level, 0, meterFullScale);
    if (clamped == meterFullScale)
        channel.over = true;
    return clamped;
}
