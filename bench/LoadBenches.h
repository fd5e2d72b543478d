#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class BenchDriver;

// The driver's side of benchmarks 1 to 3, the polling loads against the twelve units of the
// driver's first simulator: the engine with every unit awake, the bare toolkit client sending the
// request mix that engine sent, wrk with the same mix against each unit (when it is installed),
// and both clients again at normal load (two units awake, ten asleep). For each: the children it
// runs, the figures it adds and the budget of the engine's cost relative to the bare client.
class LoadBenches
{
public:
    explicit LoadBenches(BenchDriver &driver) : m_driver(driver) {}

    // One run of each load; false as soon as a measurement fails.
    bool runOnce(const QStringList &addresses);
    void judgeBudgets();

private:
    void runWrk(const QStringList &addresses, const QJsonObject &engineResult);

    BenchDriver &m_driver;
    QString m_wrkScript; // written once, from the first run's mix
};
