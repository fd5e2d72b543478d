#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's content all at once: the bytes go to a temporary file beside it, which is
// renamed over the old file only when every byte was written. A failed or interrupted write
// (a full disk, a killed process) leaves the previous file as it was.
namespace FileWriter {

enum class Outcome
{
    Written,
    OpenFailed,
    WriteFailed
};

struct Result
{
    Outcome outcome;
    QString errorString;
};

Result replaceContent(const QString &path, const QByteArray &content);

} // namespace FileWriter
