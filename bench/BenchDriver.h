#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "FigureTable.h"

class QTextStream;

// Runs every benchmark as its own child process of this program (so each one's CPU time and
// memory are its own), against one simulator process for the polling loads, and prints the
// table of medians with min and max and the budgets.
//
// Per run, in this order: the engine with twelve awake units, the bare toolkit client with the
// request mix that engine sent, wrk with the same mix against each unit, the engine at normal
// load (two awake, ten asleep) and the bare client with its mix (LoadBenches); then, against a
// simulator of its own whose units are switched to the serial profile, the command latency of
// one unit at each service time, a held gain button on one unit (one channel at 300 ms of
// service, a group of eight at 60 ms) and the recall of a preset to twelve units at each service
// time (CommandBenches). Then, driven here, the interface runs: the floor (a bare scene of the
// sixteen meters, MeterFloorRun), the engine alone with the two units shown, the program with two
// units in use and with twelve (two pages shown either way), and with twelve whose hidden pages
// drop their strips (a what-if the program does not do); then the clip storm runs side by side
// with their runs without the storm (ClipStormRun), and one soak.
class BenchDriver
{
public:
    struct Options
    {
        int runs = 5;
        int seconds = 30;
        int warmupSeconds = 2;
        int soakWindows = 10;
        int soakWindowSeconds = 60;
        int soakSilenceSeconds = 20;
        QStringList parts{"load", "commands", "interface", "soak", "showlog"};
        int stormSeconds = 60;
        QString logFile;
    };

    // The units of the polling loads and the interface, and those at normal load.
    static constexpr int unitCount = 12;
    static constexpr int normalAwake = 2;
    // A child gets this long beyond its own run time before it is taken for hung.
    static constexpr int childGraceMs = 120000;

    explicit BenchDriver(const Options &options);
    // Returns the process exit code: 0 when every benchmark produced its figures.
    int run(QTextStream &out);

    // For the benchmarks' drivers (LoadBenches, CommandBenches): the options, the run under way
    // (0-based), the table their figures go to, one measurement in a child process of this
    // program (its JSON result, or {"error": ...}), and a note of the machine's load.
    const Options &options() const { return m_options; }
    int runIndex() const { return m_run; }
    FigureTable &table() { return m_table; }
    QJsonObject runChild(const QStringList &arguments, const QStringList &environment = {});
    // The arguments of a timed measurement: how long it measures, and how long it settles first.
    QStringList timed(int seconds) const;
    // Whether a child's result is an error; says which when it is.
    static bool failed(const QJsonObject &result);
    void noteLoad(const QString &when);

private:
    bool runInterface(const QStringList &addresses);
    // The figures of one run of the program, empty when it failed.
    QJsonObject runInterfaceOnce(const QStringList &addresses, bool unloadHiddenStrips);
    bool runSoak();
    bool runClipStorm(const QStringList &addresses);
    QJsonObject runClipStormOnce(const QStringList &addresses, bool storm, bool logOpen);
    void judgeBudgets();
    void printMachine(QTextStream &out) const;

    Options m_options;
    FigureTable m_table;
    QStringList m_loadNotes;
    int m_run = 0;
    bool m_failed = false;
};
