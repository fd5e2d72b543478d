#pragma once

#include <QUrl>

#include <memory>

class NetworkCom;
class QObject;
class QQmlApplicationEngine;
class ShowLog;
class SystemManager;

// Process start-up after the application object exists. main() and the end-to-end tests build
// the object graph through these same functions, so the tests run the program's real wiring.
namespace Startup {

inline const QUrl windowUrl{QStringLiteral("qrc:/MainForm.qml")};

// Scales the interface with the screen's density, as the desktop sets it (on X11 the Xft.dpi
// resource: 192 doubles everything), and draws pictures from their @2x files where they exist.
// Must run before the application object is made.
void scaleWithScreenDensity();

// Names the application so its saved state lives in a folder of its own (Corvane/octo-remote
// in the platform's application-data location), and gives it the product's version.
void nameApplication();

// Registers Channel, PreampModel, SystemManager and UnitScanner (the setup view's search for
// units) under com.Corvane.controller 1.0, and beside them the singletons Octo
// (InterfaceConstants) with the facts the window counts with and shows, and ChangeSource, with
// which the window says where the changes it starts come from.
void registerQmlTypes();

// Loads the window, builds the system manager, connects the window to it, starts the show log
// and restores the saved state. Returns null, after logging which file failed, when the window
// yields no root object.
//
// The window must be loaded before the manager exists: its completion handler runs inside the
// load and finds no manager yet, by design.
std::unique_ptr<SystemManager> start(QQmlApplicationEngine *engine, NetworkCom *transport,
                                     const QUrl &window = windowUrl);

// The show log in the data folder, watching the manager's units and presets from here on,
// published as "showLog" and closed when the program quits. A child of the manager.
ShowLog *startShowLog(QQmlApplicationEngine *engine, SystemManager *manager);

// The window's signals to the manager, by signature text.
void connectWindow(QObject *window, SystemManager *manager);

// Closing the window ends the program, once the window's closing handler has saved the state.
// The toolkit quits by itself only when it counts the window as the last visible one at that
// moment, which depends on what else is open and on when the close arrives; the program should
// not depend on either.
void endWithWindow(QQmlApplicationEngine *engine);

} // namespace Startup
