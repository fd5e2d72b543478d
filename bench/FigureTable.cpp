#include "FigureTable.h"

#include <QTextStream>

#include <algorithm>

FigureTable::Figure &FigureTable::figure(const QString &bench, const QString &name, int decimals)
{
    for (Figure &existing : m_figures) {
        if (existing.bench == bench && existing.name == name)
            return existing;
    }
    m_figures.append(Figure{bench, name, {}, decimals, {}, -1, 0});
    return m_figures.last();
}

void FigureTable::add(const QString &bench, const QString &name, double value, int decimals)
{
    figure(bench, name, decimals).values.append(value);
}

void FigureTable::judge(const QString &bench, const QString &name, const QString &budget,
                        const std::function<bool(double)> &holds, bool everyRun)
{
    for (Figure &existing : m_figures) {
        if (existing.bench == bench && existing.name == name && !existing.values.isEmpty()) {
            existing.budget = budget;
            existing.met =
                (everyRun ? std::all_of(existing.values.cbegin(), existing.values.cend(), holds)
                          : holds(median(existing.values)))
                    ? 1
                    : 0;
        }
    }
}

double FigureTable::median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

void FigureTable::print(QTextStream &out) const
{
    out << "| benchmark | figure | median | min | max | n | budget | met |\n";
    out << "|---|---|---:|---:|---:|---:|---|---|\n";
    for (const Figure &row : m_figures) {
        // A row reserved for figures that a failed part never produced.
        if (row.values.isEmpty())
            continue;
        const auto [low, high] = std::minmax_element(row.values.begin(), row.values.end());
        const auto number = [&row](double value) {
            return QString::number(value, 'f', row.decimals);
        };
        out << "| " << row.bench << " | " << row.name << " | " << number(median(row.values))
            << " | " << number(*low) << " | " << number(*high) << " | "
            << (row.samples > 0 ? row.samples : row.values.size()) << " | " << row.budget << " | "
            << (row.met < 0 ? QString()
                : row.met   ? QStringLiteral("yes")
                            : QStringLiteral("NO"))
            << " |\n";
    }
    out.flush();
}
