#pragma once

#include <QHash>
#include <QString>

#include <functional>

// When each unit last reported its whole state: how old the controller's copy of a unit is. The
// recall dialog stops the polls while it is open, so the copy a recall preview compares with
// ages until the recall; the preview says by how much.
//
// Addresses are compared as the models compare them, host names whatever their case.
class ReportAges
{
public:
    // Milliseconds on a monotonic clock; tests set their own.
    using Clock = std::function<qint64()>;
    static constexpr qint64 never = -1;

    ReportAges();

    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The unit at this address has just reported its whole state.
    void record(const QString &address);
    // Milliseconds since then, or never.
    qint64 age(const QString &address) const;

private:
    Clock m_clock;
    QHash<QString, qint64> m_lastReport; // by address in lower case
};
