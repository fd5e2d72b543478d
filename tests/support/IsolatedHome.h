#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Points HOME at a fresh temporary folder and switches the standard locations to test mode, so
// a suite's saved state and presets never touch the user's files nor another suite's.
class IsolatedHome
{
public:
    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome &) = delete;
    IsolatedHome &operator=(const IsolatedHome &) = delete;

    QString path() const { return m_dir.path(); }
    // The saved-state file the system manager reads and writes.
    QString stateFile() const;
    QString dataDirectory() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousHome;
};
