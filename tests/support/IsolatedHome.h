#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
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

    // A saved state listing these unit addresses and a preset folder, as the program writes it
    // (the state file's folder is created). The member writes this home's state, with the home
    // as the preset folder.
    static bool writeSavedState(const QString &stateFile, const QStringList &addresses,
                                const QString &presetFolder);
    bool writeSavedState(const QStringList &addresses) const
    {
        return writeSavedState(stateFile(), addresses, path());
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previousHome;
};
