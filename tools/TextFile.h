#pragma once

#include <QByteArray>
#include <QString>

// The files the tool reads and writes.
namespace TextFile {

// The whole file; a missing or unreadable one is a DbError naming it.
QByteArray read(const QString &path);
// Replaces the file with the bytes, or leaves it as it was and throws a DbError.
void write(const QString &path, const QByteArray &bytes);

} // namespace TextFile
