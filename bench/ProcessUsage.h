#pragma once

#include <QString>
#include <QtGlobal>

// What the kernel accounts to this process: CPU time (user + system) and resident memory, and
// the CPU time of the child processes it has waited for.
namespace ProcessUsage {

double cpuSeconds();
double waitedChildrenCpuSeconds();
// VmRSS of /proc/self/status; 0 when it cannot be read.
qint64 residentKiB();

// The machine the figures were measured on.
QString cpuModel();
int onlineCores();
QString kernelRelease();
// The 1, 5 and 15 minute load averages as /proc/loadavg gives them.
QString loadAverage();

} // namespace ProcessUsage
