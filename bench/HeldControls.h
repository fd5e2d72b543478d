#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

// An operator holding a gain button on one unit that the program polls at full rate, whose
// simulator runs the serial profile at a service time set before this runs: either one channel
// outside any group, or the first of eight channels that form a gain group, so that every step
// moves all eight. The steps come at the strip's repeat rate (every 250 ms), as many as the plan
// says, through the model's propertyChange as the strip's button calls it.
//
// Measured: the lowest link state the model shows during the hold, the steps it refused, the
// status reports that reached it per second of the hold, the waiting commands the transport
// replaced with newer ones (from the first step until the unit holds the final values), and the
// time from the last step until the unit's reports show every held channel at the gain the
// steps reached. Before the hold the held channels are set to gains 10, 11, ..., and the unit's
// reports show them.
namespace HeldControls {

struct Plan
{
    int members = 0; // of the gain group; 0: one channel, not grouped
    int steps = 32;
    int repeatMs = 250;
    // Before the first step: the warm-up, and a lead that sets where in the status poll's
    // interval the steps fall, which the driver varies from run to run.
    int warmupMs = 2000;
    int leadMs = 0;
    int settleTimeoutMs = 20000;
};

constexpr int firstGain = 10;

// Adds mode, members, steps, issued, refused, lowestLinkState, holdSeconds,
// statusReportsPerSecond, mergedCommands, releaseToFinalMs (-1 when the reports never showed
// the final gains within the plan's settle time) and finalGains (the gain each held channel,
// from channel 1, should end at).
QJsonObject run(const QString &address, const Plan &plan);

// How the driver shows one run: the benchmark's name, its figures from a run's result, and the
// budgets.
QString benchName(int members, int serviceMs);
struct Figure
{
    QString name;
    double value = 0;
    int decimals = 0;
};
QList<Figure> figures(const QJsonObject &result);
struct Budget
{
    QString figure;
    QString text;
    std::function<bool(double)> holds;
    bool everyRun = false; // judged on every run, not on the median
};
QList<Budget> budgets(int members, int serviceMs);
// The figure the driver fills in from the unit's own status document, asked after the run: the
// held channels it shows at the gains the run's result says they should end at.
extern const QString channelsAtFinalFigure;
int channelsAtFinal(const QJsonObject &result, const QJsonObject &status);

} // namespace HeldControls
