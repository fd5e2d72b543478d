#include "system/ShowLogStore.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

#include "device/Logging.h"
#include "system/SystemManager.h"

namespace {

const QRegularExpression
    namePattern(QStringLiteral("^showlog-(\\d{4}-\\d\\d-\\d\\d)(?:-(\\d+))?\\.jsonl$"));
// A file this much larger than a log file grows to was not written by the log.
constexpr qint64 readSlack = 2;
// Parts of one day beyond this are not looked for: a folder that full is not the log's.
constexpr int mostParts = 10000;

qint64 systemClock()
{
    return QDateTime::currentMSecsSinceEpoch();
}

bool endsWithNewline(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return true;
    file.seek(file.size() - 1);
    char last = 0;
    return file.getChar(&last) && last == '\n';
}

} // namespace

ShowLogStore::ShowLogStore(const QString &folder, Clock clock)
    : ShowLogStore(folder, std::move(clock), Limits())
{}

ShowLogStore::ShowLogStore(const QString &folder, Clock clock, Limits limits)
    : m_folder(folder), m_clock(clock ? std::move(clock) : Clock(systemClock)), m_limits(limits)
{}

QString ShowLogStore::defaultFolder()
{
    return QDir(SystemManager::dataDirectory()).filePath(folderName);
}

QString ShowLogStore::fileName(const QDate &day, int part)
{
    const QString date = day.toString(Qt::ISODate);
    return part <= 1 ? QStringLiteral("showlog-%1.jsonl").arg(date)
                     : QStringLiteral("showlog-%1-%2.jsonl").arg(date).arg(part);
}

QDate ShowLogStore::today() const
{
    return QDateTime::fromMSecsSinceEpoch(m_clock()).date();
}

QList<ShowLogStore::LogFile> ShowLogStore::listFiles() const
{
    QList<LogFile> found;
    const QFileInfoList infos = QDir(m_folder).entryInfoList(QDir::AllEntries | QDir::System |
                                                             QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : infos) {
        const QRegularExpressionMatch match = namePattern.match(info.fileName());
        const QDate day = QDate::fromString(match.captured(1), Qt::ISODate);
        if (!match.hasMatch() || !day.isValid())
            continue;
        LogFile file;
        file.path = info.filePath();
        file.day = day;
        file.part = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
        file.regular = info.isFile() && !info.isSymLink();
        file.size = file.regular ? info.size() : 0;
        found << file;
    }
    std::sort(found.begin(), found.end(), [](const LogFile &a, const LogFile &b) {
        return a.day != b.day ? a.day < b.day : a.part < b.part;
    });
    return found;
}

QStringList ShowLogStore::files() const
{
    QStringList paths;
    for (const LogFile &file : listFiles()) {
        if (file.regular)
            paths << file.path;
    }
    return paths;
}

qint64 ShowLogStore::totalBytes() const
{
    qint64 total = 0;
    for (const LogFile &file : listFiles())
        total += file.size;
    return total;
}

QStringList ShowLogStore::takeProblems()
{
    const QStringList taken = m_problems;
    m_problems.clear();
    return taken;
}

void ShowLogStore::problem(const QString &text)
{
    // A disk that stays full would otherwise say so at every entry.
    if (text == m_lastProblem)
        return;
    m_lastProblem = text;
    qCWarning(lcSystem).noquote() << "Show log:" << text;
    m_problems << text;
}

bool ShowLogStore::append(const ShowLogEntry &entry)
{
    const QByteArray line = QJsonDocument(entry.toJson()).toJson(QJsonDocument::Compact) + '\n';
    const QDate day = today();
    if (!m_file.isOpen() || day != m_fileDay ||
        m_file.size() + line.size() > m_limits.maxFileBytes) {
        if (!openFileFor(day, line.size()))
            return false;
    }
    if (m_file.write(line) != line.size()) {
        problem(QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
        m_file.close();
        return false;
    }
    m_lastProblem.clear();
    m_totalBytes += line.size();
    if (m_totalBytes > m_limits.maxTotalBytes)
        prune(day);
    return true;
}

bool ShowLogStore::openFileFor(const QDate &day, qint64 lineBytes)
{
    m_file.close();
    if (!QDir().mkpath(m_folder)) {
        problem(QStringLiteral("cannot create the folder %1").arg(m_folder));
        return false;
    }
    int part = 1;
    for (const LogFile &file : listFiles()) {
        if (file.day == day)
            part = std::max(part, file.part);
    }
    // The day's last part, unless the line does not fit or it is no file of the log's: then a
    // new one. An empty file takes any line.
    for (; part <= mostParts; ++part) {
        const QFileInfo info(QDir(m_folder).filePath(fileName(day, part)));
        if (!info.exists() && !info.isSymLink())
            break;
        if (info.isFile() && !info.isSymLink() &&
            (info.size() == 0 || info.size() + lineBytes <= m_limits.maxFileBytes))
            break;
    }
    m_file.setFileName(QDir(m_folder).filePath(fileName(day, part)));
    // A line cut off by a killed program is closed first, so the next entry stands alone.
    const bool torn = !endsWithNewline(m_file.fileName());
    if (part > mostParts ||
        !m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) ||
        (torn && m_file.write("\n", 1) != 1)) {
        problem(QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
        m_file.close();
        return false;
    }
    m_fileDay = day;
    prune(day);
    return true;
}

void ShowLogStore::prune(const QDate &day)
{
    const QDate oldestKept = day.addDays(1 - m_limits.keepDays);
    QList<LogFile> kept;
    qint64 total = 0;
    for (const LogFile &file : listFiles()) {
        if (!file.regular)
            continue;
        if (file.day < oldestKept && file.path != m_file.fileName()) {
            if (!QFile::remove(file.path))
                problem(QStringLiteral("cannot delete %1").arg(file.path));
            continue;
        }
        kept << file;
        total += file.size;
    }
    while (total > m_limits.maxTotalBytes && kept.size() > 1 &&
           kept.constFirst().path != m_file.fileName()) {
        if (!QFile::remove(kept.constFirst().path)) {
            problem(QStringLiteral("cannot delete %1").arg(kept.constFirst().path));
            break;
        }
        total -= kept.takeFirst().size;
    }
    m_totalBytes = total;
}

ShowLogStore::Contents ShowLogStore::read(int maxEntries) const
{
    Contents contents;
    QList<QVector<ShowLogEntry>> byFile; // oldest file first
    QSet<QString> seen;
    int held = 0;
    const QList<LogFile> all = listFiles();
    for (auto it = all.crbegin(); it != all.crend() && held < maxEntries; ++it) {
        const QString name = QFileInfo(it->path).fileName();
        if (!it->regular) {
            contents.problems << QStringLiteral("skipped %1: not a regular file").arg(name);
            continue;
        }
        const qint64 largest = readSlack * m_limits.maxFileBytes;
        QFile file(it->path);
        QByteArray bytes;
        if (!file.open(QIODevice::ReadOnly) || (bytes = file.read(largest + 1)).size() > largest) {
            contents.problems << QStringLiteral("skipped %1: %2")
                                     .arg(name, file.isOpen()
                                                    ? QStringLiteral("larger than a log file")
                                                    : file.errorString());
            continue;
        }
        QList<QByteArray> lines = bytes.split('\n');
        const bool cutOff = !lines.constLast().isEmpty();
        if (!cutOff)
            lines.removeLast();
        // Within a file a later line of an entry replaces its earlier one, in place.
        QVector<ShowLogEntry> entries;
        QHash<QString, int> position;
        int damaged = 0;
        bool lastDamaged = false;
        for (const QByteArray &line : qAsConst(lines)) {
            lastDamaged = false;
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            const auto entry =
                document.isObject() ? ShowLogEntry::fromJson(document.object()) : std::nullopt;
            if (!entry) {
                ++damaged;
                lastDamaged = true;
                continue;
            }
            const auto at = position.constFind(entry->id);
            if (at != position.constEnd()) {
                entries[*at] = *entry;
            } else {
                position.insert(entry->id, entries.size());
                entries << *entry;
            }
        }
        if (damaged > 0)
            contents.problems << QStringLiteral("%1: skipped %2 damaged %3%4")
                                     .arg(name)
                                     .arg(damaged)
                                     .arg(QLatin1String(damaged == 1 ? "line" : "lines"))
                                     .arg(QLatin1String(
                                         cutOff && lastDamaged ? ", the last one cut off" : ""));
        // An entry closed in a newer file than it opened in is known from that newer file.
        QVector<ShowLogEntry> fresh;
        for (const ShowLogEntry &entry : qAsConst(entries)) {
            if (!seen.contains(entry.id)) {
                seen.insert(entry.id);
                fresh << entry;
            }
        }
        held += fresh.size();
        byFile.prepend(fresh);
    }
    for (const QVector<ShowLogEntry> &part : qAsConst(byFile))
        contents.entries << part;
    std::stable_sort(
        contents.entries.begin(), contents.entries.end(),
        [](const ShowLogEntry &a, const ShowLogEntry &b) { return a.timeMs < b.timeMs; });
    if (contents.entries.size() > maxEntries)
        contents.entries.remove(0, contents.entries.size() - maxEntries);
    for (const QString &text : qAsConst(contents.problems))
        qCWarning(lcSystem).noquote() << "Show log:" << text;
    return contents;
}
