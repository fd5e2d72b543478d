#pragma once

#include <QJsonObject>
#include <QStringList>

#include <functional>

class ControllerGraph;
class QQuickWindow;

// The complete program, window included, against simulated units: built by the program's own
// start-up code with a saved state that lists the units, operated as an operator would
// ("Connect", "Preamps", one page down and back up, so the two pages at the top are shown and
// polled at full rate and the others sleep), with the meters' peaks in "Peak Decay".
//
// Over the window it measures the process's CPU share, the frames the window rendered, the
// meter reports of the shown units and how many of them were replaced by the next report of the
// same unit before any frame showed them (dropped updates), and which of the shown channels'
// meters moved.
namespace InterfaceRun {

// What a measurement built on this one does around it: before the warm-up, once the pages are
// shown (false ends the run), and after the window, adding its own figures to the result.
struct Hooks
{
    std::function<bool(ControllerGraph &, QQuickWindow *)> beforeWarmup;
    std::function<void(ControllerGraph &, QJsonObject &)> afterWindow;
};

// With unloadHiddenStrips the pages that are not shown drop their strips (their stripsLoaded
// is cleared) before measuring: not what the program does, but what it would save if it did.
QJsonObject run(const QStringList &addresses, int warmupMs, int windowMs,
                bool unloadHiddenStrips = false, const Hooks &hooks = {});

} // namespace InterfaceRun
