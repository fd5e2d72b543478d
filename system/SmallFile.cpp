#include "system/SmallFile.h"

#include <QFile>
#include <QFileInfo>

namespace SmallFile {

namespace {
const QString notRegularFile = QStringLiteral("Not a regular file");
const QString fileTooLarge = QStringLiteral("File too large");
} // namespace

bool open(QFile &file, QIODevice::OpenMode mode, QString *error)
{
    const QFileInfo info(file);
    if (info.exists() && !info.isFile())
        *error = notRegularFile;
    else if (info.size() > largestSize)
        *error = fileTooLarge;
    else if (file.open(mode))
        return true;
    else
        *error = file.errorString();
    return false;
}

bool readAll(QFile &file, QByteArray *content, QString *error)
{
    *content = file.read(largestSize + 1);
    if (content->size() <= largestSize)
        return true;
    *error = fileTooLarge;
    return false;
}

} // namespace SmallFile
