#pragma once

#include <functional>

// Waiting that runs the event loop as the program's own loop does, without the pauses the test
// library's waits put between rounds (they would batch timers and replies and skew latencies).
namespace EventLoopWait {

void forMs(int ms);

// What a measuring window cost: its length by the wall clock and this process's CPU time in it.
struct Spent
{
    double seconds = 0;
    double cpuSeconds = 0;
    double coreSharePercent() const { return cpuSeconds / seconds * 100; }
};
// forMs, measured.
Spent measuredForMs(int ms);
// Returns true as soon as done() holds (checked every 20 ms), false after timeoutMs.
bool until(const std::function<bool()> &done, int timeoutMs);

} // namespace EventLoopWait
