#include "sim/UnitFaults.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "sim/WholeNumber.h"

namespace {

constexpr int hugeBodyBytes = 2 * 1024 * 1024;

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

} // namespace

const std::map<QString, UnitFaults::Starter> &UnitFaults::starters()
{
    using Unit = UnitFaults;
    static const std::map<QString, Starter> table{
        {QStringLiteral("SIM_SLNT"), &Unit::startFault<Fault::Silent>},
        {QStringLiteral("SIM_GRBG"), &Unit::startFault<Fault::Garbage>},
        {QStringLiteral("SIM_TRNC"), &Unit::startFault<Fault::Truncated>},
        {QStringLiteral("SIM_HUGE"), &Unit::startFault<Fault::Huge>},
        {QStringLiteral("SIM_UNLK"), &Unit::startFault<Fault::Unlocked>},
        {QStringLiteral("SIM_HERR"), &Unit::startValuedFault<Fault::HttpError, 400, 599>},
        {QStringLiteral("SIM_DLAY"), &Unit::startValuedFault<Fault::Delay, 0, maxDelayMs>},
        {QStringLiteral("SIM_CLIP"), &Unit::clipChannels},
        {QStringLiteral("SIM_DROP"), &Unit::dropAnswers},
        {QStringLiteral("SIM_TRKL"), &Unit::trickleAnswers},
    };
    return table;
}

QString UnitFaults::faultName(Fault fault)
{
    static const std::map<Fault, QString> names{
        {Fault::Silent, QStringLiteral("SLNT")},  {Fault::HttpError, QStringLiteral("HERR")},
        {Fault::Garbage, QStringLiteral("GRBG")}, {Fault::Truncated, QStringLiteral("TRNC")},
        {Fault::Huge, QStringLiteral("HUGE")},    {Fault::Delay, QStringLiteral("DLAY")},
        {Fault::Unlocked, QStringLiteral("UNLK")}};
    return names.at(fault);
}

bool UnitFaults::startsFault(const QString &code)
{
    return starters().count(code) != 0;
}

bool UnitFaults::start(const Parsed &command, QString *error)
{
    return (this->*starters().at(command.code))(command, error);
}

void UnitFaults::expire()
{
    const qint64 now = m_clock();
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        const bool expired = it->second.until >= 0 && now >= it->second.until;
        it = expired ? m_faults.erase(it) : std::next(it);
    }
}

void UnitFaults::clear()
{
    m_faults.clear();
    m_answersToDrop = m_answersToTrickle = 0;
    for (std::optional<qint64> &until : m_clipUntil)
        until.reset();
}

std::optional<int> UnitFaults::httpError() const
{
    return isActive(Fault::HttpError) ? std::optional<int>(m_faults.at(Fault::HttpError).value)
                                      : std::nullopt;
}

bool UnitFaults::isClipping(int row, qint64 now) const
{
    const std::optional<qint64> &until = m_clipUntil[size_t(row)];
    return until && (*until < 0 || now < *until);
}

// When several body faults are active, garbage wins over truncation, truncation over size. A lost
// answer goes before a trickled one; each counts one answer.
void UnitFaults::spoil(UnitAnswer &answer)
{
    if (isActive(Fault::Delay))
        answer.delayMs = m_faults.at(Fault::Delay).value;
    if (answer.status == 200) {
        if (isActive(Fault::Garbage))
            answer.body = QByteArrayLiteral("<html>\x01\xff\xfe garbage }{ </html>");
        else if (isActive(Fault::Truncated))
            answer.body.truncate(answer.body.size() / 2);
        else if (isActive(Fault::Huge))
            answer.body = oversized(answer.body);
    }
    if (m_answersToDrop > 0) {
        --m_answersToDrop;
        answer.drop = true;
    } else if (m_answersToTrickle > 0) {
        --m_answersToTrickle;
        answer.trickleMs = m_trickleMs;
    }
}

QJsonObject UnitFaults::describe() const
{
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
    for (int row = 0; row < Commands::channelCount; ++row) {
        if (isClipping(row, now))
            clipping.append(row + 1);
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
    return faults;
}

// The clock time a fault given "ms" ends at; negative for no text (until cleared); nothing
// for a bad duration.
std::optional<qint64> UnitFaults::endOfFault(const QString &durationText) const
{
    if (durationText.isNull())
        return -1;
    const auto duration = wholeNumber(durationText, 1, maxDurationMs);
    return duration ? std::optional<qint64>(m_clock() + *duration) : std::nullopt;
}

// "SIM_XXXX" lasts until cleared, "SIM_XXXX=ms" ends by itself.
template<UnitFaults::Fault Kind> bool UnitFaults::startFault(const Parsed &command, QString *error)
{
    const auto until = endOfFault(command.hasArgument ? command.argument : QString());
    if (!until) {
        *error = QStringLiteral("bad duration");
        return false;
    }
    m_faults[Kind] = ActiveFault{0, *until};
    return true;
}

// "SIM_XXXX=value" or "SIM_XXXX=value,ms".
template<UnitFaults::Fault Kind, int MinValue, int MaxValue>
bool UnitFaults::startValuedFault(const Parsed &command, QString *error)
{
    const QStringList parts = command.splitArgument(2);
    const auto value = wholeNumber(parts.at(0), MinValue, MaxValue);
    const auto until = endOfFault(parts.value(1, QString()));
    if (!value)
        *error = QStringLiteral("value must be %1 to %2").arg(MinValue).arg(MaxValue);
    else if (!until)
        *error = QStringLiteral("bad duration");
    else
        m_faults[Kind] = ActiveFault{*value, *until};
    return value && until;
}

// "SIM_CLIP=channel[,ms]": the channel (1 to 8, or ALL) reads at the top of the scale, an over,
// at every meter reading, as an input driven into clipping does.
bool UnitFaults::clipChannels(const Parsed &command, QString *error)
{
    const QStringList parts = command.splitArgument(2);
    const bool all = parts.at(0) == QLatin1String("ALL");
    const auto number =
        all ? std::optional<int>(0) : wholeNumber(parts.at(0), 1, int(m_clipUntil.size()));
    const auto until = endOfFault(parts.value(1, QString()));
    if (!number)
        *error = QStringLiteral("channel must be 1 to %1 or ALL").arg(m_clipUntil.size());
    else if (!until)
        *error = QStringLiteral("bad duration");
    if (!number || !until)
        return false;
    for (int row = 0; row < int(m_clipUntil.size()); ++row) {
        if (all || row == *number - 1)
            m_clipUntil[size_t(row)] = *until;
    }
    return true;
}

// "SIM_DROP[=count]": the next count answers (default 1) are lost.
bool UnitFaults::dropAnswers(const Parsed &command, QString *error)
{
    const auto count =
        command.hasArgument ? wholeNumber(command.argument, 1, maxSpoiledAnswers) : 1;
    if (!count) {
        *error = QStringLiteral("count must be 1 to %1").arg(maxSpoiledAnswers);
        return false;
    }
    m_answersToDrop = *count;
    return true;
}

// "SIM_TRKL[=count[,ms]]": the next count answers (default 1) trickle, one byte every ms
// (default defaultTrickleMs).
bool UnitFaults::trickleAnswers(const Parsed &command, QString *error)
{
    const QStringList parts = command.splitArgument(2);
    const auto count = command.hasArgument ? wholeNumber(parts.at(0), 1, maxSpoiledAnswers) : 1;
    const auto every =
        parts.size() > 1 ? wholeNumber(parts.at(1), 1, maxDelayMs) : defaultTrickleMs;
    if (!count || !every) {
        *error = QStringLiteral("expected SIM_TRKL[=count[,ms]] with count 1 to %1 and ms 1 to %2")
                     .arg(maxSpoiledAnswers)
                     .arg(maxDelayMs);
        return false;
    }
    m_answersToTrickle = *count;
    m_trickleMs = *every;
    return true;
}
