#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command texts a unit understands. The controller builds every command it sends through
// these functions so the texts exist in one place; the simulated units parse them with
// Commands::parse. Channels are numbered 1 to 8 here, as on the wire.
namespace Commands {

inline constexpr int channelCount = 8;
inline constexpr int minGain = 0;
inline constexpr int maxGain = 68;

inline const QString statusCode = QStringLiteral("CMD_PSTS");
inline const QString meterCode = QStringLiteral("CMD_METR");
inline const QString factoryResetCode = QStringLiteral("CMD_FREC");
inline const QString setPhantomCode = QStringLiteral("CMD_P48S");
inline const QString togglePhantomCode = QStringLiteral("CMD_P48T");
inline const QString setPhaseCode = QStringLiteral("CMD_PPHS");
inline const QString togglePhaseCode = QStringLiteral("CMD_PPHT");
inline const QString setRibbonCode = QStringLiteral("CMD_PIPS");
inline const QString toggleRibbonCode = QStringLiteral("CMD_PIPT");
inline const QString setGainCode = QStringLiteral("CMD_PGNS");
inline const QString gainUpCode = QStringLiteral("CMD_PGNU");
inline const QString gainDownCode = QStringLiteral("CMD_PGND");
inline const QString channelNameCode = QStringLiteral("CMD_NMCH");
inline const QString clearOverCode = QStringLiteral("CMD_DOVC");
inline const QString unitNameCode = QStringLiteral("CMD_NMDV");
inline const QString sampleRateCode = QStringLiteral("CMD_ADFS");
inline const QString clockSourceCode = QStringLiteral("CMD_ADCK");
inline const QString outputFormatCode = QStringLiteral("CMD_ADTX");
inline const QString clockOutSourceCode = QStringLiteral("CMD_ADOC");

QString status();
QString meters();
QString factoryReset();

QString setPhantom(int channel, bool on);
QString togglePhantom(int channel);
QString setPhase(int channel, bool on);
QString togglePhase(int channel);
QString setRibbon(int channel, bool on);
QString toggleRibbon(int channel);

QString setGain(int channel, int gain);
QString gainUp(int channel);
QString gainDown(int channel);

// The name travels as it stands; URL encoding is the transport's business.
QString setChannelName(int channel, const QString &name);
// The bare form "CMD_NMCH=n" without a comma, which the name entry sends on its own.
QString channelNameOnly(int channel);
QString clearOver(int channel);
QString setUnitName(const QString &name);

QString setSampleRate(int value);
QString setClockSource(int value);
QString setOutputFormat(int value);
QString setClockOutSource(int value);

// The setting an absolute command sets, as a key that is the same for every command setting
// it: the code, and for a channel's setting also the channel ("CMD_PGNS=3"). A later command
// with the same key makes an earlier one's effect irrelevant. Empty for commands whose effect
// depends on what came before (steps, toggles, clearing the over, the factory reset), for
// queries (the polls, the bare channel-name form) and for text that is no command.
QString settingKey(const QString &command);

// A command text split at its first "=": the code ("CMD_P48S") and everything after the "="
// ("3,ON"). Names may contain commas and "=", so the argument is kept whole; callers split it
// with splitArgument.
struct Parsed
{
    QString code;
    bool hasArgument = false;
    QString argument;

    // Splits the argument at commas into at most maxParts parts; the last part keeps any
    // further commas (a channel name after its number).
    QStringList splitArgument(int maxParts) const;
};

// Accepts "PREFIX_XXXX" or "PREFIX_XXXX=argument" with a four-character code of upper-case
// letters and digits ("P48S").
// Returns nothing for any other text. prefix is "CMD_" for unit commands.
std::optional<Parsed> parse(const QString &text, const QString &prefix = QStringLiteral("CMD_"));

} // namespace Commands
