#include "system/SmallFile.h"

#include <QFile>
#include <QFileInfo>

namespace SmallFile {

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
