// Runs the Qt Quick Test suites of the interface components, the tst_*.qml files of this folder.

#include <QObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

#include "UnitLink.h"
#include "app/Startup.h"
#include "support/LogCapture.h"

// The console lines the components write, for the suites that check them. A test starts the
// capture itself: the test logger installs its own message handler only once a test case runs,
// and the capture has to come after it so that warnings still reach the test log.
class ConsoleLog : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE void start() { m_capture = std::make_unique<LogCapture>(); }
    Q_INVOKABLE void stop() { m_capture.reset(); }
    Q_INVOKABLE QStringList lines() const { return m_capture ? m_capture->lines() : QStringList(); }

private:
    std::unique_ptr<LogCapture> m_capture;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        Startup::registerQmlTypes();
        qmlRegisterType<UnitLink>("OctoTest", 1, 0, "UnitLink");
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->rootContext()->setContextProperty(QStringLiteral("consoleLog"), &m_log);
    }

private:
    ConsoleLog m_log;
};

QUICK_TEST_MAIN_WITH_SETUP(qml_components, Setup)

#include "tst_qml_components.moc"
