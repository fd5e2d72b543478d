#pragma once

#include <QJsonObject>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <optional>

#include "device/Commands.h"
#include "sim/UnitAnswer.h"

// The faults a harness has injected into one simulated unit with SIM_ commands, and what they do
// to it: silence (SLNT), HTTP errors (HERR), bodies that are garbage (GRBG), cut in half (TRNC)
// or oversized (HUGE), delayed answers (DLAY), the clock reported unlocked (UNLK), channels read
// at the top of the meter scale (CLIP), and the next answers lost (DROP) or trickled (TRKL).
//
// "SIM_XXXX" lasts until cleared, "SIM_XXXX=ms" (or "=value,ms") ends by itself on the unit's
// clock; DROP and TRKL count answers instead. SIM_CLER and SIM_BOOT clear everything (clear()).
//
// Kept apart from the unit's own protocol state (SimulatedUnit), which asks it what to do: hold
// a request, read a clock or a meter as the faults say, spoil an answer. Not thread-safe: the
// unit calls it under its own mutex.
class UnitFaults
{
public:
    // Milliseconds on the unit's monotonic clock.
    using Clock = std::function<qint64()>;

    // Longer delays would only tie up connection threads; longer faults are cleared by hand.
    static constexpr int maxDelayMs = 10000;
    static constexpr int maxDurationMs = 24 * 60 * 60 * 1000;
    // Answers SIM_DROP and SIM_TRKL spoil at once, and how fast a trickle goes.
    static constexpr int maxSpoiledAnswers = 1000;
    static constexpr int defaultTrickleMs = 400;

    explicit UnitFaults(Clock clock) : m_clock(std::move(clock)) {}

    // Whether the simulator command with this code starts a fault.
    static bool startsFault(const QString &code);
    // Starts the fault the command names; false, with *error saying why, for a bad argument.
    bool start(const Commands::Parsed &command, QString *error);
    // Ends the faults whose time has come; called before each request.
    void expire();
    void clear();

    bool isSilent() const { return isActive(Fault::Silent); }
    bool isClockUnlocked() const { return isActive(Fault::Unlocked); }
    // The HTTP status that answers every unit command while SIM_HERR lasts.
    std::optional<int> httpError() const;
    // Whether the channel (0 to 7) reads at the top of the meter scale at that clock time.
    bool isClipping(int row, qint64 now) const;
    // An answer to a unit command as the active faults leave it: delayed, its document spoiled
    // (only answers meant as documents; refusals stay readable), and the next counted answers
    // lost or trickled.
    void spoil(UnitAnswer &answer);
    // The active faults as the SIM_ answers list them, by name.
    QJsonObject describe() const;

private:
    enum class Fault
    {
        Silent,
        HttpError,
        Garbage,
        Truncated,
        Huge,
        Delay,
        Unlocked
    };
    struct ActiveFault
    {
        int value = 0;     // HTTP status for HttpError, milliseconds for Delay
        qint64 until = -1; // clock time it ends; negative: until cleared
    };
    using Parsed = Commands::Parsed;
    using Starter = bool (UnitFaults::*)(const Parsed &, QString *);

    static const std::map<QString, Starter> &starters();
    static QString faultName(Fault fault);
    bool isActive(Fault fault) const { return m_faults.count(fault) != 0; }
    std::optional<qint64> endOfFault(const QString &durationText) const;

    template<Fault Kind> bool startFault(const Parsed &command, QString *error);
    template<Fault Kind, int MinValue, int MaxValue>
    bool startValuedFault(const Parsed &command, QString *error);
    bool clipChannels(const Parsed &command, QString *error);
    bool dropAnswers(const Parsed &command, QString *error);
    bool trickleAnswers(const Parsed &command, QString *error);

    const Clock m_clock;
    std::map<Fault, ActiveFault> m_faults;
    // While set, the channel reads at the top of the scale: the clock time it ends, negative
    // until cleared.
    std::array<std::optional<qint64>, Commands::channelCount> m_clipUntil;
    // Counted faults: the next answers to unit commands that are lost, or that trickle.
    int m_answersToDrop = 0;
    int m_answersToTrickle = 0;
    int m_trickleMs = defaultTrickleMs;
};
