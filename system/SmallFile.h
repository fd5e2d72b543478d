#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

class QFile;

// Reading the files the operator hands the program, presets and the saved state, with a bound.
// They are small: twelve units with the longest names make a preset well under 1 MiB, and the
// state is a few short lines. A larger file is neither, and reading it would only hold the
// window; the margin leaves room for presets edited by hand.
namespace SmallFile {

inline constexpr qint64 largestSize = 4 * 1024 * 1024;
// The reasons open() and readAll() give for a refused file.
inline const QString notRegularFile = QStringLiteral("Not a regular file");
inline const QString fileTooLarge = QStringLiteral("File too large");

// Opens the file, but only a regular file of at most largestSize bytes: opening a named pipe
// waits for a writer that never comes, and a device such as /dev/zero never ends. False, with
// the reason in *error, when the file is refused or cannot be opened; a missing file is left to
// the open, which says so in its own words.
bool open(QFile &file, QIODevice::OpenMode mode, QString *error);
// The whole content of a file opened so, read with the same bound: the file may have grown
// since it was looked at. False, with the reason in *error, when it is larger by now.
bool readAll(QFile &file, QByteArray *content, QString *error);

} // namespace SmallFile
