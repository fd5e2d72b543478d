#pragma once

#include <QJsonObject>

// The floor of the interface benchmark: a bare Qt Quick scene in a window of the program's size
// holding only the sixteen meters the program shows with two pages (the program's own Meter
// component, in "Peak Decay"), each bound to a channel object whose meter level is set at the
// rate the program's two shown units report theirs (every 60 ms per eight meters, by the same
// kind of timer). Nothing else is in the scene: no network, no models, no pages.
//
// It measures, over the window, the process's CPU share and the frames the window rendered, as
// InterfaceRun does for the program.
namespace MeterFloorRun {

QJsonObject run(int warmupMs, int windowMs);

} // namespace MeterFloorRun
