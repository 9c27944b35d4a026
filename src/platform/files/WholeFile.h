#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A file written whole or not at all, for the window's export and the tool's: the answers are errno values,
// which FileError words.
namespace WholeFile {

// A hidden name beside the file's that nothing has taken yet, for a file made whole before it takes the name.
QString besideName(const QString &path);
// The bytes are written beside the name, synced, and take it with one rename: a failed or interrupted write
// leaves the previous file as it was, and a link at the name is replaced itself instead of being written
// through. A replaced file keeps its permissions. Where no file can be made beside it (a read-only folder),
// a file already there is rewritten in place and put back as it was when that fails.
std::optional<int> replace(const QString &path, const QByteArray &bytes);
// A device or a pipe (/dev/stdout, /dev/full) takes the bytes as they come: there is no file to replace.
std::optional<int> writeStream(const QString &path, const QByteArray &bytes);

} // namespace WholeFile
