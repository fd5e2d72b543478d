#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <random>

#include "device/Commands.h"
#include "sim/UnitAnswer.h"
#include "sim/UnitFaults.h"

// One simulated preamp unit: its settings, its meters and the faults a test harness injects
// (kept by UnitFaults, which the unit asks before it answers). handle() takes one decoded command
// text and returns the complete HTTP answer, so the whole behaviour of a unit can be tested without
// a network; UnitServer only moves bytes and carries out the few instructions a Result gives it
// (hold, delay, refuse connections).
//
// The unit also holds its serving profile and its connection counts, because SIM_ commands set
// the one and report the other; UnitServer reads the profile and reports each connection it
// opens and closes, and runs the serial queue itself.
//
// Thread-safe: every public function takes the unit's mutex, because UnitServer calls handle()
// from its connection threads.
//
// Commands starting "CMD_" are the unit's protocol (SimulatedUnit.cpp). Commands starting "SIM_"
// control the simulation (faults, counters, restart; SimulatedUnitControl.cpp); a real unit never
// sees them, and they are answered whatever fault is active, so a harness can always reach a
// misbehaving unit.
class SimulatedUnit
{
public:
    // Milliseconds on a monotonic clock. Fault durations and the slow wander of the meters read
    // it; tests inject their own clock to step through time without sleeping.
    using Clock = std::function<qint64()>;

    // What the HTTP side does with one request.
    using Result = UnitAnswer;

    // How the unit's web server copes with load. The fast profile (the default) answers every
    // request at once, on as many connections as a client opens. The serial profile is a real
    // unit's small embedded server: it works on one request at a time over all its connections,
    // in arrival order, each taking a service time drawn from [serviceMs, serviceMs + jitterMs],
    // and it has sockets for only maxConnections connections; a further one is reset unread.
    // The profile is how the unit is built, not a fault: SIM_CLER and SIM_BOOT keep it.
    struct Profile
    {
        bool serial = false;
        int serviceMs = 0;
        int jitterMs = 0;
        int maxConnections = 0; // 0: no limit
    };
    static constexpr int defaultServiceMs = 20;
    static constexpr int maxServiceMs = 2000; // and jitter
    static constexpr int defaultMaxConnections = 4;
    static constexpr int maxConnectionLimit = 64;

    // SIM_CLOG keeps this many of the unit's latest commands; older ones are dropped.
    static constexpr int commandLogLength = 1000;
    // Meter scale of the unit; the top of the scale is an over.
    static constexpr int meterFullScale = 63;

    // id is the hardware id, kept through factory resets and restarts. seed makes the meters
    // reproducible. Without a clock the unit measures time since its construction.
    explicit SimulatedUnit(int id, quint32 seed = 1, Clock clock = {});

    int id() const { return m_id; }
    Result handle(const QString &commandText);
    // Simulation commands skip the serial queue as they skip faults.
    static bool isSimCommand(const QString &commandText);

    Profile profile() const;
    // One request's service time under the serial profile. It has a random source of its own, so
    // the meters read the same for a seed however many requests the unit serves.
    int nextServiceMs();

    // Connection counts for SIM_STAT, decided here so that the limit and the figures it reports
    // agree. openConnection() returns false when the serial profile has no socket left: the
    // caller closes the connection unread and it counts as refused. closeConnection() follows
    // every admitted connection.
    bool openConnection();
    void closeConnection();

private:
    struct Channel
    {
        QString name;
        int gain = 0;
        bool phantom = false;
        bool phase = false;
        bool ribbon = false;
        bool over = false;
        // The slow wander of the input level: a sine with its own period and phase.
        double wanderPeriodMs = 8000;
        double wanderPhase = 0;
    };

    using Parsed = Commands::Parsed;
    using Handler = Result (SimulatedUnit::*)(const Parsed &);
    static const QMap<QString, Handler> &unitCommands();
    static const QMap<QString, Handler> &simCommands();

    Result runUnitCommand(const QString &text);
    Result runSimCommand(const Parsed &command);
    void countRequest(const QString &code);

    void restoreFactoryDefaults();
    void restart();
    void latchClipping();

    // Unit commands.
    Result statusCommand(const Parsed &command);
    Result meterCommand(const Parsed &command);
    Result factoryReset(const Parsed &command);
    template<bool Channel::*Switch> Result setSwitch(const Parsed &command);
    template<bool Channel::*Switch> Result toggleSwitch(const Parsed &command);
    Result setGain(const Parsed &command);
    template<int Step> Result stepGain(const Parsed &command);
    Result setChannelName(const Parsed &command);
    Result clearOver(const Parsed &command);
    Result setUnitName(const Parsed &command);
    template<int SimulatedUnit::*Setting, bool (*IsValid)(int)>
    Result setConverter(const Parsed &command);

    // Simulation commands.
    Result startFault(const Parsed &command);
    Result refuseConnections(const Parsed &command);
    Result reboot(const Parsed &command);
    Result clearFaults(const Parsed &command);
    Result statistics(const Parsed &command);
    Result commandLog(const Parsed &command);
    Result setProfile(const Parsed &command);
    Result simAnswer() const;

    // Documents.
    QJsonObject channelEntry(int number) const;
    QJsonObject converterObject() const;
    Result channelAnswer(int number) const;
    Result statusAnswer() const;
    Result converterAnswer() const;
    Result meterAnswer();
    int nextMeterLevel(int row, qint64 now);

    std::optional<int> channelNumber(const QString &text) const;

    const int m_id;
    const Clock m_clock;
    mutable std::mutex m_mutex;
    std::mt19937 m_random;
    std::mt19937 m_serviceRandom;

    QString m_name;
    std::array<Channel, Commands::channelCount> m_channels;
    int m_sampleRate = 0;
    int m_clockSource = 0;
    int m_outputFormat = 0;
    int m_clockOutSource = 0;

    UnitFaults m_faults;
    int m_boots = 1;
    int m_requests = 0;
    QMap<QString, int> m_requestsByCode;
    // Every request but the polls (status and meters), as received, oldest first: what a harness
    // reads to learn which commands reached the unit and in what order.
    QStringList m_commandLog;

    Profile m_profile;
    int m_openConnections = 0;
    int m_mostOpenConnections = 0; // since the last SIM_STAT=RESET
    int m_refusedConnections = 0;
};
