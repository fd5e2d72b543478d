#pragma once

#include <QHash>
#include <QVector>

class BenchDriver;
class SimulatorProcess;

// The driver's side of benchmarks 6 to 8, against a simulator of their own whose units are
// switched to the serial profile before each run: the command latency of one unit at each service
// time (6), the recall of a preset to twelve units (7) and a held gain button on one unit (8).
// For each: the measurement child it runs, the figures it adds with the units' own counters beside
// them, and the budgets they are judged by.
class CommandBenches
{
public:
    explicit CommandBenches(BenchDriver &driver) : m_driver(driver) {}

    // One run of each benchmark; false as soon as one fails.
    bool runOnce(SimulatorProcess &simulator);
    // After the last run: each service time's latencies of all runs, pooled.
    void addPooledLatencies();
    void judgeBudgets();

private:
    bool runLatencyOnce(SimulatorProcess &simulator, int serviceMs);
    bool runHeldOnce(SimulatorProcess &simulator, int members, int serviceMs);
    bool runRecallOnce(SimulatorProcess &simulator, int serviceMs, bool resumePolling);

    BenchDriver &m_driver;
    QHash<int, QVector<double>> m_latencySamples; // by service time, over all runs
};
