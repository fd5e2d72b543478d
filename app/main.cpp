#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>

#include "app/Startup.h"
#include "device/NetworkCom.h"
#include "device/Logging.h"
#include "system/SystemManager.h"

int main(int argc, char *argv[])
{
    Logging::writeOwnLinesPlain();
    Startup::scaleWithScreenDensity();
    QGuiApplication app(argc, argv);
    Startup::nameApplication();
    app.setWindowIcon(QIcon(QStringLiteral(":/Images/octo-remote.png")));
    // The engine and the transport live until the process ends; the models hold connections to
    // the transport until their own end.
    auto *engine = new QQmlApplicationEngine;
    auto *transport = new NetworkCom;
    Startup::registerQmlTypes();
    const std::unique_ptr<SystemManager> manager = Startup::start(engine, transport);
    if (!manager)
        return 1;
    Startup::endWithWindow(engine);
    return app.exec();
}
