#include "sim/Scenario.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

#include "sim/SimulatedUnit.h"
#include "sim/UnitFaults.h"
#include "sim/WholeNumber.h"

namespace {

constexpr qint64 maxAtMs = qint64(UnitFaults::maxDurationMs) * 365;
// Commands whose value is not a duration: the serving profile, and the counted faults.
const QStringList untimed{QStringLiteral("SERL"), QStringLiteral("DROP"), QStringLiteral("TRKL")};

// The simulator command of a fault with a duration: "SLNT" 500 -> "SIM_SLNT=500",
// "HERR=503" 500 -> "SIM_HERR=503,500".
QString commandFor(const QString &fault, const QString &duration)
{
    QString command = QStringLiteral("SIM_") + fault;
    if (!duration.isNull())
        command +=
            (fault.contains(QLatin1Char('=')) ? QLatin1Char(',') : QLatin1Char('=')) + duration;
    return command;
}

} // namespace

Scenario::Parsed Scenario::parse(const QString &text, int unitCount)
{
    Parsed parsed;
    const auto fail = [&parsed](int line, const QString &reason) {
        parsed.steps.clear();
        parsed.errorLine = line;
        parsed.error = reason;
        return parsed;
    };
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (fields.size() < 3 || fields.size() > 4)
            return fail(i + 1, QStringLiteral("expected AT_MS UNIT FAULT [DURATION_MS]"));
        bool ok = false;
        const qint64 atMs = fields.at(0).toLongLong(&ok);
        if (!ok || atMs < 0 || atMs > maxAtMs)
            return fail(i + 1, QStringLiteral("bad time \"%1\"").arg(fields.at(0)));
        const auto unit = wholeNumber(fields.at(1), 1, unitCount);
        if (!unit)
            return fail(i + 1, QStringLiteral("unit must be 1 to %1").arg(unitCount));
        const QString duration = fields.value(3, QString());
        if (!duration.isNull() && !wholeNumber(duration, 1, UnitFaults::maxDurationMs))
            return fail(i + 1, QStringLiteral("bad duration \"%1\"").arg(duration));
        // Appended, a duration would pass for SERL's jitter or connection limit, or for the
        // number of answers DROP and TRKL spoil.
        const QString code = fields.at(2).section(QLatin1Char('='), 0, 0);
        if (!duration.isNull() && untimed.contains(code))
            return fail(i + 1, QStringLiteral("%1 takes no duration").arg(code));
        const QString command = commandFor(fields.at(2), duration);
        const SimulatedUnit::Result check = SimulatedUnit(*unit).handle(command);
        if (check.status != 200)
            return fail(i + 1, QStringLiteral("bad fault \"%1\": %2")
                                   .arg(command.mid(4), QString::fromUtf8(check.body.trimmed())));
        parsed.steps.push_back({atMs, *unit - 1, command});
    }
    std::stable_sort(parsed.steps.begin(), parsed.steps.end(),
                     [](const Step &a, const Step &b) { return a.atMs < b.atMs; });
    return parsed;
}
