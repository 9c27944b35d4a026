#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The files the tool reads and writes, and how the text of files from other programs is decoded.
namespace TextFile {

struct Decoded {
    QString text;
    bool windows1252 = false; // the bytes were not UTF-8 and were read as Windows-1252
};

// UTF-8 or UTF-16 as a byte order mark says (the mark itself is dropped); without one UTF-8 when the bytes
// are valid UTF-8, Windows-1252 when they are not and hardly hold a UTF-8 sequence of several bytes, as Italian
// spreadsheets save their "CSV". Text that contradicts its own mark, or UTF-8 with a few bytes that are not, is
// an InputError naming the line and the byte; UTF-16 without a mark is an InputError that says so.
Decoded decode(const QByteArray &bytes);

// An InputError of the kind given naming the line and the byte of the first sequence that is not UTF-8, if
// any; the claim says why the bytes should be UTF-8 ("il file è in UTF-8").
void checkUtf8(QByteArrayView bytes, const QString &claim, const QString &kind);

// The whole file; a missing or unreadable one is a DbError naming it.
QByteArray read(const QString &path);
// Replaces the file with the bytes, or leaves it as it was and throws a DbError naming the cause. A link at
// the name is replaced itself, never written through; a device or a pipe takes the bytes as a stream.
void write(const QString &path, const QByteArray &bytes);

} // namespace TextFile
