#include "system/ReportAges.h"

#include <QElapsedTimer>

#include <memory>

ReportAges::ReportAges()
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    m_clock = [started] {
        return started->elapsed();
    };
}

void ReportAges::record(const QString &address)
{
    m_lastReport.insert(address.toLower(), m_clock());
}

qint64 ReportAges::age(const QString &address) const
{
    const auto last = m_lastReport.constFind(address.toLower());
    return last == m_lastReport.cend() ? never : m_clock() - *last;
}
