#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QTextStream;
class SimulatorProcess;

// Runs every benchmark as its own child process of this program (so each one's CPU time and
// memory are its own), against one simulator process for the polling loads, and prints the
// table of medians with min and max and the budgets.
//
// Per run, in this order: the engine with twelve awake units, the bare toolkit client with the
// request mix that engine sent, wrk with the same mix against each unit, the engine at normal
// load (two awake, ten asleep) and the bare client with its mix; then, against a simulator of
// its own whose units are switched to the serial profile, the command latency of one unit at
// each service time and the recall of a preset to twelve units at each service time. Then the
// interface runs: the floor (a bare scene of the sixteen meters, MeterFloorRun), the engine
// alone with the two units shown, the program with two units in use and with twelve (two pages
// shown either way), and with twelve whose hidden pages drop their strips (a what-if the
// program does not do); then the
// clip storm runs side by side with their runs without the storm (ClipStormRun), and one soak.
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

    explicit BenchDriver(const Options &options);
    // Returns the process exit code: 0 when every benchmark produced its figures.
    int run(QTextStream &out);

private:
    struct Figure
    {
        QString bench;
        QString name;
        QVector<double> values;
        int decimals = 1;
        QString budget;
        int met = -1;    // -1 no budget, 0 missed, 1 met
        int samples = 0; // a figure pooled over the runs gives its sample count as n
    };

    QJsonObject runChild(const QStringList &arguments, const QStringList &environment = {});
    bool runLoadsOnce(const QStringList &addresses);
    void runWrk(const QStringList &addresses, const QJsonObject &engineResult);
    bool runInterface(const QStringList &addresses);
    // The figures of one run of the program, empty when it failed.
    QJsonObject runInterfaceOnce(const QStringList &addresses, bool unloadHiddenStrips);
    bool runSoak();
    bool runClipStorm(const QStringList &addresses);
    QJsonObject runClipStormOnce(const QStringList &addresses, bool storm, bool logOpen);
    bool runCommandsOnce(SimulatorProcess &simulator);
    bool runLatencyOnce(SimulatorProcess &simulator, int serviceMs);
    bool runRecallOnce(SimulatorProcess &simulator, int serviceMs, bool resumePolling);
    void addPooledLatencies();
    Figure &figure(const QString &bench, const QString &name, int decimals = 1);
    void add(const QString &bench, const QString &name, double value, int decimals = 1);
    // The budget is judged on the median of the runs.
    void judge(const QString &bench, const QString &name, const QString &budget,
               const std::function<bool(double)> &holds);
    void judgeBudgets();
    void printMachine(QTextStream &out) const;
    void printTable(QTextStream &out) const;
    void noteLoad(const QString &when);

    Options m_options;
    QList<Figure> m_figures;
    QStringList m_loadNotes;
    QString m_wrkScript;
    QHash<int, QVector<double>> m_latencySamples; // by service time, over all runs
    int m_run = 0;
    bool m_failed = false;
};
