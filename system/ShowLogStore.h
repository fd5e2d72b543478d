#pragma once

#include <QDate>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

#include "system/ShowLogEntry.h"

// The show log on disk: a folder of its own ("showlog" in the program's data folder, beside
// lastState.conf) holding one file of JSON lines per local day, "showlog-2026-05-01.jsonl",
// continued in "showlog-2026-05-01-2.jsonl" and so on when a file reaches maxFileBytes.
//
// Append-only: append() writes an entry as one line with one unbuffered write, so it is with the
// operating system before append() returns and a killed program loses at most the line being
// written; a line cut off that way is never read back, and the next append starts on a line of
// its own. Nothing is synced to the disk itself: a power cut may lose what the system had not
// written out yet.
//
// Bounded: at most keepDays days (the file of 1 May goes when 31 May starts) and maxTotalBytes in
// all; whenever a file is opened and whenever an append takes the total past the bound, the
// oldest files go first. A file of the current day is never deleted to make room, which the
// per-file bound keeps well inside the total.
//
// Nothing in the folder is trusted: a file named like a log file that is not a regular file (a
// folder, a pipe, a device, a symbolic link), is larger than any log file, or holds lines that
// are not whole entries is skipped, or those lines are, with a message, and is never written to.
// Files with other names are left alone. Problems never stop the program: the entries go on to
// the window, and the messages say what was not stored or not read.
//
// Time comes from the clock given (milliseconds since the epoch; the system clock by default),
// so tests move through days without waiting.
class ShowLogStore
{
public:
    using Clock = std::function<qint64()>;

    struct Limits
    {
        int keepDays = 30;
        qint64 maxTotalBytes = 50 * 1024 * 1024;
        qint64 maxFileBytes = 5 * 1024 * 1024;
    };

    struct Contents
    {
        QVector<ShowLogEntry> entries; // oldest first, each id once with its last line's values
        QStringList problems;
    };

    static inline const QString folderName = QStringLiteral("showlog");

    explicit ShowLogStore(const QString &folder, Clock clock = {});
    ShowLogStore(const QString &folder, Clock clock, Limits limits);

    // The folder under the program's data folder.
    static QString defaultFolder();
    static QString fileName(const QDate &day, int part);

    bool append(const ShowLogEntry &entry);
    // The newest maxEntries entries of the log files.
    Contents read(int maxEntries) const;

    QString folder() const { return m_folder; }
    Limits limits() const { return m_limits; }
    // The log files, oldest first, and their size together; regular files only.
    QStringList files() const;
    qint64 totalBytes() const;
    // What went wrong since the last call: a folder or file that could not be written.
    QStringList takeProblems();

private:
    struct LogFile
    {
        QString path;
        QDate day;
        int part = 1;
        qint64 size = 0;
        bool regular = false;
    };

    QList<LogFile> listFiles() const; // oldest first
    QDate today() const;
    bool openFileFor(const QDate &day, qint64 lineBytes);
    void prune(const QDate &day);
    void problem(const QString &text);

    QString m_folder;
    Clock m_clock;
    Limits m_limits;
    QFile m_file;
    QDate m_fileDay;
    qint64 m_totalBytes = 0;
    QStringList m_problems;
    QString m_lastProblem;
};
