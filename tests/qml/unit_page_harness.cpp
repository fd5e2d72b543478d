// Shows unit pages fed by in-process simulated units, for screenshots and for measuring what
// the pages cost while their meters move.
//
//   octo-unit-page-harness [--pages N] [--peak-mode M] [--seconds S]
//                          [--screenshot FILE] [--measure-cpu]
//
// Each page has a real PreampModel polled at the program's rates; its unit answers through a
// UnitLink. After S seconds (default 2) the window is grabbed into FILE (this needs a window
// system: the offscreen platform with the software scene graph cannot grab), and with
// --measure-cpu the process's CPU time over the last S - 1 seconds is printed as a share of one
// core (the first second is start-up and is left out).

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include "UnitLink.h"
#include "app/Startup.h"

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption pagesOption("pages", "Unit pages shown (1 or 2).", "N", "1");
    const QCommandLineOption peakOption("peak-mode", "0 No Peak, 1 Peak Decay, 2 Peak Hold.", "M",
                                        "1");
    const QCommandLineOption secondsOption("seconds", "Run time before grabbing.", "S", "2");
    const QCommandLineOption shotOption("screenshot", "Save the window to this PNG.", "FILE");
    const QCommandLineOption cpuOption("measure-cpu", "Print the CPU share of one core.");
    parser.addOptions({pagesOption, peakOption, secondsOption, shotOption, cpuOption});
    parser.process(app);
    const int pages = qBound(1, parser.value(pagesOption).toInt(), 2);
    const double seconds = qMax(1.5, parser.value(secondsOption).toDouble());

    Startup::registerQmlTypes();
    UnitLink::registerType();
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty("harnessPages", pages);
    engine.rootContext()->setContextProperty("harnessPeakMode", parser.value(peakOption).toInt());
    engine.load(QUrl(QStringLiteral("qrc:/harness/UnitPageHarness.qml")));
    auto *window = engine.rootObjects().isEmpty()
                       ? nullptr
                       : qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
    QTextStream out(stdout);
    if (!window) {
        out << "the harness window could not be loaded\n";
        return 1;
    }

    double cpuAtStart = 0;
    int frames = 0;
    QElapsedTimer wall;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&] { ++frames; });
    QTimer::singleShot(1000, [&] {
        cpuAtStart = cpuSeconds();
        frames = 0;
        wall.start();
    });
    int result = 0;
    QTimer::singleShot(int(seconds * 1000), [&] {
        if (parser.isSet(cpuOption)) {
            const double share = (cpuSeconds() - cpuAtStart) / (wall.nsecsElapsed() / 1e9);
            const double elapsed = wall.nsecsElapsed() / 1e9;
            out << QStringLiteral("cpu: %1 % of one core over %2 s (%3 frames/s), %4 page(s), "
                                  "peak mode %5\n")
                       .arg(share * 100, 0, 'f', 1)
                       .arg(elapsed, 0, 'f', 1)
                       .arg(frames / elapsed, 0, 'f', 1)
                       .arg(pages)
                       .arg(parser.value(peakOption));
        }
        if (parser.isSet(shotOption)) {
            const QString path = parser.value(shotOption);
            QDir().mkpath(QFileInfo(path).absolutePath());
            const QImage shot = window->grabWindow();
            if (!shot.isNull() && shot.save(path)) {
                out << "screenshot: " << QFileInfo(path).absoluteFilePath() << "\n";
            } else {
                out << "could not grab the window into " << path << "\n";
                result = 1;
            }
        }
        app.exit(result);
    });
    return app.exec();
}
