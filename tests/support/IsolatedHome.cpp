#include "support/IsolatedHome.h"

#include <QDir>
#include <QStandardPaths>

#include "app/Startup.h"
#include "system/SystemManager.h"

IsolatedHome::IsolatedHome() : m_previousHome(qgetenv("HOME"))
{
    qputenv("HOME", m_dir.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    Startup::nameApplication(); // the program's own folder names, below the test home
}

IsolatedHome::~IsolatedHome()
{
    qputenv("HOME", m_previousHome);
}

QString IsolatedHome::dataDirectory() const
{
    return SystemManager::dataDirectory();
}

QString IsolatedHome::stateFile() const
{
    return QDir(dataDirectory()).filePath(SystemManager::stateFileName);
}
