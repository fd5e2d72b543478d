#include "ProcessUsage.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>

#include <sys/resource.h>

namespace {

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double cpuOf(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QByteArray readProcFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    // /proc files report a size of 0, so they are read to the end rather than by size.
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QByteArray();
}

} // namespace

namespace ProcessUsage {

double cpuSeconds()
{
    return cpuOf(RUSAGE_SELF);
}

double waitedChildrenCpuSeconds()
{
    return cpuOf(RUSAGE_CHILDREN);
}

qint64 residentKiB()
{
    static const QRegularExpression line(QStringLiteral("^VmRSS:\\s+(\\d+) kB$"),
                                         QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match =
        line.match(QString::fromLatin1(readProcFile("/proc/self/status")));
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

QString cpuModel()
{
    static const QRegularExpression line(QStringLiteral("^model name\\s*:\\s*(.+)$"),
                                         QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match =
        line.match(QString::fromLatin1(readProcFile("/proc/cpuinfo")));
    return match.hasMatch() ? match.captured(1).trimmed() : QStringLiteral("unknown");
}

int onlineCores()
{
    return QThread::idealThreadCount();
}

QString kernelRelease()
{
    return QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion();
}

QString loadAverage()
{
    const QStringList fields =
        QString::fromLatin1(readProcFile("/proc/loadavg")).split(QLatin1Char(' '));
    return fields.mid(0, 3).join(QLatin1Char(' '));
}

} // namespace ProcessUsage
