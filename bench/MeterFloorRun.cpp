#include "MeterFloorRun.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTimer>

#include <array>
#include <memory>

#include "EventLoopWait.h"
#include "app/Startup.h"
#include "model/Channel.h"
#include "model/PreampModel.h"

namespace {

constexpr int shownUnits = 2;
constexpr int meterCount = shownUnits * PreampModel::channelCount;
constexpr int stepTimeoutMs = 10000;

// Two rows of eight meters where the program's two pages have their strips, in the program's
// window size; the meters are the program's, from its resources.
const QByteArray scene = R"(
import QtQuick 2.15
import QtQuick.Window 2.15
import com.Corvane.controller 1.0
import "qrc:/"

Window {
    width: 1600
    height: 900
    visible: true
    color: "#19191a"

    Grid {
        x: 60
        y: 80
        columns: 8
        columnSpacing: 126
        rowSpacing: 200

        Repeater {
            model: meterChannels

            Meter {
                currentValue: modelData.meterLevel
                over: modelData.over
                peakMode: Octo.PeakDecay
            }
        }
    }
}
)";

// Levels that wander as the simulated units' do: a step up or down of a few units per report,
// kept below the over level.
int nextLevel(int level, QRandomGenerator &random)
{
    return qBound(0, level + random.bounded(-6, 7), PreampModel::overLevel - 1);
}

} // namespace

namespace MeterFloorRun {

QJsonObject run(int warmupMs, int windowMs)
{
    Startup::registerQmlTypes();
    std::array<std::unique_ptr<Channel>, meterCount> channels;
    QList<QObject *> published;
    for (auto &channel : channels) {
        channel = std::make_unique<Channel>();
        published << channel.get();
    }
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("meterChannels"),
                                             QVariant::fromValue(published));
    engine.loadData(scene, QUrl(QStringLiteral("qrc:/meter-floor.qml")));
    auto *window = engine.rootObjects().isEmpty()
                       ? nullptr
                       : qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
    if (!window || !EventLoopWait::until([&] { return window->isExposed(); }, stepTimeoutMs))
        return QJsonObject{{"error", "meter floor: the scene was not shown"}};

    QRandomGenerator random(1);
    std::array<std::unique_ptr<QTimer>, shownUnits> reports;
    for (int unit = 0; unit < shownUnits; ++unit) {
        reports[unit] = std::make_unique<QTimer>();
        QTimer *timer = reports[unit].get();
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(PreampModel::meterIntervalMs);
        QObject::connect(timer, &QTimer::timeout, timer, [&channels, &random, unit] {
            for (int row = 0; row < PreampModel::channelCount; ++row) {
                Channel *channel = channels[unit * PreampModel::channelCount + row].get();
                channel->setMeterLevel(nextLevel(channel->meterLevel(), random));
            }
        });
        timer->start();
    }
    int frames = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&frames] { ++frames; });

    EventLoopWait::forMs(warmupMs);
    frames = 0;
    const EventLoopWait::Spent spent = EventLoopWait::measuredForMs(windowMs);
    return QJsonObject{
        {"mode", "meterfloor"},
        {"meters", meterCount},
        {"seconds", spent.seconds},
        {"coreSharePercent", spent.coreSharePercent()},
        {"framesPerSecond", frames / spent.seconds},
    };
}

} // namespace MeterFloorRun
