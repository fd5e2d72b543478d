#include "InterfaceRun.h"

#include <QHash>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>

#include "EventLoopWait.h"
#include "ProcessUsage.h"
#include "app/InterfaceConstants.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/ControllerGraph.h"
#include "support/IsolatedHome.h"
#include "support/WindowItems.h"
#include "system/SystemManager.h"

namespace {

constexpr int stepTimeoutMs = 10000;
constexpr int shownPages = 2;

bool click(QQuickWindow *window, const char *name)
{
    return WindowItems::click(window, WindowItems::find(window, QString::fromLatin1(name)));
}

// Meter reports of the shown units, and those a later report of the same unit replaced before
// a frame was rendered.
class MeterWatch
{
public:
    void reportArrived(int page)
    {
        ++m_reports;
        if (m_undrawn[page])
            ++m_dropped;
        m_undrawn[page] = true;
    }
    void frameRendered()
    {
        ++m_frames;
        std::fill(std::begin(m_undrawn), std::end(m_undrawn), false);
    }
    void restart() { m_reports = m_dropped = m_frames = 0; }

    int reports() const { return m_reports; }
    int dropped() const { return m_dropped; }
    int frames() const { return m_frames; }

private:
    bool m_undrawn[shownPages] = {};
    int m_reports = 0;
    int m_dropped = 0;
    int m_frames = 0;
};

// Smallest and largest level each shown channel had at a report within the window.
class LevelRange
{
public:
    LevelRange() { m_ranges.fill({PreampModel::overLevel + 1, -1}); }

    void note(const PreampModel *unit, int page)
    {
        for (int row = 0; row < PreampModel::channelCount; ++row) {
            const int level = unit->channel(row)->meterLevel();
            auto &range = m_ranges.at(page * PreampModel::channelCount + row);
            range = {std::min(range.first, level), std::max(range.second, level)};
        }
    }
    int moving() const
    {
        return int(std::count_if(m_ranges.begin(), m_ranges.end(),
                                 [](const auto &range) { return range.second > range.first; }));
    }

private:
    std::array<std::pair<int, int>, shownPages * PreampModel::channelCount> m_ranges;
};

QJsonObject failure(const char *step)
{
    return QJsonObject{{"error", QStringLiteral("interface: %1").arg(QLatin1String(step))}};
}

QList<QQuickItem *> pages(QQuickWindow *window, int units)
{
    QList<QQuickItem *> found;
    for (int slot = 1; slot <= units; ++slot) {
        if (QQuickItem *page = WindowItems::find(window, QStringLiteral("preamp%1").arg(slot)))
            found << page;
    }
    return found;
}

int visiblePages(QQuickWindow *window, int units)
{
    const QList<QQuickItem *> all = pages(window, units);
    return int(
        std::count_if(all.begin(), all.end(), [](QQuickItem *page) { return page->isVisible(); }));
}

void unloadHiddenStrips(QQuickWindow *window, int units)
{
    for (QQuickItem *page : pages(window, units)) {
        if (!page->isVisible())
            page->setProperty("stripsLoaded", false);
    }
}

} // namespace

namespace InterfaceRun {

QJsonObject run(const QStringList &addresses, int warmupMs, int windowMs, bool unloadHidden,
                const Hooks &hooks)
{
    IsolatedHome home;
    if (!home.writeSavedState(addresses))
        return failure("cannot write the saved state");
    ControllerGraph graph;
    auto *window = qobject_cast<QQuickWindow *>(graph.window());
    if (!graph.isValid() || !window)
        return failure("the program did not start");
    SystemManager *manager = graph.manager();
    const int units = addresses.size();
    if (!EventLoopWait::until([&] { return window->isExposed(); }, stepTimeoutMs))
        return failure("the window was not shown");

    // The restored rows are pinged and sorted by ID before Connect maps them onto the slots.
    EventLoopWait::forMs(1000);
    if (!click(window, "connectButton") ||
        !EventLoopWait::until([&] { return manager->activePreamps() == units; }, stepTimeoutMs))
        return failure("Connect did not take the units in use");
    QQuickItem *blocker = WindowItems::find(window, QStringLiteral("inputBlocker"));
    EventLoopWait::until([&] { return blocker && !blocker->isEnabled(); }, stepTimeoutMs);
    if (!click(window, "preampsButton"))
        return failure("no Preamps button");
    const auto allOnline = [&] {
        for (int slot = 0; slot < units; ++slot) {
            if (graph.model(slot)->online() != PreampModel::Online)
                return false;
        }
        return true;
    };
    if (!EventLoopWait::until(allOnline, stepTimeoutMs))
        return failure("not every unit came online");
    // One page down and back up, as the page arrows do: the pages not shown go to sleep.
    QMetaObject::invokeMethod(window, "pageDown");
    QMetaObject::invokeMethod(window, "pageUp");
    window->setProperty("peakMode", InterfaceConstants::PeakDecay);
    if (unloadHidden)
        unloadHiddenStrips(window, units);

    MeterWatch watch;
    LevelRange levels;
    QHash<QString, int> pageOf;
    for (int page = 0; page < shownPages && page < units; ++page)
        pageOf.insert(graph.model(page)->ipAddr(), page);
    QObject::connect(graph.transport(), &NetworkCom::meterUpdate, window,
                     [&](const QJsonObject &, const QString &ip) {
                         const auto page = pageOf.constFind(ip);
                         if (page == pageOf.constEnd())
                             return;
                         watch.reportArrived(*page);
                         levels.note(graph.model(*page), *page);
                     });
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] { watch.frameRendered(); });

    if (hooks.beforeWarmup && !hooks.beforeWarmup(graph, window))
        return failure("the preparation of the measurement failed");
    EventLoopWait::forMs(warmupMs);
    watch.restart();
    levels = LevelRange();
    const qint64 rssAtStart = ProcessUsage::residentKiB();
    const EventLoopWait::Spent spent = EventLoopWait::measuredForMs(windowMs);
    const double seconds = spent.seconds;

    int awake = 0;
    for (int slot = 0; slot < units; ++slot)
        awake += graph.model(slot)->meterTimer()->isActive() ? 1 : 0;
    QJsonObject result{
        {"mode", "interface"},
        {"units", units},
        {"pagesShown", visiblePages(window, units)},
        {"unitsAtFullRate", awake},
        {"hiddenStripsUnloaded", unloadHidden},
        {"seconds", seconds},
        {"coreSharePercent", spent.coreSharePercent()},
        {"framesPerSecond", watch.frames() / seconds},
        {"meterReportsPerSecond", watch.reports() / seconds},
        {"meterReports", watch.reports()},
        {"droppedUpdates", watch.dropped()},
        {"metersMoving", levels.moving()},
        {"rssStartKiB", double(rssAtStart)},
        {"rssEndKiB", double(ProcessUsage::residentKiB())},
    };
    if (hooks.afterWindow)
        hooks.afterWindow(graph, result);
    return result;
}

} // namespace InterfaceRun
