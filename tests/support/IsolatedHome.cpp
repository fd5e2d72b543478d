#include "support/IsolatedHome.h"

#include <QDir>
#include <QStandardPaths>

#include "system/SystemManager.h"

IsolatedHome::IsolatedHome() : m_previousHome(qgetenv("HOME"))
{
    qputenv("HOME", m_dir.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
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
