#pragma once

#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>
#include <QVector>

class LinkMonitor;
class NetworkCom;
class PreampModel;
class QQmlApplicationEngine;
class SystemManager;

// The controller's objects as start-up builds them, without a window: one transport and one
// system manager with its twelve wired unit models, left as start-up leaves them when there is
// no saved state. The graph is built once per process, as building it costs far more than one
// input does; reset() puts back everything an input can change before the next one, so an input
// sees exactly what a fresh process would show it and every finding replays on its own.
//
// What an input can change, and how reset() puts it back: each model's unit fields, channels and
// address (compared with a model that is never touched, written back only where they differ);
// its link (the three timers stopped at their first intervals, the state, the ping and the count
// of watchdog expiries); the manager's count, groups, preset name and folder; the commands
// collected; and every file under the private HOME. One field cannot be put back from outside:
// a link that was ever started keeps its meter flag, which only gates the meter poll a timer
// tick asks for, and no timer fires here, as no input runs an event loop.
//
// Nothing leaves the machine: the models' commands are taken off the transport and collected
// here, and HOME points at a private temporary folder with the standard locations in test mode,
// so saved state and presets never touch a real user's files.
class FuzzGraph
{
public:
    // Builds the graph on first use; main() of a fuzzer has no other place to do it.
    static FuzzGraph &instance();
    ~FuzzGraph();
    FuzzGraph(const FuzzGraph &) = delete;
    FuzzGraph &operator=(const FuzzGraph &) = delete;

    // The graph as built, for the next input. Every so many inputs (and on the first ones) it
    // also compares everything the graph shows with the state it was built in and stops the
    // fuzzer where an input left something behind.
    SystemManager *reset();
    // Whether reset() compared the graph for this input: the fuzzers make their costly checks of
    // what does not depend on the input's bytes on the same inputs.
    bool checking() const { return m_checking; }
    SystemManager *manager() const { return m_manager; }
    NetworkCom *transport() const { return m_transport; }
    // The address of slot k (0 to 11), on the loopback network the harness owns.
    static QString unitAddress(int slot);

    // Everything the models of count slots from first show, unit by unit, row by row and role by
    // role, with each link's timers and counters and each channel's group gain.
    QVector<QVariant> shownState(int first = 0, int count = -1) const;

    // Every command the models sent since the last reset, oldest first.
    const QStringList &commands() const { return m_commands; }
    QString homePath() const { return m_home.path(); }

private:
    struct Slot
    {
        PreampModel *model;
        LinkMonitor *link;
    };

    FuzzGraph();
    void resetModel(const Slot &slot);
    void resetLink(const Slot &slot);
    void resetManager();
    void removeFiles();
    QVector<QVariant> everything() const;
    void collectCommands(PreampModel *model);

    QTemporaryDir m_home;
    QQmlApplicationEngine *m_engine;
    NetworkCom *m_transport;
    SystemManager *m_manager;
    QList<Slot> m_slots;
    PreampModel *m_untouched; // the reference: a model as it is built
    Slot m_untouchedSlot;
    QVector<QVariant> m_builtUnitFields; // its unit roles, IdRole first, read once
    QUrl m_startFolder;
    QVector<QVariant> m_builtState;
    QStringList m_commands;
    quint64 m_inputs = 0;
    bool m_checking = true;
};

// Stops the fuzzer with the input that broke a property the controller promises.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            qFatal("fuzz check failed: %s (%s:%d)", #condition, __FILE__, __LINE__);               \
    } while (false)
