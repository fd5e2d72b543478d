#include "sim/SimulatedUnit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "device/ConverterValues.h"
#include "device/ReplyDocument.h"

namespace {

using Result = SimulatedUnit::Result;

const QString simPrefix = QStringLiteral("SIM_");
const QByteArray jsonType = QByteArrayLiteral("application/json");
const QByteArray textType = QByteArrayLiteral("text/plain; charset=utf-8");
constexpr int hugeBodyBytes = 2 * 1024 * 1024;
constexpr double twoPi = 6.283185307179586;
// A few readings in a hundred jump up like a transient on a real input.
constexpr double peakChance = 0.04;

Result answer(int status, const QByteArray &contentType, const QByteArray &body)
{
    Result result;
    result.status = status;
    result.contentType = contentType;
    result.body = body;
    return result;
}

Result jsonAnswer(const QJsonObject &document)
{
    return answer(200, jsonType, QJsonDocument(document).toJson(QJsonDocument::Compact));
}

Result badRequest(const QString &reason)
{
    return answer(400, textType, reason.toUtf8() + '\n');
}

std::optional<int> parseInteger(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> parseInRange(const QString &text, int minValue, int maxValue)
{
    const auto value = parseInteger(text);
    return value && *value >= minValue && *value <= maxValue ? value : std::nullopt;
}

QJsonValue switchValue(bool on)
{
    return on ? ReplyDocument::switchOn : ReplyDocument::switchOff;
}

// The answer's own document with a padding string, so the body stays valid JSON of exactly
// hugeBodyBytes: a reader has to reject it by its size, not by its syntax.
QByteArray oversized(const QByteArray &body)
{
    QJsonObject document = QJsonDocument::fromJson(body).object();
    const auto sizeWith = [&document](const QString &padding) {
        document.insert(QStringLiteral("padding"), padding);
        return QJsonDocument(document).toJson(QJsonDocument::Compact).size();
    };
    const int padding = hugeBodyBytes - sizeWith(QString());
    sizeWith(QString(padding, QLatin1Char('x')));
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
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
      m_serviceRandom(seed)
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
    expireFaults();
    latchClipping();
    if (const auto sim = Commands::parse(commandText, simPrefix))
        return runSimCommand(*sim);
    if (isActive(Fault::Silent)) {
        Result held;
        held.hold = true;
        return held;
    }
    Result result = runUnitCommand(commandText);
    applyFaultsToAnswer(result);
    spoilAnswer(result);
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

const QMap<QString, SimulatedUnit::Handler> &SimulatedUnit::simCommands()
{
    using Unit = SimulatedUnit;
    static const QMap<QString, Handler> handlers{
        {QStringLiteral("SIM_SLNT"), &Unit::startFault<Fault::Silent>},
        {QStringLiteral("SIM_GRBG"), &Unit::startFault<Fault::Garbage>},
        {QStringLiteral("SIM_TRNC"), &Unit::startFault<Fault::Truncated>},
        {QStringLiteral("SIM_HUGE"), &Unit::startFault<Fault::Huge>},
        {QStringLiteral("SIM_UNLK"), &Unit::startFault<Fault::Unlocked>},
        {QStringLiteral("SIM_HERR"), &Unit::startValuedFault<Fault::HttpError, 400, 599>},
        {QStringLiteral("SIM_DLAY"), &Unit::startValuedFault<Fault::Delay, 0, maxDelayMs>},
        {QStringLiteral("SIM_CLIP"), &Unit::clipChannels},
        {QStringLiteral("SIM_RFSE"), &Unit::refuseConnections},
        {QStringLiteral("SIM_DROP"), &Unit::dropAnswers},
        {QStringLiteral("SIM_TRKL"), &Unit::trickleAnswers},
        {QStringLiteral("SIM_BOOT"), &Unit::reboot},
        {QStringLiteral("SIM_CLER"), &Unit::clearFaults},
        {QStringLiteral("SIM_STAT"), &Unit::statistics},
        {QStringLiteral("SIM_CLOG"), &Unit::commandLog},
        {QStringLiteral("SIM_SERL"), &Unit::setProfile},
    };
    return handlers;
}

QString SimulatedUnit::faultName(Fault fault)
{
    static const std::map<Fault, QString> names{
        {Fault::Silent, QStringLiteral("SLNT")},  {Fault::HttpError, QStringLiteral("HERR")},
        {Fault::Garbage, QStringLiteral("GRBG")}, {Fault::Truncated, QStringLiteral("TRNC")},
        {Fault::Huge, QStringLiteral("HUGE")},    {Fault::Delay, QStringLiteral("DLAY")},
        {Fault::Unlocked, QStringLiteral("UNLK")}};
    return names.at(fault);
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
    if (isActive(Fault::HttpError)) {
        const int status = m_faults.at(Fault::HttpError).value;
        return answer(status, textType, "simulated error " + QByteArray::number(status) + '\n');
    }
    if (!command)
        return badRequest(text.isEmpty() ? QStringLiteral("missing command")
                                         : QStringLiteral("not a command: ") + text);
    const Handler handler = unitCommands().value(command->code);
    if (!handler)
        return badRequest(QStringLiteral("unknown command ") + command->code);
    return (this->*handler)(*command);
}

SimulatedUnit::Result SimulatedUnit::runSimCommand(const Parsed &command)
{
    const Handler handler = simCommands().value(command.code);
    if (!handler)
        return badRequest(QStringLiteral("unknown simulator command ") + command.code);
    return (this->*handler)(command);
}

void SimulatedUnit::countRequest(const QString &code)
{
    ++m_requests;
    if (!code.isEmpty())
        ++m_requestsByCode[code];
}

// Only answers the unit meant as documents get spoiled; refusals stay readable. When several
// body faults are active, garbage wins over truncation, truncation over size.
void SimulatedUnit::applyFaultsToAnswer(Result &result) const
{
    if (isActive(Fault::Delay))
        result.delayMs = m_faults.at(Fault::Delay).value;
    if (result.status != 200)
        return;
    if (isActive(Fault::Garbage))
        result.body = QByteArrayLiteral("<html>\x01\xff\xfe garbage }{ </html>");
    else if (isActive(Fault::Truncated))
        result.body.truncate(result.body.size() / 2);
    else if (isActive(Fault::Huge))
        result.body = oversized(result.body);
}

// A lost answer goes before a trickled one; each counts one answer.
void SimulatedUnit::spoilAnswer(Result &result)
{
    if (m_answersToDrop > 0) {
        --m_answersToDrop;
        result.drop = true;
    } else if (m_answersToTrickle > 0) {
        --m_answersToTrickle;
        result.trickleMs = m_trickleMs;
    }
}

void SimulatedUnit::expireFaults()
{
    const qint64 now = m_clock();
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        const bool expired = it->second.until >= 0 && now >= it->second.until;
        it = expired ? m_faults.erase(it) : std::next(it);
    }
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

void SimulatedUnit::endAllFaults()
{
    m_faults.clear();
    m_answersToDrop = m_answersToTrickle = 0;
    for (Channel &channel : m_channels)
        channel.clipUntil.reset();
}

void SimulatedUnit::restart()
{
    restoreFactoryDefaults();
    endAllFaults();
    ++m_boots;
}

// A clipping input latches its over on the unit whether or not anyone reads the meters.
void SimulatedUnit::latchClipping()
{
    const qint64 now = m_clock();
    for (Channel &channel : m_channels)
        channel.over = channel.over || isClipping(channel, now);
}

bool SimulatedUnit::isClipping(const Channel &channel, qint64 now) const
{
    return channel.clipUntil && (*channel.clipUntil < 0 || now < *channel.clipUntil);
}

std::optional<int> SimulatedUnit::channelNumber(const QString &text) const
{
    return parseInRange(text, 1, int(m_channels.size()));
}

SimulatedUnit::Result SimulatedUnit::statusCommand(const Parsed &command)
{
    return command.hasArgument ? badRequest(QStringLiteral("no argument expected"))
                               : statusAnswer();
}

SimulatedUnit::Result SimulatedUnit::meterCommand(const Parsed &command)
{
    return command.hasArgument ? badRequest(QStringLiteral("no argument expected")) : meterAnswer();
}

SimulatedUnit::Result SimulatedUnit::factoryReset(const Parsed &command)
{
    if (command.argument != QLatin1String("0"))
        return badRequest(QStringLiteral("expected CMD_FREC=0"));
    restoreFactoryDefaults();
    return statusAnswer();
}

template<bool SimulatedUnit::Channel::*Switch>
SimulatedUnit::Result SimulatedUnit::setSwitch(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const auto number = channelNumber(parts.at(0));
    if (!number)
        return badRequest(QStringLiteral("bad channel"));
    const QString state = parts.value(1);
    if (state != QLatin1String("ON") && state != QLatin1String("OFF"))
        return badRequest(QStringLiteral("expected ON or OFF"));
    m_channels[*number - 1].*Switch = state == QLatin1String("ON");
    return channelAnswer(*number);
}

template<bool SimulatedUnit::Channel::*Switch>
SimulatedUnit::Result SimulatedUnit::toggleSwitch(const Parsed &command)
{
    const auto number = channelNumber(command.argument);
    if (!number)
        return badRequest(QStringLiteral("bad channel"));
    bool &state = m_channels[*number - 1].*Switch;
    state = !state;
    return channelAnswer(*number);
}

SimulatedUnit::Result SimulatedUnit::setGain(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const auto number = channelNumber(parts.at(0));
    if (!number)
        return badRequest(QStringLiteral("bad channel"));
    const auto gain = parseInteger(parts.value(1));
    if (!gain)
        return badRequest(QStringLiteral("bad gain"));
    m_channels[*number - 1].gain = std::clamp(*gain, Commands::minGain, Commands::maxGain);
    return channelAnswer(*number);
}

template<int Step> SimulatedUnit::Result SimulatedUnit::stepGain(const Parsed &command)
{
    const auto number = channelNumber(command.argument);
    if (!number)
        return badRequest(QStringLiteral("bad channel"));
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
        return badRequest(QStringLiteral("bad channel"));
    if (parts.size() == 2)
        m_channels[*number - 1].name = parts.at(1);
    return channelAnswer(*number);
}

SimulatedUnit::Result SimulatedUnit::clearOver(const Parsed &command)
{
    const auto number = channelNumber(command.argument);
    if (!number)
        return badRequest(QStringLiteral("bad channel"));
    m_channels[*number - 1].over = false;
    return channelAnswer(*number);
}

SimulatedUnit::Result SimulatedUnit::setUnitName(const Parsed &command)
{
    if (!command.hasArgument)
        return badRequest(QStringLiteral("missing name"));
    m_name = command.argument;
    return statusAnswer();
}

template<int SimulatedUnit::*Setting, bool (*IsValid)(int)>
SimulatedUnit::Result SimulatedUnit::setConverter(const Parsed &command)
{
    const auto value = parseInteger(command.argument);
    if (!value || !IsValid(*value))
        return badRequest(QStringLiteral("value out of range"));
    this->*Setting = *value;
    return converterAnswer();
}

// The clock time a fault given "ms" ends at; negative for no text (until cleared); nothing
// for a bad duration.
std::optional<qint64> SimulatedUnit::endOfFault(const QString &durationText) const
{
    if (durationText.isNull())
        return -1;
    const auto duration = parseInRange(durationText, 1, maxDurationMs);
    return duration ? std::optional<qint64>(m_clock() + *duration) : std::nullopt;
}

// "SIM_XXXX" lasts until cleared, "SIM_XXXX=ms" ends by itself.
template<SimulatedUnit::Fault Kind>
SimulatedUnit::Result SimulatedUnit::startFault(const Parsed &command)
{
    const auto until = endOfFault(command.hasArgument ? command.argument : QString());
    if (!until)
        return badRequest(QStringLiteral("bad duration"));
    m_faults[Kind] = ActiveFault{0, *until};
    return simAnswer();
}

// "SIM_XXXX=value" or "SIM_XXXX=value,ms".
template<SimulatedUnit::Fault Kind, int MinValue, int MaxValue>
SimulatedUnit::Result SimulatedUnit::startValuedFault(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const auto value = parseInRange(parts.at(0), MinValue, MaxValue);
    if (!value)
        return badRequest(QStringLiteral("value must be %1 to %2").arg(MinValue).arg(MaxValue));
    const auto until = endOfFault(parts.value(1, QString()));
    if (!until)
        return badRequest(QStringLiteral("bad duration"));
    m_faults[Kind] = ActiveFault{*value, *until};
    return simAnswer();
}

// "SIM_CLIP=channel[,ms]": the channel (1 to 8, or ALL) reads at the top of the scale, an over,
// at every meter reading, as an input driven into clipping does.
SimulatedUnit::Result SimulatedUnit::clipChannels(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const bool all = parts.at(0) == QLatin1String("ALL");
    const auto number = all ? std::optional<int>(0) : channelNumber(parts.at(0));
    if (!number)
        return badRequest(QStringLiteral("channel must be 1 to %1 or ALL").arg(m_channels.size()));
    const auto until = endOfFault(parts.value(1, QString()));
    if (!until)
        return badRequest(QStringLiteral("bad duration"));
    for (int i = 0; i < int(m_channels.size()); ++i) {
        if (all || i == *number - 1)
            m_channels[i].clipUntil = *until;
    }
    return simAnswer();
}

SimulatedUnit::Result SimulatedUnit::refuseConnections(const Parsed &command)
{
    const auto duration = parseInRange(command.argument, 1, maxDurationMs);
    if (!duration)
        return badRequest(QStringLiteral("duration required"));
    Result result = simAnswer();
    result.refuseMs = *duration;
    return result;
}

// "SIM_DROP[=count]": the next count answers (default 1) are lost.
SimulatedUnit::Result SimulatedUnit::dropAnswers(const Parsed &command)
{
    const auto count =
        command.hasArgument ? parseInRange(command.argument, 1, maxSpoiledAnswers) : 1;
    if (!count)
        return badRequest(QStringLiteral("count must be 1 to %1").arg(maxSpoiledAnswers));
    m_answersToDrop = *count;
    return simAnswer();
}

// "SIM_TRKL[=count[,ms]]": the next count answers (default 1) trickle, one byte every ms
// (default defaultTrickleMs).
SimulatedUnit::Result SimulatedUnit::trickleAnswers(const Parsed &command)
{
    const QStringList parts = command.splitArgument(2);
    const auto count = command.hasArgument ? parseInRange(parts.at(0), 1, maxSpoiledAnswers) : 1;
    const auto every =
        parts.size() > 1 ? parseInRange(parts.at(1), 1, maxDelayMs) : defaultTrickleMs;
    if (!count || !every)
        return badRequest(QStringLiteral("expected SIM_TRKL[=count[,ms]] with count 1 to %1 and "
                                         "ms 1 to %2")
                              .arg(maxSpoiledAnswers)
                              .arg(maxDelayMs));
    m_answersToTrickle = *count;
    m_trickleMs = *every;
    return simAnswer();
}

// "SIM_BOOT" restarts at once; "SIM_BOOT=ms" also refuses connections while the unit "boots".
SimulatedUnit::Result SimulatedUnit::reboot(const Parsed &command)
{
    const auto duration =
        command.hasArgument ? parseInRange(command.argument, 1, maxDurationMs) : 0;
    if (!duration)
        return badRequest(QStringLiteral("bad duration"));
    restart();
    Result result = simAnswer();
    result.refuseMs = *duration;
    return result;
}

SimulatedUnit::Result SimulatedUnit::clearFaults(const Parsed &command)
{
    if (command.hasArgument)
        return badRequest(QStringLiteral("no argument expected"));
    endAllFaults();
    return simAnswer();
}

SimulatedUnit::Result SimulatedUnit::statistics(const Parsed &command)
{
    if (command.hasArgument && command.argument != QLatin1String("RESET"))
        return badRequest(QStringLiteral("expected SIM_STAT or SIM_STAT=RESET"));
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
        return badRequest(QStringLiteral("expected SIM_CLOG or SIM_CLOG=RESET"));
    const QJsonObject sim{{QStringLiteral("id"), m_id},
                          {QStringLiteral("commands"), QJsonArray::fromStringList(m_commandLog)}};
    // Read and emptied at once, so no command falls between a harness's read and its reset.
    if (command.hasArgument)
        m_commandLog.clear();
    return jsonAnswer({{QStringLiteral("sim"), sim}});
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
        return badRequest(
            QStringLiteral("expected SIM_SERL=service[,jitter[,connections]] or SIM_SERL=OFF"));
    const auto service = parseInRange(parts.at(0), 0, maxServiceMs);
    const auto jitter = parts.size() > 1 ? parseInRange(parts.at(1), 0, maxServiceMs) : 0;
    const auto connections =
        parts.size() > 2 ? parseInRange(parts.at(2), 1, maxConnectionLimit) : defaultMaxConnections;
    if (!service || !jitter)
        return badRequest(QStringLiteral("service and jitter must be 0 to %1").arg(maxServiceMs));
    if (!connections)
        return badRequest(QStringLiteral("connections must be 1 to %1").arg(maxConnectionLimit));
    m_profile = Profile{true, *service, *jitter, *connections};
    return simAnswer();
}

SimulatedUnit::Result SimulatedUnit::simAnswer() const
{
    QJsonObject codes;
    for (auto it = m_requestsByCode.cbegin(); it != m_requestsByCode.cend(); ++it)
        codes.insert(it.key(), it.value());
    QJsonObject faults;
    const qint64 now = m_clock();
    for (const auto &[fault, active] : m_faults) {
        QJsonObject details;
        if (fault == Fault::HttpError)
            details.insert(QStringLiteral("status"), active.value);
        if (fault == Fault::Delay)
            details.insert(QStringLiteral("delayMs"), active.value);
        if (active.until >= 0)
            details.insert(QStringLiteral("remainingMs"), double(active.until - now));
        faults.insert(faultName(fault), details);
    }
    QJsonArray clipping;
    for (int i = 0; i < int(m_channels.size()); ++i) {
        if (isClipping(m_channels[i], now))
            clipping.append(i + 1);
    }
    if (!clipping.isEmpty())
        faults.insert(QStringLiteral("CLIP"), QJsonObject{{QStringLiteral("channels"), clipping}});
    if (m_answersToDrop > 0)
        faults.insert(QStringLiteral("DROP"),
                      QJsonObject{{QStringLiteral("remaining"), m_answersToDrop}});
    if (m_answersToTrickle > 0)
        faults.insert(QStringLiteral("TRKL"),
                      QJsonObject{{QStringLiteral("remaining"), m_answersToTrickle},
                                  {QStringLiteral("everyMs"), m_trickleMs}});
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
                          {QStringLiteral("faults"), faults},
                          {QStringLiteral("profile"), profile},
                          {QStringLiteral("connections"), connections}};
    return jsonAnswer({{QStringLiteral("sim"), sim}});
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
    const QLatin1String clockStatus = isActive(Fault::Unlocked) ? clockUnlocked : clockLocked;
    return {{sampleRateKey, m_sampleRate},
            {clockSourceKey, m_clockSource},
            {clockStatusKey, clockStatus},
            {clockOutKey, m_clockOutSource},
            {formatKey, m_outputFormat}};
}

SimulatedUnit::Result SimulatedUnit::channelAnswer(int number) const
{
    return jsonAnswer({{ReplyDocument::channelsKey, QJsonArray{channelEntry(number)}}});
}

SimulatedUnit::Result SimulatedUnit::statusAnswer() const
{
    using namespace ReplyDocument;
    QJsonArray channels;
    for (int number = 1; number <= int(m_channels.size()); ++number)
        channels.append(channelEntry(number));
    const QJsonObject sys{{unitIdKey, m_id}, {unitNameKey, m_name}};
    return jsonAnswer({{sysKey, sys}, {adcKey, converterObject()}, {channelsKey, channels}});
}

SimulatedUnit::Result SimulatedUnit::converterAnswer() const
{
    return jsonAnswer({{ReplyDocument::adcKey, converterObject()}});
}

SimulatedUnit::Result SimulatedUnit::meterAnswer()
{
    const qint64 now = m_clock();
    QJsonObject levels;
    for (int number = 1; number <= int(m_channels.size()); ++number)
        levels.insert(QString::number(number), nextMeterLevel(m_channels[number - 1], now));
    return jsonAnswer({{ReplyDocument::meterKey, levels}});
}

// A quiet input reads about 8 at gain 0 and about 50 at full gain, wandering slowly around that
// with a little noise and the odd transient. Hitting the top of the scale latches the channel's
// over, as on the unit's front panel, until CMD_DOVC, a factory reset or a restart clears it.
int SimulatedUnit::nextMeterLevel(Channel &channel, qint64 now)
{
    const double base = 8.0 + 42.0 * channel.gain / Commands::maxGain;
    const double wander =
        4.0 * std::sin(twoPi * double(now) / channel.wanderPeriodMs + channel.wanderPhase);
    const int noise = std::uniform_int_distribution<int>(-2, 2)(m_random);
    const bool peak = std::bernoulli_distribution(peakChance)(m_random);
    const int transient = peak ? std::uniform_int_distribution<int>(10, 15)(m_random) : 0;
    const int level = isClipping(channel, now)
                          ? meterFullScale
                          : int(std::lround(base + wander)) + noise + transient;
    const int clamped = std::clamp(level, 0, meterFullScale);
    if (clamped == meterFullScale)
        channel.over = true;
    return clamped;
}
