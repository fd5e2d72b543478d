#include "system/FileWriter.h"

#include <QSaveFile>

namespace FileWriter {

Result replaceContent(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    // Unbuffered, so a failing write is seen by the save file itself and the commit refuses to
    // put a short file in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {Outcome::OpenFailed, file.errorString()};
    if (file.write(content) != content.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        file.commit();
        return {Outcome::WriteFailed, error};
    }
    if (!file.commit())
        return {Outcome::WriteFailed, file.errorString()};
    return {Outcome::Written, QString()};
}

} // namespace FileWriter
