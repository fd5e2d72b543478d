#pragma once

#include <QList>
#include <QString>
#include <QVector>

#include <functional>

class QTextStream;

// The benchmarks' table: every figure by benchmark and name, in the order it was first given,
// with its value from each run and the budget it is judged by; printed as the median with min and
// max. A benchmark's driver adds its figures run by run and judges its budgets once all have run.
class FigureTable
{
public:
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

    // The figure, added without values (a row kept in its place) if it is new.
    Figure &figure(const QString &bench, const QString &name, int decimals = 1);
    void add(const QString &bench, const QString &name, double value, int decimals = 1);
    // The budget is judged on the median of the runs, or on each of them.
    void judge(const QString &bench, const QString &name, const QString &budget,
               const std::function<bool(double)> &holds, bool everyRun = false);
    // For budgets judged otherwise (on the worst window, against another figure).
    QList<Figure> &figures() { return m_figures; }
    void print(QTextStream &out) const;

    static double median(QVector<double> values);

private:
    QList<Figure> m_figures;
};
