#include "device/Commands.h"

namespace Commands {
namespace {

QString withArgument(const QString &code, const QString &argument)
{
    return code + QLatin1Char('=') + argument;
}

QString forChannel(const QString &code, int channel)
{
    return withArgument(code, QString::number(channel));
}

QString switchFor(const QString &code, int channel, bool on)
{
    return forChannel(code, channel) + (on ? QStringLiteral(",ON") : QStringLiteral(",OFF"));
}

bool isCommandCode(const QString &text, const QString &prefix)
{
    if (text.size() != prefix.size() + 4 || !text.startsWith(prefix))
        return false;
    for (int i = prefix.size(); i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool upper = c >= QLatin1Char('A') && c <= QLatin1Char('Z');
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!upper && !digit)
            return false;
    }
    return true;
}

} // namespace

QString status()
{
    return statusCode;
}
QString meters()
{
    return meterCode;
}
QString factoryReset()
{
    return withArgument(factoryResetCode, QStringLiteral("0"));
}

QString setPhantom(int channel, bool on)
{
    return switchFor(setPhantomCode, channel, on);
}
QString togglePhantom(int channel)
{
    return forChannel(togglePhantomCode, channel);
}
QString setPhase(int channel, bool on)
{
    return switchFor(setPhaseCode, channel, on);
}
QString togglePhase(int channel)
{
    return forChannel(togglePhaseCode, channel);
}
QString setRibbon(int channel, bool on)
{
    return switchFor(setRibbonCode, channel, on);
}
QString toggleRibbon(int channel)
{
    return forChannel(toggleRibbonCode, channel);
}

QString setGain(int channel, int gain)
{
    return forChannel(setGainCode, channel) + QLatin1Char(',') + QString::number(gain);
}
QString gainUp(int channel)
{
    return forChannel(gainUpCode, channel);
}
QString gainDown(int channel)
{
    return forChannel(gainDownCode, channel);
}

QString setChannelName(int channel, const QString &name)
{
    return forChannel(channelNameCode, channel) + QLatin1Char(',') + name;
}
QString channelNameOnly(int channel)
{
    return forChannel(channelNameCode, channel);
}
QString clearOver(int channel)
{
    return forChannel(clearOverCode, channel);
}
QString setUnitName(const QString &name)
{
    return withArgument(unitNameCode, name);
}

QString setSampleRate(int value)
{
    return withArgument(sampleRateCode, QString::number(value));
}
QString setClockSource(int value)
{
    return withArgument(clockSourceCode, QString::number(value));
}
QString setOutputFormat(int value)
{
    return withArgument(outputFormatCode, QString::number(value));
}
QString setClockOutSource(int value)
{
    return withArgument(clockOutSourceCode, QString::number(value));
}

QString settingKey(const QString &command)
{
    static const QStringList channelSettings{setGainCode, setPhantomCode, setPhaseCode,
                                             setRibbonCode, channelNameCode};
    static const QStringList unitSettings{unitNameCode, sampleRateCode, clockSourceCode,
                                          outputFormatCode, clockOutSourceCode};
    const auto parsed = parse(command);
    if (!parsed || !parsed->hasArgument)
        return QString();
    if (unitSettings.contains(parsed->code))
        return parsed->code;
    const QStringList parts = parsed->splitArgument(2);
    // The bare "CMD_NMCH=n" only asks for the channel's report; it sets no name.
    if (!channelSettings.contains(parsed->code) || parts.size() < 2)
        return QString();
    return withArgument(parsed->code, parts.at(0));
}

QStringList Parsed::splitArgument(int maxParts) const
{
    QStringList parts;
    QString rest = argument;
    while (parts.size() < maxParts - 1) {
        const int comma = rest.indexOf(QLatin1Char(','));
        if (comma < 0)
            break;
        parts << rest.left(comma);
        rest = rest.mid(comma + 1);
    }
    parts << rest;
    return parts;
}

std::optional<Parsed> parse(const QString &text, const QString &prefix)
{
    const int equals = text.indexOf(QLatin1Char('='));
    Parsed parsed;
    parsed.code = equals < 0 ? text : text.left(equals);
    if (!isCommandCode(parsed.code, prefix))
        return std::nullopt;
    parsed.hasArgument = equals >= 0;
    if (parsed.hasArgument)
        parsed.argument = text.mid(equals + 1);
    return parsed;
}

} // namespace Commands
