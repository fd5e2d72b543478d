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
    // What the file holds, in as many reads as it takes, never more than one byte over the
    // bound. A single read of the bound would set aside 4 MiB for every preset of a few KiB.
    content->clear();
    while (content->size() <= largestSize) {
        const qint64 left = largestSize + 1 - content->size();
        const QByteArray part = file.read(qBound<qint64>(1, file.size() - file.pos(), left));
        if (part.isEmpty())
            break;
        content->append(part);
    }
    if (content->size() <= largestSize)
        return true;
    *error = fileTooLarge;
    return false;
}

} // namespace SmallFile
