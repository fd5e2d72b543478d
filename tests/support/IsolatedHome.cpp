#include "support/IsolatedHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

bool IsolatedHome::writeSavedState(const QString &stateFile, const QStringList &addresses,
                                   const QString &presetFolder)
{
    QDir().mkpath(QFileInfo(stateFile).path());
    QFile state(stateFile);
    if (!state.open(QIODevice::WriteOnly))
        return false;
    const QString text = QString::number(addresses.size()) + QLatin1Char('\n') +
                         addresses.join(QLatin1Char('\n')) + QStringLiteral("\nfile://") +
                         presetFolder + QLatin1Char('\n');
    return state.write(text.toUtf8()) == text.toUtf8().size();
}
