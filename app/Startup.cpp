#include "app/Startup.h"

#include <QCoreApplication>
#include <QDebug>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QtQml>

#include "app/InterfaceConstants.h"
#include "device/Logging.h"
#include "device/NetworkCom.h"
#include "model/Channel.h"
#include "model/PreampModel.h"
#include "system/ChangeSource.h"
#include "system/PresetLoader.h"
#include "system/ShowLog.h"
#include "system/ShowLogStore.h"
#include "system/SystemManager.h"
#include "system/UnitScanner.h"

#include "Product.h"

namespace Startup {

void scaleWithScreenDensity()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("octo-remote"));
    QCoreApplication::setApplicationVersion(QLatin1String(Product::version));
}

void registerQmlTypes()
{
    const char *uri = "com.Corvane.controller";
    qmlRegisterType<Channel>(uri, 1, 0, "Channel");
    qmlRegisterType<PreampModel>(uri, 1, 0, "PreampModel");
    qmlRegisterType<SystemManager>(uri, 1, 0, "SystemManager");
    qmlRegisterType<UnitScanner>(uri, 1, 0, "UnitScanner");
    qmlRegisterSingletonType<InterfaceConstants>(
        uri, 1, 0, "Octo",
        [](QQmlEngine *, QJSEngine *) -> QObject * { return new InterfaceConstants; });
    qmlRegisterSingletonType<ChangeSource>(
        uri, 1, 0, "ChangeSource",
        [](QQmlEngine *, QJSEngine *) -> QObject * { return new ChangeSource; });
}

std::unique_ptr<SystemManager> start(QQmlApplicationEngine *engine, NetworkCom *transport,
                                     const QUrl &window)
{
    engine->load(window);
    if (engine->rootObjects().isEmpty()) {
        qCCritical(lcWindow).noquote() << "Cannot start: the main window" << window.toString()
                                       << "could not be loaded (see the QML errors above)";
        return nullptr;
    }
    auto manager = std::make_unique<SystemManager>(transport, engine);
    connectWindow(engine->rootObjects().constFirst(), manager.get());
    startShowLog(engine, manager.get());
    // The window's own restore request ran inside the load, before the manager existed; this
    // is the one restore.
    manager->restoreState();
    return manager;
}

ShowLog *startShowLog(QQmlApplicationEngine *engine, SystemManager *manager)
{
    auto *log =
        new ShowLog(std::make_unique<ShowLogStore>(ShowLogStore::defaultFolder()), {}, manager);
    log->watch(manager);
    engine->rootContext()->setContextProperty(QStringLiteral("showLog"), log);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, log,
                     &ShowLog::recordClosed);
    log->recordStarted();
    return log;
}

void connectWindow(QObject *window, SystemManager *manager)
{
    PresetLoader *loader = manager->presetLoader();
    QObject::connect(window, SIGNAL(numPreampsChanged(QVariant)), manager,
                     SLOT(activePreampsChanged(QVariant)));
    QObject::connect(window, SIGNAL(groupModelChanged(QVariant)), manager,
                     SLOT(groupModelChanged(QVariant)));
    QObject::connect(window, SIGNAL(savePreset(QVariant)), manager, SLOT(savePreset(QVariant)));
    QObject::connect(window, SIGNAL(saveState(QVariant)), manager, SLOT(saveState(QVariant)));
    QObject::connect(window, SIGNAL(restoreState()), manager, SLOT(restoreState()));
    QObject::connect(manager, SIGNAL(save(QUrl)), loader, SLOT(savePreset(QUrl)));
    QObject::connect(window, SIGNAL(loadPreset(QVariant, QVariant)), manager,
                     SLOT(loadPreset(QVariant, QVariant)));
    QObject::connect(manager, SIGNAL(load(QUrl, int)), loader, SLOT(loadPreset(QUrl, int)));
    QObject::connect(loader, SIGNAL(presetLoaded()), manager, SLOT(loaded()));
}

void endWithWindow(QQmlApplicationEngine *engine)
{
    QObject *window = engine->rootObjects().value(0);
    if (!window)
        return;
    // The window's own handler runs before any connection made here. The quit is queued: it
    // ends the event loop once the close has been handled, also when the close comes in before
    // the loop runs.
    if (!QObject::connect(window, SIGNAL(closing(QQuickCloseEvent *)), QCoreApplication::instance(),
                          SLOT(quit()), Qt::QueuedConnection))
        qCWarning(lcWindow) << "Closing the window may not end the program";
}

} // namespace Startup
